#include "monitors/MonitorController.h"

#include "access/CacheApi.h"
#include "access/ErrorTexts.h"
#include "monitors/AlarmNotifier.h"
#include "monitors/ClockOfDay.h"
#include "monitors/MonitorSettings.h"
#include "monitors/RefreshInterval.h"
#include "objectclient/CacheError.h"
#include "platform/Platform.h"
#include "platform/RowList.h"
#include "platform/Timer.h"

#include <algorithm>

namespace {

const QString TimeFormat = QStringLiteral("HH:mm:ss");

// Marks the controller's refresh as running, however it ends, unless the controller is gone.
class RefreshingFlag {
public:
    RefreshingFlag(bool& flag, std::shared_ptr<bool> alive)
        : m_flag(flag)
        , m_alive(std::move(alive)) {
        m_flag = true;
    }
    ~RefreshingFlag() {
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
    , m_ageTimer(api.platform().timers.createTimer())
    , m_locale(locale)
    , m_attention(m_refresh->kind().attention, locale)
    , m_history(m_refresh->kind().trendColumns, std::move(locale))
    , m_answerSince(api.platform().clock.timeOfDay()) {
    const MonitorSettings settings(api.platform().settings);
    m_attention.setLimits(settings.attentionLimits());
    m_history.setLength(settings.trendLength());
    m_timer->setInterval(kDefaultIntervalMs);
    m_timer->setOnTimeout([this] { Timer1_Timer(); });
    m_timer->setEnabled(true);
    m_ageTimer->setOnTimeout([this] {
        checkAge();
        notifyStatus();
    });
    checkAge();
}

MonitorController::~MonitorController() {
    *m_alive = false;
    m_timer->setEnabled(false);
    m_ageTimer->setEnabled(false);
    m_api.connection().gate().cancel(this);
    endUserWait();
    if (m_alarms) {
        m_alarms->forget(m_refresh->kind().settingsName);
    }
}

void MonitorController::Timer1_Timer() {
    request(false);
}

void MonitorController::refreshForUser() {
    request(true);
}

void MonitorController::request(bool userWaits) {
    Connection& connection = m_api.connection();
    if (userWaits && !m_userWaiting) {
        m_userWaiting = true;
        connection.busyCursor().begin();
    }
    AccessGate& gate = connection.gate();
    if (gate.isWaiting(this)) {
        return; // one run is due already
    }
    if (gate.busy()) {
        gate.runWhenIdle(this, [this, alive = m_alive] {
            if (*alive) {
                runRefresh();
            }
        });
        return;
    }
    runRefresh();
}

bool MonitorController::refreshWaiting() const {
    return m_api.connection().gate().isWaiting(this);
}

void MonitorController::runRefresh() {
    const std::shared_ptr<bool> alive = m_alive;
    const std::shared_ptr<MonitorRefresh> refresh = m_refresh;
    const RefreshingFlag busy(m_refreshing, alive);
    // A user who asks while this refresh runs waits for the next one.
    const bool servesWaitingUser = m_userWaiting;
    QList<QStringList> rows;
    try {
        const AccessGate::Scope access(m_api.connection().gate());
        rows = refresh->fetchRows();
    } catch (const CacheError& error) {
        if (*alive) {
            recordFailure(error.number(), error.description());
            if (servesWaitingUser) {
                endUserWait();
            }
        }
        return;
    }
    if (!*alive) {
        return;
    }
    const QTime arrived = refresh->lastArrival();
    refresh->showRows(m_list, rows);
    m_rows = rows;
    markRows(arrived);
    m_history.record(m_rows);
    showTrends();
    recordSuccess(arrived);
    if (servesWaitingUser) {
        endUserWait();
    }
}

bool MonitorController::Edit1_Change(const QString& text) {
    const std::optional<int> ms = RefreshInterval::millis(text, m_locale);
    if (!ms) {
        return false;
    }
    m_timer->setInterval(*ms);
    checkAge();
    notifyStatus();
    return true;
}

bool MonitorController::restoreInterval(int ms) {
    if (ms < 0 || ms > RefreshInterval::kMaxMillis) {
        return false;
    }
    m_timer->setInterval(ms);
    checkAge();
    notifyStatus();
    return true;
}

SettingsStore& MonitorController::settings() {
    return m_api.platform().settings;
}

QString MonitorController::intervalText() const {
    QString text = m_locale.toString(m_timer->interval() / 1000.0, 'f', 3);
    const QString point = m_locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(point)) {
            text.chop(point.size());
        }
    }
    return text;
}

bool MonitorController::autoRefreshOff() const {
    return m_timer->interval() == 0;
}

QString MonitorController::standText() const {
    const QString time = m_dataTime.isValid() ? m_dataTime.toString(TimeFormat) : "--:--:--";
    return QStringLiteral("Stand ") + time;
}

QString MonitorController::staleReason() const {
    QStringList reasons;
    if (m_failing) {
        reasons << m_errorText;
    }
    if (m_tooOld) {
        reasons << QStringLiteral("Keine Antwort seit ") + m_answerSince.toString(TimeFormat);
    }
    return reasons.join(QLatin1Char('\n'));
}

void MonitorController::recordFailure(int number, const QString& description) {
    // German for the user; the server's own words only follow in the log.
    m_errorText =
        QStringLiteral("Fehler %1: %2").arg(number).arg(ErrorTexts::forUser(number, description));
    if (!m_failing) {
        // One entry when the failures start, not one per failing refresh.
        log(QStringLiteral("Fehler "),
            QStringLiteral("%1: %2").arg(number).arg(ErrorTexts::forLog(number, description)));
    }
    m_failing = true;
    notifyStatus();
}

void MonitorController::recordSuccess(const QTime& arrived) {
    m_dataTime = arrived;
    m_answerSince = arrived;
    if (isStale()) {
        log(QStringLiteral("Wieder erreichbar um "), arrived.toString(TimeFormat));
    }
    m_failing = false;
    m_errorText.clear();
    checkAge();
    notifyStatus();
}

void MonitorController::setAttentionLimits(const AttentionLimits& limits) {
    m_attention.setLimits(limits);
    markRows(m_api.platform().clock.timeOfDay());
    notifyStatus();
}

void MonitorController::setTrendLength(int length) {
    m_history.setLength(length);
    showTrends();
}

void MonitorController::showTrends() {
    const QList<int>& columns = m_refresh->kind().trendColumns;
    const int shown = std::min(m_list.rowCount(), static_cast<int>(m_rows.size()));
    for (int row = 0; row < shown; ++row) {
        const QString key = m_rows.at(row).value(0);
        for (int s = 0; s < columns.size(); ++s) {
            m_list.showTrend(row, columns.at(s), m_history.values(key, s));
        }
    }
}

void MonitorController::markRows(const QTime& now) {
    const QList<RowAttention::Mark> marks = m_attention.assess(m_rows, now);
    m_reasons.clear();
    for (const RowAttention::Mark& mark : marks) {
        m_reasons << mark.reason;
    }
    // The list shows the rows just given, in their order.
    const int shown = std::min(m_list.rowCount(), static_cast<int>(marks.size()));
    for (int row = 0; row < shown; ++row) {
        m_list.markRow(row, marks.at(row).reason, marks.at(row).columns);
    }
    if (m_alarms) {
        m_alarms->rowsAssessed(m_refresh->kind().settingsName, rowKeys(), m_reasons, now);
    }
}

QStringList MonitorController::rowKeys() const {
    QStringList keys;
    keys.reserve(m_rows.size());
    for (const QStringList& row : m_rows) {
        keys << row.value(0);
    }
    return keys;
}

void MonitorController::setAlarms(AlarmNotifier* alarms) {
    m_alarms = alarms;
}

bool MonitorController::canSnooze(int row) const {
    return m_alarms && row >= 0 && row < m_reasons.size() && !m_reasons.at(row).isEmpty();
}

void MonitorController::snooze(int row) {
    if (canSnooze(row)) {
        m_alarms->snooze(m_refresh->kind().settingsName, rowKeys().at(row),
                         m_api.platform().clock.timeOfDay());
    }
}

void MonitorController::log(const QString& text, QString parameter) {
    // A ";" would split the log row into more columns than it has.
    parameter.replace(QLatin1Char(';'), QLatin1Char(','));
    m_api.helpers().AddListRow(m_refresh->kind().logPart, text, parameter);
}

void MonitorController::endUserWait() {
    if (m_userWaiting) {
        m_userWaiting = false;
        m_api.connection().busyCursor().end();
    }
}

void MonitorController::checkAge() {
    m_ageTimer->setEnabled(false);
    if (autoRefreshOff()) {
        // Nothing is expected to come; the window says that auto refresh is off instead.
        m_tooOld = false;
        return;
    }
    const qint64 limit = 2LL * m_timer->interval() + kAgeGraceMs;
    const qint64 age = msSince(m_answerSince, m_api.platform().clock.timeOfDay());
    const bool wasStale = isStale();
    m_tooOld = age >= limit;
    if (m_tooOld && !wasStale) {
        // The outage shows in the log while a refresh still hangs in its tries.
        log(QStringLiteral("Keine Antwort seit "), m_answerSince.toString(TimeFormat));
    }
    if (!m_tooOld) {
        m_ageTimer->setInterval(static_cast<int>(limit - age));
        m_ageTimer->setEnabled(true);
    }
}

void MonitorController::notifyStatus() {
    if (m_alarms && isStale() != m_toldLost) {
        m_toldLost = isStale();
        m_alarms->connectionChanged(m_refresh->kind().settingsName, m_toldLost);
    }
    if (m_onStatusChanged) {
        m_onStatusChanged();
    }
}
