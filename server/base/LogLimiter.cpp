#include "LogLimiter.h"

#include <QLocale>

#include <algorithm>

namespace {

const QString kOtherAddresses = QStringLiteral("other addresses");
constexpr double kAddressShare = 0.1;

} // namespace

LogLimiter::LogLimiter()
    : LogLimiter(Settings{}) {
}

LogLimiter::LogLimiter(const Settings& settings, Clock clock)
    : m_settings(settings)
    , m_clock(std::move(clock)) {
    if (!m_clock) {
        m_elapsed.start();
        m_clock = [this] { return m_elapsed.elapsed(); };
    }
    m_all.tokens = m_settings.linesPerSecond * m_settings.burstSeconds;
    m_all.refilledAtMs = m_clock();
}

bool LogLimiter::take(Bucket& bucket, double rate, double burst, qint64 now) const {
    bucket.tokens =
        std::min(burst, bucket.tokens + double(now - bucket.refilledAtMs) * rate / 1000.0);
    bucket.refilledAtMs = now;
    if (bucket.tokens < 1) {
        return false;
    }
    bucket.tokens -= 1;
    return true;
}

LogLimiter::Bucket& LogLimiter::bucketOf(const QString& address, qint64 now) {
    auto it = m_addresses.find(address);
    if (it != m_addresses.end()) {
        return *it;
    }
    const QString& key = m_addresses.size() < kMaxAddresses ? address : kOtherAddresses;
    it = m_addresses.find(key);
    if (it == m_addresses.end()) {
        const double rate = m_settings.linesPerSecond * kAddressShare;
        it = m_addresses.insert(key, Bucket{rate * m_settings.burstSeconds, now, 0});
    }
    return *it;
}

QString LogLimiter::summaryOf(const QString& address, qint64 count) const {
    const QString number = QLocale(QLocale::English).toString(count);
    return address.isEmpty()
               ? QStringLiteral("log limit: %1 lines left out").arg(number)
               : QStringLiteral("log limit: %1 lines about %2 left out").arg(number, address);
}

void LogLimiter::summarize(const QString& address, Bucket& bucket, qint64 now, QStringList& lines) {
    if (bucket.leftOut == 0) {
        return;
    }
    const double rate = m_settings.linesPerSecond;
    const double burst = rate * m_settings.burstSeconds;
    if (!address.isEmpty() && !take(bucket, rate * kAddressShare, burst * kAddressShare, now)) {
        return;
    }
    if (!take(m_all, rate, burst, now)) {
        return; // the count waits for the next token
    }
    lines.append(summaryOf(address, bucket.leftOut));
    bucket.leftOut = 0;
}

QStringList LogLimiter::admit(const QString& address, const QString& line) {
    if (m_settings.linesPerSecond <= 0) {
        return {line};
    }
    const qint64 now = m_clock();
    const double rate = m_settings.linesPerSecond;
    const double burst = rate * m_settings.burstSeconds;
    QStringList lines;
    summarize(QString(), m_all, now, lines);
    if (!address.isEmpty()) {
        Bucket& own = bucketOf(address, now);
        summarize(address, own, now, lines);
        if (!take(own, rate * kAddressShare, burst * kAddressShare, now)) {
            ++own.leftOut;
            return lines;
        }
    }
    if (!take(m_all, rate, burst, now)) {
        ++m_all.leftOut;
        return lines;
    }
    lines.append(line);
    return lines;
}

QStringList LogLimiter::pendingSummaries() {
    QStringList lines;
    if (m_settings.linesPerSecond <= 0) {
        return lines;
    }
    const qint64 now = m_clock();
    const double addressRate = m_settings.linesPerSecond * kAddressShare;
    const double addressBurst = addressRate * m_settings.burstSeconds;
    summarize(QString(), m_all, now, lines);
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        summarize(it.key(), *it, now, lines);
        const double tokens = it->tokens + double(now - it->refilledAtMs) * addressRate / 1000.0;
        if (it->leftOut == 0 && tokens >= addressBurst) {
            it = m_addresses.erase(it); // quiet long enough to start afresh
        } else {
            ++it;
        }
    }
    return lines;
}
