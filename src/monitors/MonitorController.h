#pragma once

#include "monitors/MonitorRefresh.h"
#include "monitors/RowAttention.h"
#include "monitors/RowHistory.h"

#include <QLocale>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>

class CacheApi;
class RowList;
class SettingsStore;
class Timer;
class AlarmNotifier;

// The window mechanics both monitors share, without any widget: the refresh timer and its
// interval, the refresh itself, and what the user is told about the age of the rows on screen.
// A refresh asked for while another server access runs (this monitor's, the other one's, a
// sign-in) waits in line and runs once that access has ended; further requests meanwhile
// collapse into that one run. The program log gets an entry when the rows turn old (a refresh
// failed, or no answer for too long) and one when a refresh succeeds again.
class MonitorController {
public:
    static constexpr int kDefaultIntervalMs = 10000;
    // Rows older than twice the interval plus this count as old, error or not.
    static constexpr int kAgeGraceMs = 5000;

    MonitorController(CacheApi& api, MonitorKind kind, RowList& list,
                      QLocale locale = QLocale::system());
    ~MonitorController();
    MonitorController(const MonitorController&) = delete;
    MonitorController& operator=(const MonitorController&) = delete;

    // The timer's refresh: now, or once the running server access has ended. A failed server
    // access keeps the rows and marks them old.
    void Timer1_Timer();
    // The same refresh for the user who waits for it ("Refresh", opening the window): the busy
    // pointer shows until it has run.
    void refreshForUser();
    // A new interval text: applied and true when it is a valid interval, otherwise the old
    // interval stays and false.
    bool Edit1_Change(const QString& text);
    // The interval in effect, in seconds as the interval field shows it.
    QString intervalText() const;
    // An interval kept from before, in milliseconds: applied and true when it is one the
    // interval field could have set.
    bool restoreInterval(int ms);
    SettingsStore& settings();
    bool autoRefreshOff() const;

    Timer& timer() { return *m_timer; }
    bool isRefreshing() const { return m_refreshing; }
    bool refreshWaiting() const;

    // "Stand HH:NN:SS": when the rows on screen arrived ("--:--:--" before any).
    QString standText() const;
    // True while the latest refresh failed or the rows are too old; staleReason() says why.
    bool isStale() const { return m_failing || m_tooOld; }
    QString staleReason() const;
    QString errorText() const { return m_errorText; }

    // Why each listed row stands out (empty: it does not), as of the latest rows.
    const QStringList& attentionReasons() const { return m_reasons; }
    const AttentionLimits& attentionLimits() const { return m_attention.limits(); }
    // New limits take effect on the rows on screen at once.
    void setAttentionLimits(const AttentionLimits& limits);
    // The values kept per row for the trend lines since the window opened.
    const RowHistory& history() const { return m_history; }
    void setTrendLength(int length);
    // Where the desktop is told about rows that start to stand out and lost connections.
    void setAlarms(AlarmNotifier* alarms);
    // Whether the row's alarm can be snoozed (it stands out and the desktop is told), and
    // snoozing it for an hour.
    bool canSnooze(int row) const;
    void snooze(int row);
    void setOnStatusChanged(std::function<void()> handler) {
        m_onStatusChanged = std::move(handler);
    }

private:
    void request(bool userWaits);
    void runRefresh();
    void recordFailure(int number, const QString& description);
    void recordSuccess(const QTime& arrived);
    // One entry in the program log under this monitor's name.
    void log(const QString& text, QString parameter);
    void endUserWait();
    // Marks the rows old now, or sets the age timer for the moment they become old.
    void checkAge();
    void notifyStatus();
    void markRows(const QTime& now);
    void showTrends();
    QStringList rowKeys() const;

    CacheApi& m_api;
    RowList& m_list;
    // Shared with a running refresh, which may outlive the controller (see m_alive).
    std::shared_ptr<MonitorRefresh> m_refresh;
    std::unique_ptr<Timer> m_timer;
    std::unique_ptr<Timer> m_ageTimer;
    QLocale m_locale;
    RowAttention m_attention;
    RowHistory m_history;
    QList<QStringList> m_rows;
    QStringList m_reasons;
    QTime m_dataTime;
    // Since when there is no newer answer: the last rows' arrival, or the window's opening.
    QTime m_answerSince;
    QString m_errorText;
    bool m_failing = false;
    bool m_tooOld = false;
    bool m_refreshing = false;
    bool m_userWaiting = false;
    // Cleared when the controller goes away, so a refresh that is unwinding after its window
    // was unloaded underneath it touches nothing of it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::function<void()> m_onStatusChanged;
    AlarmNotifier* m_alarms = nullptr;
    bool m_toldLost = false;
};
