#pragma once

#include <QString>

class RowList;
class Timer;

// What the connection data in the server settings dialog's boxes are.
struct ConnectionBoxes {
    QString firma;     // BFIRMA
    QString filiale;   // BFIL
    QString server;    // BSERVERIP
    QString port;      // BPORT
    QString nameSpace; // BNAMESPACE
};

// The narrow view the access layer has of the windows. The window registry implements it;
// touching a dialog's box or timer loads that dialog invisibly, as the windows expect.
class FormHost {
public:
    virtual ~FormHost() = default;

    // FMServer
    virtual void setConnectionBoxes(const ConnectionBoxes& boxes) = 0;
    virtual ConnectionBoxes connectionBoxes() = 0;
    virtual void showServerDialogModal() = 0; // returns when the dialog is hidden
    virtual void hideServerDialog() = 0;
    virtual Timer& idleTimer() = 0; // FMServer.Lock

    // FMPass
    virtual void setUserBox(const QString& userCode) = 0; // BUSER
    virtual QString userBox() = 0;
    virtual QString passwordBox() = 0; // BPASSWORT
    // Whether the user has put anything into BPASSWORT since the dialog was loaded; until then
    // its empty text is no password and must not replace the one held in memory.
    virtual bool passwordEntered() = 0;
    virtual void selectAllPassword() = 0; // SelectAllText(BPASSWORT, noFocus=True)
    virtual bool signInDialogVisible() = 0;
    virtual void showSignInDialogModal() = 0; // returns when the dialog is hidden
    // The common end of a sign-in: sign-in dialog invisible, server dialog invisible, server
    // dialog hidden, sign-in dialog hidden.
    virtual void hideSignInDialogs() = 0;

    // frmProgrammverlauf.Verlauf, loading the log window invisibly if needed.
    virtual RowList& programLog() = 0;

    // Unloads every loaded window, newest first (runs their unload handlers).
    virtual void unloadAllWindows() = 0;
};
