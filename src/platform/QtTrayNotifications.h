#pragma once

#include "platform/DesktopNotifications.h"

#include <QObject>

#include <memory>

class QSystemTrayIcon;

// The tray icon and its balloon messages. Where the desktop has no tray, nothing is shown.
class QtTrayNotifications : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    QtTrayNotifications();
    ~QtTrayNotifications() override;

    void showState(State state, const QString& tooltip) override;
    void notify(const QString& title, const QString& text) override;
    void notifyGood(const QString& title, const QString& text) override;
    void setOnActivated(std::function<void()> handler) override;

private:
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::function<void()> m_onActivated;
};
