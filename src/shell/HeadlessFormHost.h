#pragma once

#include "access/FormHost.h"
#include "platform/RowList.h"

#include <QStringList>

#include <memory>

class TimerFactory;

// The windows as a run without a display has them: no dialog can be shown, so anything that
// would need one throws HeadlessAbort with a clear message. The dialogs' boxes are plain
// values; the program log is kept in memory.
class HeadlessFormHost : public FormHost {
public:
    // The program log: at most what AddListRow keeps, newest first, never shown.
    class Log : public RowList {
    public:
        void insertAt(const QString& rowText, int position) override;
        void removeAt(int position) override;
        void clear() override { m_rows.clear(); }
        void append(const QString& rowText) override { m_rows.append(rowText); }
        int rowCount() const override { return static_cast<int>(m_rows.size()); }
        QString rowText(int position) const override;

    private:
        QStringList m_rows;
    };

    explicit HeadlessFormHost(TimerFactory& timers);
    ~HeadlessFormHost() override;

    void setConnectionBoxes(const ConnectionBoxes& boxes) override { m_boxes = boxes; }
    ConnectionBoxes connectionBoxes() override { return m_boxes; }
    void showServerDialogModal() override;
    void hideServerDialog() override {}
    Timer& idleTimer() override { return *m_idleTimer; }

    void setUserBox(const QString& userCode) override { m_userCode = userCode; }
    QString userBox() override { return m_userCode; }
    // Nothing was typed: the password comes from the command line.
    QString passwordBox() override { return QString(); }
    bool passwordEntered() override { return false; }
    void selectAllPassword() override {}
    bool signInDialogVisible() override { return false; }
    void showSignInDialogModal() override;
    void hideSignInDialogs() override {}

    RowList& programLog() override { return m_log; }
    // There are no windows to unload.
    void unloadAllWindows() override {}

private:
    ConnectionBoxes m_boxes;
    QString m_userCode;
    Log m_log;
    std::unique_ptr<Timer> m_idleTimer;
};
