#pragma once

#include "monitors/MonitorRefresh.h"

#include <QLocale>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>

class CacheApi;
class RowList;
class Timer;

// The window mechanics both monitors share, without any widget: the refresh timer and its
// interval, the refresh itself with its guard against re-entry, and what the user is told
// about the age of the rows on screen.
class MonitorController {
public:
    static constexpr int kDefaultIntervalMs = 10000;

    MonitorController(CacheApi& api, MonitorKind kind, RowList& list,
                      QLocale locale = QLocale::system());
    ~MonitorController();
    MonitorController(const MonitorController&) = delete;
    MonitorController& operator=(const MonitorController&) = delete;

    // The refresh. A call while a refresh of any monitor runs (a tick or click let in by
    // the waits of the server access) is skipped. A failed server access keeps the rows and
    // marks them old.
    void Timer1_Timer();
    // A new interval text: applied when it is a valid interval, otherwise the old one stays.
    void Edit1_Change(const QString& text);

    Timer& timer() { return *m_timer; }
    bool isRefreshing() const { return m_refreshing; }

    // "Stand HH:NN:SS": when the rows on screen were fetched ("--:--:--" before any).
    QString standText() const;
    // True while the latest refreshes failed; then errorText() says why.
    bool isStale() const { return !m_errorText.isEmpty(); }
    QString errorText() const { return m_errorText; }
    void setOnStatusChanged(std::function<void()> handler) {
        m_onStatusChanged = std::move(handler);
    }

private:
    void recordFailure(int number, const QString& description);
    void notifyStatus();

    CacheApi& m_api;
    RowList& m_list;
    // Shared with a running refresh, which may outlive the controller (see m_alive).
    std::shared_ptr<MonitorRefresh> m_refresh;
    std::unique_ptr<Timer> m_timer;
    QLocale m_locale;
    QTime m_dataTime;
    QString m_errorText;
    bool m_refreshing = false;
    // Cleared when the controller goes away, so a refresh that is unwinding after its window
    // was unloaded underneath it touches nothing of it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::function<void()> m_onStatusChanged;
};
