#pragma once

#include "access/FormHost.h"
#include "platform/RowList.h"
#include "platform/Timer.h"

#include <QStringList>

#include <functional>
#include <memory>

// The windows as the access layer sees them, in memory: the dialogs' boxes, their visibility,
// the idle timer (from the given timer factory) and the program log. Every call that shows,
// hides or unloads something is written to events, for example "showSignInDialogModal".
class FakeFormHost : public FormHost {
public:
    // The program log list: positions that do not exist throw std::out_of_range.
    class LogList : public RowList {
    public:
        void insertAt(const QString& rowText, int position) override;
        void removeAt(int position) override;
        void clear() override { rows.clear(); }
        void append(const QString& rowText) override { rows.append(rowText); }
        int rowCount() const override { return static_cast<int>(rows.size()); }
        QString rowText(int position) const override { return rows.at(position); }

        QStringList rows;
        bool failInsert = false;
    };

    explicit FakeFormHost(TimerFactory& timers);

    void setConnectionBoxes(const ConnectionBoxes& boxes) override;
    ConnectionBoxes connectionBoxes() override { return serverBoxes; }
    void showServerDialogModal() override;
    void hideServerDialog() override;
    Timer& idleTimer() override { return *m_idleTimer; }

    void setUserBox(const QString& userCode) override { userCodeBox = userCode; }
    QString userBox() override { return userCodeBox; }
    QString passwordBox() override { return passwordText; }
    // Text in the box was put there by the user; passwordCleared stands for a box emptied by hand.
    bool passwordEntered() override { return passwordCleared || !passwordText.isEmpty(); }
    void selectAllPassword() override;
    bool signInDialogVisible() override { return signInVisible; }
    void showSignInDialogModal() override;
    void hideSignInDialogs() override;

    RowList& programLog() override;
    void unloadAllWindows() override;

    ConnectionBoxes serverBoxes;
    QString userCodeBox;
    QString passwordText;
    bool passwordCleared = false;
    bool signInVisible = false;
    bool serverVisible = false;
    bool passwordSelected = false;
    LogList log;
    bool logMissing = false; // programLog() throws, as for a log window that cannot load
    QStringList events;

    // What the user does while a modal dialog is up (the dialog is hidden afterwards).
    std::function<void()> onSignInDialog;
    std::function<void()> onServerDialog;
    // Runs for each loaded window while unloadAllWindows walks them (a main window's handler).
    std::function<void()> onUnloadAll;

private:
    std::unique_ptr<Timer> m_idleTimer;
};
