#include "platform/FreedesktopNotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

const QString FreedesktopNotifications::Service = QStringLiteral("org.freedesktop.Notifications");

namespace {
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

FreedesktopNotifications::FreedesktopNotifications(DesktopNotifications& fallback,
                                                   QDBusConnection bus)
    : m_fallback(fallback)
    , m_bus(std::move(bus)) {
    if (m_bus.isConnected()) {
        m_bus.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
    }
}

void FreedesktopNotifications::showState(State state, const QString& tooltip) {
    m_fallback.showState(state, tooltip);
}

void FreedesktopNotifications::notify(const QString& title, const QString& text) {
    if (!send(title, text, QStringLiteral("dialog-warning"))) {
        m_fallback.notify(title, text);
    }
}

void FreedesktopNotifications::notifyGood(const QString& title, const QString& text) {
    if (!send(title, text, QStringLiteral("dialog-information"))) {
        m_fallback.notifyGood(title, text);
    }
}

void FreedesktopNotifications::setOnActivated(std::function<void()> handler) {
    m_onActivated = handler;
    m_fallback.setOnActivated(std::move(handler));
}

void FreedesktopNotifications::onActionInvoked(uint, const QString& actionKey) {
    if (actionKey == QLatin1String("default") && m_onActivated) {
        m_onActivated();
    }
}

bool FreedesktopNotifications::send(const QString& title, const QString& text,
                                    const QString& icon) {
    if (!m_bus.isConnected() || !m_bus.interface() ||
        !m_bus.interface()->isServiceRegistered(Service)) {
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    // app name, replaces id (0: a new one, so they stack), icon, summary, body, actions
    // ("default": a click brings the monitor up), hints, timeout (-1: the server's).
    call << QStringLiteral("LORVEX Monitor") << uint(0) << icon << title << text
         << QStringList{QStringLiteral("default"), QStringLiteral("Anzeigen")} << QVariantMap()
         << int(-1);
    // Sent without waiting for the answer: the window thread never waits on the desktop.
    return m_bus.send(call);
}
