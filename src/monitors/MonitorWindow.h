#pragma once

#include "monitors/MonitorController.h"

#include <QDialog>
#include <QLocale>
#include <QStringList>

#include <memory>

class CacheApi;
class ListControl;
class ListExporter;
class WindowMemory;
class QLabel;
class QLineEdit;
class QPushButton;

// The window both monitors are built on: the list, the interval field, "Refresh", "OK", and
// the line that tells how old the rows are (red with the reason as tooltip when they are old).
// Fixed dialog border, no minimize or maximize button; unloads itself on "OK" and on the close box.
class MonitorWindow : public QDialog {
    Q_OBJECT
public:
    ~MonitorWindow() override;

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblAutoAus = nullptr;
    QLabel* lblStand = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* OKButton = nullptr;

    // Refreshes once, so the list is filled before the window is first shown.
    void Form_Load();
    void Timer1_Timer();
    void cmdRefresh_Click();
    void Edit1_Change();
    // When the user is done with a refused interval text, the field shows the interval in
    // effect again.
    void showIntervalInEffect();
    void OKButton_Click();

    Timer& Timer1() { return m_controller->timer(); }
    MonitorController& controller() { return *m_controller; }
    // Context menu and Strg+S: the list as a CSV file or on the clipboard.
    ListExporter& exporter() { return *m_exporter; }

protected:
    struct Layout {
        QString caption;
        int clientWidthTwips = 0;
        QStringList headers;
        QList<int> columnWidths;
    };

    MonitorWindow(CacheApi& api, QWidget* owner, MonitorKind kind, const Layout& layout,
                  const QLocale& locale);

    ListControl* list() const { return m_list; }
    // Where the window was when it was last closed; the window decides when to use it.
    const WindowMemory& memory() const { return *m_memory; }
    // The control that has the focus when the window opens.
    virtual QWidget* firstFocus() const = 0;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showStand();
    void restoreInterval();

    ListControl* m_list = nullptr;
    ListExporter* m_exporter = nullptr;
    std::unique_ptr<WindowMemory> m_memory;
    QString m_settingsName;
    bool m_shown = false;
    std::unique_ptr<MonitorController> m_controller;
    bool m_intervalRefused = false;
};
