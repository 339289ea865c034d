#pragma once

#include "platform/DesktopNotifications.h"

#include <QDBusConnection>
#include <QObject>

// Notifications through the desktop's notification service (freedesktop.org Notifications
// over D-Bus), where one runs: they stack, so two at the same moment are both seen. Where the
// service is missing, and for the tray icon itself, the fallback (the tray) takes the calls.
class FreedesktopNotifications : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    static const QString Service;

    explicit FreedesktopNotifications(DesktopNotifications& fallback,
                                      QDBusConnection bus = QDBusConnection::sessionBus());

    void showState(State state, const QString& tooltip) override;
    void notify(const QString& title, const QString& text) override;
    void notifyGood(const QString& title, const QString& text) override;
    void setOnActivated(std::function<void()> handler) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);

private:
    // False when no notification service is there; the caller then uses the fallback.
    bool send(const QString& title, const QString& text, const QString& icon);

    DesktopNotifications& m_fallback;
    QDBusConnection m_bus;
    std::function<void()> m_onActivated;
};
