#pragma once

#include <QDialog>

class CacheApi;
class QLabel;
class QLineEdit;
class QPushButton;
class SignIn;
class SignInWindowHost;

// The sign-in dialog: user code and password, the server settings, "Anmelden" and "Abbruch".
// Shown modally during a sign-in (the waiting sign-in goes on when it is hidden) or modeless
// from the main window to sign in again. It is hidden, never unloaded, so its entries survive.
// Enter presses the focused button ("Anmelden" from a text box); Escape and the close box do
// what "Abbruch" does.
class FMPass : public QDialog {
    Q_OBJECT
public:
    // api: the sign-in state, settings, connection and the other dialog's boxes; signIn: run by
    // "Anmelden" while the main window is up; host: the main window and the server dialog.
    FMPass(CacheApi& api, SignIn& signIn, SignInWindowHost& host, QWidget* parent = nullptr);
    ~FMPass() override;

    void Form_Load();
    // Writes this dialog's and the server settings dialog's entries to the stored settings
    // (never the password).
    void Sichern();
    // Whether the user has put anything into BPASSWORT; only then does its text count.
    bool passwordEntered() const { return m_passwordEntered; }

    void Form_Activate();
    void Form_GotFocus();
    void BUSER_GotFocus();
    void BPASSWORT_GotFocus();
    void BUSER_LostFocus();
    void BUSpeich_Click();
    void BUAusst_Click();
    void BUServer_Click();

    QLabel* Label5;
    QLineEdit* BUSER;
    QLabel* Label3;
    QLineEdit* BPASSWORT;
    QPushButton* BUServer;
    QPushButton* BUSpeich;
    QPushButton* BUAusst;

public slots:
    // Escape, like the close box, does what "Abbruch" does.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    CacheApi& m_api;
    SignIn& m_signIn;
    SignInWindowHost& m_host;
    // The box that took the focus from a mouse press; its text is selected once the click is over.
    QObject* m_selectAfterClick = nullptr;
    bool m_signingIn = false;
    bool m_passwordEntered = false;
    // "Anmelden" waits for a server access of a monitor to end.
    bool m_waitingForAccess = false;
};
