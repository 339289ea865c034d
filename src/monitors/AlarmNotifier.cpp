#include "monitors/AlarmNotifier.h"

#include "monitors/ClockOfDay.h"

namespace {

QString snoozeKey(const QString& monitor, const QString& key) {
    return monitor + QLatin1Char('\n') + key;
}

} // namespace

AlarmNotifier::AlarmNotifier(DesktopNotifications& desktop)
    : m_desktop(desktop) {
    showWorstState();
}

void AlarmNotifier::rowsAssessed(const QString& monitor, const QStringList& keys,
                                 const QStringList& reasons, const QTime& now) {
    MonitorState& state = m_monitors[monitor];
    QSet<QString> standingOut;
    QStringList started;
    QStringList startedReasons;
    for (qsizetype row = 0; row < keys.size() && row < reasons.size(); ++row) {
        if (reasons.at(row).isEmpty()) {
            continue;
        }
        const QString& key = keys.at(row);
        standingOut.insert(key);
        const auto snoozed = m_snoozed.constFind(snoozeKey(monitor, key));
        bool snoozeEnded = false;
        if (snoozed != m_snoozed.constEnd() && msSince(*snoozed, now) >= kSnoozeMs) {
            m_snoozed.erase(snoozed);
            snoozeEnded = true;
        }
        if ((!state.standingOut.contains(key) || snoozeEnded) && !isSnoozed(monitor, key, now)) {
            started << key;
            startedReasons << reasons.at(row);
        }
    }
    // A snooze runs its hour whatever the row does meanwhile: a flapping value is what it is
    // for. Ended snoozes of rows that do not stand out now are forgotten.
    const QString prefix = monitor + QLatin1Char('\n');
    m_snoozed.removeIf([&](const auto& entry) {
        return entry.key().startsWith(prefix) && msSince(entry.value(), now) >= kSnoozeMs;
    });
    state.standingOut = standingOut;

    if (started.size() > kStormRows) {
        tell(monitor, QStringLiteral("%1 Zeilen brauchen Aufmerksamkeit: Nr %2")
                          .arg(started.size())
                          .arg(started.join(QStringLiteral(", "))));
    } else {
        for (qsizetype i = 0; i < started.size(); ++i) {
            tell(monitor, QStringLiteral("Nr %1: %2").arg(started.at(i), startedReasons.at(i)));
        }
    }
    showWorstState();
}

void AlarmNotifier::connectionChanged(const QString& monitor, bool lost) {
    MonitorState& state = m_monitors[monitor];
    if (state.lost == lost) {
        return;
    }
    state.lost = lost;
    tell(monitor,
         lost ? QStringLiteral("Keine Verbindung zum Server") : QStringLiteral("Wieder erreichbar"),
         !lost);
    showWorstState();
}

void AlarmNotifier::snooze(const QString& monitor, const QString& key, const QTime& now) {
    m_snoozed.insert(snoozeKey(monitor, key), now);
}

bool AlarmNotifier::isSnoozed(const QString& monitor, const QString& key, const QTime& now) const {
    const auto found = m_snoozed.constFind(snoozeKey(monitor, key));
    return found != m_snoozed.constEnd() && msSince(*found, now) < kSnoozeMs;
}

void AlarmNotifier::forget(const QString& monitor) {
    m_monitors.remove(monitor);
    const QString prefix = monitor + QLatin1Char('\n');
    m_snoozed.removeIf([&](const auto& entry) { return entry.key().startsWith(prefix); });
    showWorstState();
}

void AlarmNotifier::showWorstState() {
    QStringList lost;
    QStringList attention;
    for (auto it = m_monitors.constBegin(); it != m_monitors.constEnd(); ++it) {
        if (it->lost) {
            lost << it.key();
        } else if (!it->standingOut.isEmpty()) {
            attention << QStringLiteral("%1: %2").arg(it.key()).arg(it->standingOut.size());
        }
    }
    if (!lost.isEmpty()) {
        m_desktop.showState(DesktopNotifications::State::NoConnection,
                            QStringLiteral("LORVEX Monitor: keine Verbindung (%1)")
                                .arg(lost.join(QStringLiteral(", "))));
    } else if (!attention.isEmpty()) {
        m_desktop.showState(DesktopNotifications::State::Attention,
                            QStringLiteral("LORVEX Monitor: Aufmerksamkeit nötig (%1)")
                                .arg(attention.join(QStringLiteral(", "))));
    } else {
        m_desktop.showState(DesktopNotifications::State::Good,
                            QStringLiteral("LORVEX Monitor: alles in Ordnung"));
    }
}

void AlarmNotifier::tell(const QString& title, const QString& text, bool good) {
    if (m_enabled) {
        m_lastTold = title;
        const QString fullTitle = QStringLiteral("LORVEX Monitor - ") + title;
        if (good) {
            m_desktop.notifyGood(fullTitle, text); // no warning sign on good news
        } else {
            m_desktop.notify(fullTitle, text);
        }
    }
}
