#include "SignInThrottle.h"

#include <algorithm>

SignInThrottle::SignInThrottle(const Settings& settings)
    : m_settings(settings) {
}

qint64 SignInThrottle::delayFor(int failures, int freeTries) const {
    if (failures < freeTries) {
        return 0;
    }
    const qint64 steps = static_cast<qint64>(failures - freeTries) + 1;
    return std::min(m_settings.capMs, steps * m_settings.stepMs);
}

SignInThrottle::Entry& SignInThrottle::entry(const QString& key, qint64 nowMs) {
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        makeRoom(nowMs);
        it = m_entries.insert(key, Entry{});
    } else if (it->failures > 0 && nowMs - it->lastFailureMs > m_settings.forgetAfterMs) {
        it->failures = 0;
    }
    return *it;
}

qint64 SignInThrottle::reserveOne(const QString& key, int freeTries, qint64 nowMs) {
    Entry& e = entry(key, nowMs);
    const qint64 delay = delayFor(e.failures, freeTries);
    if (delay == 0) {
        return nowMs;
    }
    e.nextSlotMs = std::max(nowMs, e.nextSlotMs) + delay;
    return e.nextSlotMs;
}

qint64 SignInThrottle::reserve(const QString& userKey, const QString& addressKey, qint64 nowMs) {
    return std::max(reserveOne(userKey, m_settings.freeTriesPerUser, nowMs),
                    reserveOne(addressKey, m_settings.freeTriesPerAddress, nowMs));
}

void SignInThrottle::recordFailure(const QString& userKey, const QString& addressKey,
                                   qint64 nowMs) {
    for (const QString* key : {&userKey, &addressKey}) {
        Entry& e = entry(*key, nowMs);
        e.failures = std::min(e.failures + 1, 1 << 20);
        e.lastFailureMs = nowMs;
    }
}

void SignInThrottle::recordSuccess(const QString& userKey, qint64 nowMs) {
    entry(userKey, nowMs).failures = 0;
}

void SignInThrottle::adoptFailures(const QString& key, int failures, qint64 nowMs) {
    Entry& e = entry(key, nowMs);
    if (failures > e.failures) {
        e.failures = std::min(failures, 1 << 20);
        e.lastFailureMs = nowMs;
    }
}

int SignInThrottle::failures(const QString& key, qint64 nowMs) const {
    const auto it = m_entries.constFind(key);
    if (it == m_entries.constEnd() || nowMs - it->lastFailureMs > m_settings.forgetAfterMs) {
        return 0;
    }
    return it->failures;
}

void SignInThrottle::makeRoom(qint64 nowMs) {
    if (m_entries.size() < m_settings.maxKeys) {
        return;
    }
    // Forget what is quiet first; if everything is busy, the oldest failures go.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool quiet =
            nowMs - it->lastFailureMs > m_settings.forgetAfterMs && it->nextSlotMs <= nowMs;
        it = quiet ? m_entries.erase(it) : std::next(it);
    }
    while (m_entries.size() >= m_settings.maxKeys) {
        auto oldest = std::min_element(
            m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return a.lastFailureMs < b.lastFailureMs; });
        m_entries.erase(oldest);
    }
}
