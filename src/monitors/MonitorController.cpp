#include "monitors/MonitorController.h"

#include "access/CacheApi.h"
#include "cache/CacheError.h"
#include "monitors/RefreshInterval.h"
#include "platform/Platform.h"
#include "platform/RowList.h"
#include "platform/Timer.h"

namespace {

// Refreshes under way in all monitor windows together. Both monitors share one connection:
// a refresh nested into another one's connection tries would start a second series of tries,
// boxes and server dialog inside the first, and could end the program while the user is
// still editing the server settings.
int runningRefreshes = 0;

// Resets the busy flag however the refresh ends, unless the controller is gone by then.
class RefreshingFlag {
public:
    RefreshingFlag(bool& flag, std::shared_ptr<bool> alive)
        : m_flag(flag)
        , m_alive(std::move(alive)) {
        m_flag = true;
        ++runningRefreshes;
    }
    ~RefreshingFlag() {
        --runningRefreshes;
        if (*m_alive) {
            m_flag = false;
        }
    }
    RefreshingFlag(const RefreshingFlag&) = delete;
    RefreshingFlag& operator=(const RefreshingFlag&) = delete;

private:
    bool& m_flag;
    std::shared_ptr<bool> m_alive;
};

} // namespace

MonitorController::MonitorController(CacheApi& api, MonitorKind kind, RowList& list, QLocale locale)
    : m_api(api)
    , m_list(list)
    , m_refresh(std::make_shared<MonitorRefresh>(api, std::move(kind), locale))
    , m_timer(api.platform().timers.createTimer())
    , m_locale(std::move(locale)) {
    m_timer->setInterval(kDefaultIntervalMs);
    m_timer->setOnTimeout([this] { Timer1_Timer(); });
    m_timer->setEnabled(true);
}

MonitorController::~MonitorController() {
    *m_alive = false;
    m_timer->setEnabled(false);
}

void MonitorController::Timer1_Timer() {
    if (m_refreshing || runningRefreshes > 0) {
        return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    const std::shared_ptr<MonitorRefresh> refresh = m_refresh;
    RefreshingFlag busy(m_refreshing, alive);
    QStringList rows;
    try {
        rows = refresh->fetchRows();
    } catch (const CacheError& error) {
        if (*alive) {
            recordFailure(error.number(), error.description());
        }
        return;
    }
    if (!*alive) {
        return;
    }
    refresh->showRows(m_list, rows);
    m_dataTime = refresh->startedAt();
    m_errorText.clear();
    notifyStatus();
}

void MonitorController::Edit1_Change(const QString& text) {
    if (const std::optional<int> ms = RefreshInterval::millis(text, m_locale)) {
        m_timer->setInterval(*ms);
    }
}

QString MonitorController::standText() const {
    const QString time =
        m_dataTime.isValid() ? m_dataTime.toString(QStringLiteral("HH:mm:ss")) : "--:--:--";
    return QStringLiteral("Stand ") + time;
}

void MonitorController::recordFailure(int number, const QString& description) {
    m_errorText = QStringLiteral("Fehler %1: %2").arg(number).arg(description);
    // A ";" would split the log row into more columns than it has.
    QString parameter = QStringLiteral("%1: %2").arg(number).arg(description);
    parameter.replace(QLatin1Char(';'), QLatin1Char(','));
    m_api.helpers().AddListRow(m_refresh->kind().logPart, QStringLiteral("Fehler "), parameter);
    notifyStatus();
}

void MonitorController::notifyStatus() {
    if (m_onStatusChanged) {
        m_onStatusChanged();
    }
}
