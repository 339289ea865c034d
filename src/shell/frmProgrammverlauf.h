#pragma once

#include <QWidget>

#include <memory>

class ListControl;
class ListExporter;
class WindowMemory;
struct Platform;

// The program log: a newest-first list of at most 100 entries, kept in memory while the
// program runs. Closing it with the close box only hides it, so the rows survive. The list
// follows the window's size. Its place, size and column widths are kept for the next run.
class frmProgrammverlauf : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 100;

    explicit frmProgrammverlauf(Platform& platform, QWidget* parent = nullptr);
    ~frmProgrammverlauf() override;

    void Form_Load();
    // Adds "part;text;parameter" at the top and drops the row past the cap. A failing
    // insertion reaches the caller; the trimming never does.
    void StatusText(const QString& part, const QString& text, const QString& parameter);

    ListControl* Verlauf;
    // Context menu and Strg+S: the log as a CSV file or on the clipboard.
    ListExporter* exporter = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<WindowMemory> m_memory;
    bool m_shown = false;
};
