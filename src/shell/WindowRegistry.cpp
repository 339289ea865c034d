#include "shell/WindowRegistry.h"

#include "access/CacheApi.h"
#include "monitors/AlarmNotifier.h"
#include "monitors/MonitorSettings.h"
#include "monitors/frmKassa.h"
#include "monitors/frmZeiterfassung.h"
#include "platform/ListControl.h"
#include "platform/Platform.h"
#include "shell/FMStart.h"
#include "shell/frmAbout.h"
#include "shell/frmEinstellungen.h"
#include "shell/frmProgrammverlauf.h"
#include "signin/FMPass.h"
#include "signin/FMServer.h"
#include "signin/SelectAllText.h"
#include "signin/SignIn.h"

#include <QDialog>
#include <QLineEdit>

#include <stdexcept>

WindowRegistry::WindowRegistry(Platform& platform)
    : m_platform(platform) {
}

WindowRegistry::~WindowRegistry() {
    destroyAllWindows();
}

void WindowRegistry::setNotifications(DesktopNotifications& desktop) {
    m_alarms = std::make_unique<AlarmNotifier>(desktop);
    m_alarms->setEnabled(MonitorSettings(m_platform.settings).notificationsOn());
    desktop.setOnActivated([this] {
        const QString about = m_alarms->lastTold();
        if (about.endsWith(QLatin1String("Kassa")) && m_kassa) {
            showCashRegisterMonitor(m_main.data());
        } else if (about.endsWith(QLatin1String("Zeiterfassung")) && m_zeit) {
            showTimeClockMonitor(m_main.data());
        } else if (m_main) {
            showOwned(*m_main, nullptr);
        }
    });
}

template <typename W, typename Make> W& WindowRegistry::load(QPointer<W>& slot, Make make) {
    if (!slot) {
        W* window = make();
        if (!window) {
            throw std::logic_error("window cannot be made");
        }
        // In the list before its load handler runs, so the handler finds it loaded.
        slot = window;
        track(window);
        window->Form_Load();
    }
    return *slot;
}

void WindowRegistry::track(QWidget* window) {
    m_loadOrder.append(QPointer<QWidget>(window));
    const QWidget* raw = window;
    QObject::connect(window, &QObject::destroyed, [this, raw] {
        m_loadOrder.removeIf([](const QPointer<QWidget>& entry) { return entry.isNull(); });
        m_unloading.remove(raw);
    });
}

CacheApi& WindowRegistry::api() {
    if (!m_api) {
        throw std::logic_error("window registry used before the server access is wired");
    }
    return *m_api;
}

SignIn& WindowRegistry::signIn() {
    if (!m_signIn) {
        throw std::logic_error("window registry used before the sign-in is wired");
    }
    return *m_signIn;
}

FMStart& WindowRegistry::mainWindow() {
    return load(m_main, [this] { return m_makeMain ? m_makeMain() : nullptr; });
}

frmProgrammverlauf& WindowRegistry::programLogWindow() {
    return load(m_log, [this] { return new frmProgrammverlauf(m_platform); });
}

frmKassa& WindowRegistry::cashRegisterMonitor() {
    return load(m_kassa, [this] {
        auto* window = new frmKassa(api(), m_main.data());
        window->controller().setAlarms(m_alarms.get());
        return window;
    });
}

frmZeiterfassung& WindowRegistry::timeClockMonitor() {
    return load(m_zeit, [this] {
        auto* window = new frmZeiterfassung(api(), m_main.data());
        window->controller().setAlarms(m_alarms.get());
        return window;
    });
}

frmAbout& WindowRegistry::aboutBox() {
    return load(m_about, [this] { return new frmAbout(m_platform); });
}

frmEinstellungen& WindowRegistry::settingsWindow() {
    return load(m_settings, [this] {
        return new frmEinstellungen(
            m_platform.settings,
            [this](const AttentionLimits& limits, int trendLength, bool notificationsOn) {
                if (m_alarms) {
                    m_alarms->setEnabled(notificationsOn);
                }
                // The open monitors take the new values at once.
                for (MonitorWindow* monitor : {static_cast<MonitorWindow*>(m_kassa.data()),
                                               static_cast<MonitorWindow*>(m_zeit.data())}) {
                    if (monitor) {
                        monitor->controller().setAttentionLimits(limits);
                        monitor->controller().setTrendLength(trendLength);
                    }
                }
            });
    });
}

FMPass& WindowRegistry::signInDialog() {
    return load(m_pass, [this] { return new FMPass(api(), signIn(), *this); });
}

FMServer& WindowRegistry::serverDialog() {
    return load(m_server, [this] { return new FMServer(api(), *this); });
}

QDialog& WindowRegistry::serverDialogWindow() {
    return serverDialog();
}

void WindowRegistry::saveSignInEntries() {
    signInDialog().Sichern();
}

QList<QWidget*> WindowRegistry::loadedWindows() const {
    QList<QWidget*> windows;
    for (const QPointer<QWidget>& entry : m_loadOrder) {
        if (entry) {
            windows.append(entry.data());
        }
    }
    return windows;
}

bool WindowRegistry::isLoaded(const QWidget* window) const {
    for (const QPointer<QWidget>& entry : m_loadOrder) {
        if (entry && entry.data() == window) {
            return true;
        }
    }
    return false;
}

void WindowRegistry::showOwned(QWidget& window, QWidget* owner) {
    if (window.parentWidget() != owner) {
        window.setParent(owner, window.windowFlags() | Qt::Window);
    }
    if (window.isMinimized()) {
        window.showNormal();
    } else {
        window.show();
    }
    window.raise();
    window.activateWindow();
}

void WindowRegistry::showTimeClockMonitor(QWidget* owner) {
    showOwned(timeClockMonitor(), owner);
}

void WindowRegistry::showCashRegisterMonitor(QWidget* owner) {
    showOwned(cashRegisterMonitor(), owner);
}

void WindowRegistry::showSignInDialog(QWidget* owner) {
    showOwned(signInDialog(), owner);
}

void WindowRegistry::showProgramLog(QWidget* owner) {
    showOwned(programLogWindow(), owner);
}

void WindowRegistry::showAbout() {
    showOwned(aboutBox(), nullptr);
}

void WindowRegistry::showSettings(QWidget* owner) {
    frmEinstellungen& window = settingsWindow();
    if (!window.isVisible()) {
        window.Form_Load();
    }
    showOwned(window, owner);
}

void WindowRegistry::runModal(QWidget& dialog) {
    if (m_runModal) {
        m_runModal(dialog);
        return;
    }
    if (auto* modal = qobject_cast<QDialog*>(&dialog)) {
        modal->exec();
        return;
    }
    const QPointer<QWidget> guard(&dialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    while (guard && guard->isVisible()) {
        m_platform.events.waitFor(50);
    }
}

void WindowRegistry::unloadWindow(QWidget* window) {
    if (!window || m_unloading.contains(window)) {
        return;
    }
    m_unloading.insert(window);
    const QPointer<QWidget> guard(window);
    // Scheduled first: when the program's end unwinds out of an unload handler, the window is
    // still freed.
    window->deleteLater();
    if (window == m_main.data()) {
        qint16 cancel = 0;
        m_main->Form_Unload(cancel);
    }
    if (guard) {
        // Hidden first, so a dialog accepts the close without running its cancel action.
        window->hide();
        window->close();
    }
}

bool WindowRegistry::isUnloading(const QWidget* window) const {
    return m_unloading.contains(window);
}

void WindowRegistry::unloadAllWindows() {
    // Newest first. Unload handlers may load further windows; those go as well.
    for (;;) {
        QWidget* newest = nullptr;
        for (const QPointer<QWidget>& entry : m_loadOrder) {
            if (entry && !m_unloading.contains(entry.data())) {
                newest = entry.data();
            }
        }
        if (!newest) {
            return;
        }
        unloadWindow(newest);
    }
}

void WindowRegistry::destroyAllWindows() {
    while (!m_loadOrder.isEmpty()) {
        QPointer<QWidget> newest = m_loadOrder.takeLast();
        delete newest.data();
    }
    m_unloading.clear();
}

// FMServer

void WindowRegistry::setConnectionBoxes(const ConnectionBoxes& boxes) {
    FMServer& dialog = serverDialog();
    dialog.BFIRMA->setText(boxes.firma);
    dialog.BFIL->setText(boxes.filiale);
    dialog.BSERVERIP->setText(boxes.server);
    dialog.BPORT->setText(boxes.port);
    dialog.BNAMESPACE->setText(boxes.nameSpace);
}

ConnectionBoxes WindowRegistry::connectionBoxes() {
    FMServer& dialog = serverDialog();
    return {dialog.BFIRMA->text(), dialog.BFIL->text(), dialog.BSERVERIP->text(),
            dialog.BPORT->text(), dialog.BNAMESPACE->text()};
}

void WindowRegistry::showServerDialogModal() {
    FMServer& dialog = serverDialog();
    if (dialog.isVisible()) {
        // The user has it open already ("Server" in the sign-in dialog): wait until it is
        // closed instead of showing it a second time.
        const QPointer<FMServer> guard(&dialog);
        while (guard && guard->isVisible()) {
            m_platform.events.waitFor(50);
        }
        return;
    }
    runModal(dialog);
}

void WindowRegistry::hideServerDialog() {
    serverDialog().hide();
}

Timer& WindowRegistry::idleTimer() {
    return *serverDialog().Lock;
}

// FMPass

void WindowRegistry::setUserBox(const QString& userCode) {
    signInDialog().BUSER->setText(userCode);
}

QString WindowRegistry::userBox() {
    return signInDialog().BUSER->text();
}

QString WindowRegistry::passwordBox() {
    return signInDialog().BPASSWORT->text();
}

bool WindowRegistry::passwordEntered() {
    return signInDialog().passwordEntered();
}

void WindowRegistry::selectAllPassword() {
    SelectAllText(*signInDialog().BPASSWORT, true);
}

bool WindowRegistry::signInDialogVisible() {
    return signInDialog().isVisible();
}

void WindowRegistry::showSignInDialogModal() {
    FMPass& dialog = signInDialog();
    // Shown modally during a sign-in, owned by nobody.
    if (dialog.parentWidget()) {
        dialog.setParent(nullptr, dialog.windowFlags());
    }
    runModal(dialog);
}

void WindowRegistry::hideSignInDialogs() {
    signInDialog().setVisible(false);
    serverDialog().setVisible(false);
    serverDialog().hide();
    signInDialog().hide();
}

RowList& WindowRegistry::programLog() {
    return *programLogWindow().Verlauf;
}

// The main window as the sign-in dialogs see it

bool WindowRegistry::mainWindowVisible() {
    return mainWindow().isVisible();
}

void WindowRegistry::setMainWindowCaption(const QString& caption) {
    mainWindow().setWindowTitle(caption);
}

void WindowRegistry::enforceRightsGroup() {
    mainWindow().enforceRightsGroup();
}
