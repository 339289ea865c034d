#pragma once

#include "access/FormHost.h"
#include "shell/MainWindowHost.h"
#include "signin/SignInWindowHost.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class CacheApi;
class FMPass;
class FMServer;
class FMStart;
class frmAbout;
class frmEinstellungen;
class frmKassa;
class frmProgrammverlauf;
class frmZeiterfassung;
class AlarmNotifier;
class DesktopNotifications;
class SignIn;
struct Platform;

// Owns every window of the program: each one exists at most once, is loaded (constructed, then
// Form_Load) on first use, also when a control of it is merely touched, and is kept in load
// order. Unloading walks newest first. A window that deletes itself is forgotten.
class WindowRegistry : public FormHost, public SignInWindowHost, public MainWindowHost {
public:
    // How a dialog is shown modally; returns when it is hidden. exec() unless a test says
    // otherwise.
    using ModalRunner = std::function<void(QWidget& dialog)>;
    // Makes the main window; set by the program before the first load.
    using MainWindowMaker = std::function<FMStart*()>;

    explicit WindowRegistry(Platform& platform);
    ~WindowRegistry() override;
    WindowRegistry(const WindowRegistry&) = delete;
    WindowRegistry& operator=(const WindowRegistry&) = delete;

    void setCacheApi(CacheApi& api) { m_api = &api; }
    void setMainWindowMaker(MainWindowMaker maker) { m_makeMain = std::move(maker); }
    void setSignIn(SignIn& signIn) { m_signIn = &signIn; }
    void setModalRunner(ModalRunner runner) { m_runModal = std::move(runner); }
    // The tray and its notifications for the monitors opened from now on; a click on a
    // notification brings up the monitor it was about.
    void setNotifications(DesktopNotifications& desktop);
    AlarmNotifier* alarms() { return m_alarms.get(); }

    // The one instance of each window, loaded (invisibly) if it is not loaded yet.
    FMStart& mainWindow();
    frmProgrammverlauf& programLogWindow();
    frmKassa& cashRegisterMonitor();
    frmZeiterfassung& timeClockMonitor();
    frmAbout& aboutBox();
    frmEinstellungen& settingsWindow();
    FMPass& signInDialog();
    FMServer& serverDialog();

    // Loaded windows, oldest first.
    QList<QWidget*> loadedWindows() const;
    bool isLoaded(const QWidget* window) const;

    // Showing, modeless. owner == nullptr: a window of its own.
    void showTimeClockMonitor(QWidget* owner) override;
    void showCashRegisterMonitor(QWidget* owner) override;
    void showSignInDialog(QWidget* owner) override;
    void showProgramLog(QWidget* owner) override;
    void showAbout() override;
    // Shows the stored settings afresh unless the window is open already.
    void showSettings(QWidget* owner) override;

    // Unloads one window: runs its unload handler, hides it and deletes it soon after.
    void unloadWindow(QWidget* window) override;
    bool isUnloading(const QWidget* window) const override;
    // Deletes whatever is still there, at once (program teardown).
    void destroyAllWindows();

    // FormHost
    void setConnectionBoxes(const ConnectionBoxes& boxes) override;
    ConnectionBoxes connectionBoxes() override;
    void showServerDialogModal() override;
    void hideServerDialog() override;
    Timer& idleTimer() override;
    void setUserBox(const QString& userCode) override;
    QString userBox() override;
    QString passwordBox() override;
    bool passwordEntered() override;
    void selectAllPassword() override;
    bool signInDialogVisible() override;
    void showSignInDialogModal() override;
    void hideSignInDialogs() override;
    RowList& programLog() override;
    void unloadAllWindows() override;

    // SignInWindowHost
    bool mainWindowVisible() override;
    void setMainWindowCaption(const QString& caption) override;
    void enforceRightsGroup() override;
    QDialog& serverDialogWindow() override;
    void saveSignInEntries() override;

private:
    template <typename W, typename Make> W& load(QPointer<W>& slot, Make make);
    void track(QWidget* window);
    void showOwned(QWidget& window, QWidget* owner);
    void runModal(QWidget& dialog);
    CacheApi& api();
    SignIn& signIn();

    Platform& m_platform;
    CacheApi* m_api = nullptr;
    MainWindowMaker m_makeMain;
    SignIn* m_signIn = nullptr;
    ModalRunner m_runModal;
    std::unique_ptr<AlarmNotifier> m_alarms;

    QPointer<FMStart> m_main;
    QPointer<frmProgrammverlauf> m_log;
    QPointer<frmKassa> m_kassa;
    QPointer<frmZeiterfassung> m_zeit;
    QPointer<frmAbout> m_about;
    QPointer<frmEinstellungen> m_settings;
    QPointer<FMPass> m_pass;
    QPointer<FMServer> m_server;

    QList<QPointer<QWidget>> m_loadOrder;
    QSet<const QWidget*> m_unloading;
};
