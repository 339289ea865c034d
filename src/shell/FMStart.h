#pragma once

#include "platform/ProcessEnd.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QPushButton;
struct SignInState;
class MainWindowHost;

// The main window and the program's start: its load handler signs the user in, drops users
// below rights group 8, and labels the window. Closing it disconnects and ends the program.
class FMStart : public QMainWindow {
    Q_OBJECT
public:
    // What the main window needs of the rest of the program.
    struct Services {
        MainWindowHost& windows;
        SignInState& state;
        // The program's command line without the program's name.
        QString commandLine;
        std::function<bool()> CheckLogin;
        std::function<void()> DisconnectCache;
        std::function<void(int exitCode)> UnloadAllAndEnd;
    };

    explicit FMStart(Services services, QWidget* parent = nullptr);

    void Form_Load();
    void Form_Unload(qint16& Cancel);
    // The rights test of every sign-in: a rights group below 8 unloads this window, which ends
    // the program without a message (exit status: failure). True when the user may stay.
    bool enforceRightsGroup();

    void cmdUnterprogramm_Click(qint16 Index);
    void mProgramme_Click(qint16 Index);
    void mLogin_Click();
    void mProgrammverlauf_Click();
    void HilfeUeber_Click();
    void mEinstellungen_Click();
    void Beenden_Click();

    // The caption of a signed-in user, with its exact blank runs.
    static QString startCaption(const QString& firma, const QString& filiale,
                                const QString& benutzer);

    std::array<QPushButton*, 2> cmdUnterprogramm{};
    QMenu* Datei = nullptr;
    QAction* mLogin = nullptr;
    QAction* nil = nullptr;
    QAction* Beenden = nullptr;
    QMenu* HProgramme = nullptr;
    std::array<QAction*, 2> mProgramme{};
    // Last in "Programme": the settings of the monitors' additions.
    QAction* mEinstellungen = nullptr;
    QMenu* Hilfe = nullptr;
    QAction* HilfeUeber = nullptr;
    QAction* mProgrammverlauf = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildButtons();
    void buildMenus();
    // Runs a handler that Qt calls; the end of the program must not unwind into Qt.
    void guarded(const std::function<void()>& handler);

    Services m_services;
    int m_exitCode = ExitCode::Normal;
};
