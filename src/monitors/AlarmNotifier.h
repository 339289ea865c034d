#pragma once

#include "platform/DesktopNotifications.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

// Decides what the desktop is told about the open monitors: the tray shows the worst state; a
// notification comes when a row starts to stand out and when a monitor loses its connection or
// gets it back. One per row and change of state; when more than kStormRows rows of a monitor
// start to stand out in one refresh, one summary instead. A snoozed row stays marked but tells
// nothing for the hour from the snooze, whatever its value does meanwhile; if it still stands
// out then, it is told once more.
class AlarmNotifier {
public:
    static constexpr int kStormRows = 3;
    static constexpr int kSnoozeMs = 60 * 60 * 1000;

    explicit AlarmNotifier(DesktopNotifications& desktop);

    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool enabled() const { return m_enabled; }

    // After each refresh of a monitor: each row's key and its reason (empty: fine).
    void rowsAssessed(const QString& monitor, const QStringList& keys, const QStringList& reasons,
                      const QTime& now);
    // The monitor's rows turned old (no connection) or fresh again.
    void connectionChanged(const QString& monitor, bool lost);
    void snooze(const QString& monitor, const QString& key, const QTime& now);
    bool isSnoozed(const QString& monitor, const QString& key, const QTime& now) const;
    // The monitor's window closed: it no longer counts for the tray.
    void forget(const QString& monitor);
    // The monitor the latest notification was about, for bringing it up on a click.
    const QString& lastTold() const { return m_lastTold; }

private:
    struct MonitorState {
        QSet<QString> standingOut;
        bool lost = false;
    };
    void showWorstState();
    void tell(const QString& title, const QString& text, bool good = false);

    DesktopNotifications& m_desktop;
    bool m_enabled = true;
    QMap<QString, MonitorState> m_monitors;
    // monitor + "\n" + key -> when the snooze started
    QHash<QString, QTime> m_snoozed;
    QString m_lastTold;
};
