#pragma once

#include <QString>

#include <functional>

// The desktop's tray and its notifications. A desktop without a tray takes the calls and shows
// nothing.
class DesktopNotifications {
public:
    enum class State { Good, Attention, NoConnection };

    virtual ~DesktopNotifications() = default;
    // The tray icon and its tooltip: the worst state of the open monitors.
    virtual void showState(State state, const QString& tooltip) = 0;
    // A warning: a row that stands out, a lost connection.
    virtual void notify(const QString& title, const QString& text) = 0;
    // Good news (a connection back): told like a warning where the desktop knows no other kind.
    virtual void notifyGood(const QString& title, const QString& text) { notify(title, text); }
    // Runs when the user clicks a notification or the tray icon.
    virtual void setOnActivated(std::function<void()> handler) = 0;
};
