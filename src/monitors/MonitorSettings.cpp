#include "monitors/MonitorSettings.h"

#include "access/LoginSettings.h"
#include "monitors/RowHistory.h"
#include "platform/SettingsStore.h"

const QString MonitorSettings::Section = QStringLiteral("Monitor");

namespace {

const QString KeyCountLimit = QStringLiteral("KassaAnzahlGrenze");
const QString KeyStillMinutes = QStringLiteral("KassaStillstandMinuten");
const QString KeyTrendLength = QStringLiteral("TrendWerte");
const QString KeyNotifications = QStringLiteral("Benachrichtigungen");
// Large enough for any real register, small enough to stay a plain number in the store.
constexpr double kMaxCountLimit = 1e9;
constexpr int kMaxStillMinutes = 24 * 60;

} // namespace

MonitorSettings::MonitorSettings(SettingsStore& store)
    : m_store(store) {
}

AttentionLimits MonitorSettings::attentionLimits() const {
    AttentionLimits limits;
    bool ok = false;
    // Stored in the C format, so the value reads the same whatever the user's locale.
    const double count =
        m_store.get(LoginSettings::App, Section, KeyCountLimit, QString()).toDouble(&ok);
    if (ok && count >= 1 && count <= kMaxCountLimit) {
        limits.count = count;
    }
    const int minutes =
        m_store.get(LoginSettings::App, Section, KeyStillMinutes, QString()).toInt(&ok);
    if (ok && minutes >= 0 && minutes <= kMaxStillMinutes) {
        limits.stillMinutes = minutes;
    }
    return limits;
}

void MonitorSettings::saveAttentionLimits(const AttentionLimits& limits) {
    m_store.save(LoginSettings::App, Section, KeyCountLimit, QString::number(limits.count));
    m_store.save(LoginSettings::App, Section, KeyStillMinutes,
                 QString::number(limits.stillMinutes));
}

int MonitorSettings::trendLength() const {
    bool ok = false;
    const int length =
        m_store.get(LoginSettings::App, Section, KeyTrendLength, QString()).toInt(&ok);
    return ok && length >= RowHistory::kMinLength && length <= RowHistory::kMaxLength
               ? length
               : RowHistory::kDefaultLength;
}

void MonitorSettings::saveTrendLength(int length) {
    m_store.save(LoginSettings::App, Section, KeyTrendLength, QString::number(length));
}

bool MonitorSettings::notificationsOn() const {
    return m_store.get(LoginSettings::App, Section, KeyNotifications, QStringLiteral("1")) !=
           QLatin1String("0");
}

void MonitorSettings::saveNotificationsOn(bool on) {
    m_store.save(LoginSettings::App, Section, KeyNotifications,
                 on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString MonitorSettings::value(const QString& owner, const QString& key) const {
    return m_store.get(LoginSettings::App, Section, owner + key, QString());
}

void MonitorSettings::saveValue(const QString& owner, const QString& key, const QString& value) {
    m_store.save(LoginSettings::App, Section, owner + key, value);
}
