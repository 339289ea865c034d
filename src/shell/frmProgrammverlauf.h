#pragma once

#include <QWidget>

class ListControl;

// The program log: a newest-first list of at most 100 entries, kept in memory while the
// program runs. Closing it with the close box only hides it, so the rows survive. The list
// follows the window's size.
class frmProgrammverlauf : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 100;

    explicit frmProgrammverlauf(QWidget* parent = nullptr);

    void Form_Load();
    // Adds "part;text;parameter" at the top and drops the row past the cap. A failing
    // insertion reaches the caller; the trimming never does.
    void StatusText(const QString& part, const QString& text, const QString& parameter);

    ListControl* Verlauf;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
