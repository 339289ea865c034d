#pragma once

#include <QDialog>

#include <memory>

class CacheApi;
class LatchingButton;
class QLabel;
class QLineEdit;
class QPushButton;
class SignInWindowHost;
class Timer;

// The server settings dialog: shows the connection data and lets the user change and store
// them after a confirmation ("Ändern" latches between locked and editing). It also carries the
// idle timer Lock that drops an unused connection after a minute, so it stays loaded while the
// program runs; closing it only hides it.
class FMServer : public QDialog {
    Q_OBJECT
public:
    static constexpr int IdleTimeoutMs = 60000;

    // api: platform (timers, message boxes), connection and loaders; host: the sign-in dialog,
    // whose Sichern stores the edited data.
    FMServer(CacheApi& api, SignInWindowHost& host, QWidget* parent = nullptr);
    ~FMServer() override;

    void Form_Load();
    void BUEdit_Click();
    void BUZurück_Click();
    void Lock_Timer();

    QLabel* Label4;
    QLineEdit* BSERVERIP;
    QLabel* Label6;
    QLineEdit* BPORT;
    QLabel* Label1;
    QLineEdit* BFIRMA;
    QLabel* Label2;
    QLineEdit* BFIL;
    QLabel* Label3;
    QLineEdit* BNAMESPACE;
    LatchingButton* BUEdit;
    QPushButton* BUZurück;
    std::unique_ptr<Timer> Lock;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* makeBox(const QString& name, const QString& text, const QRect& geometry);
    void setBoxesEnabled(bool enabled);
    // A port has up to five digits; the box shows all of them.
    static void widenToFiveDigits(QLineEdit* box);

    CacheApi& m_api;
    SignInWindowHost& m_host;
};
