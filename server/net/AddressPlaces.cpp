#include "AddressPlaces.h"

#include <QMutexLocker>

#include <algorithm>

AddressPlaces::AddressPlaces(int total, int perAddress, int penaltyMs)
    : m_total(total)
    , m_perAddressLimit(perAddress)
    , m_penaltyMs(penaltyMs) {
    m_clock.start();
}

int AddressPlaces::livePenalties(const QString& key) {
    const auto it = m_penaltiesUntil.find(key);
    if (it == m_penaltiesUntil.end()) {
        return 0;
    }
    const qint64 now = m_clock.elapsed();
    while (!it->isEmpty() && it->first() <= now) {
        it->removeFirst();
    }
    if (it->isEmpty()) {
        m_penaltiesUntil.erase(it);
        return 0;
    }
    return static_cast<int>(it->size());
}

bool AddressPlaces::take(const QString& key, QString* refusal) {
    const QMutexLocker lock(&m_mutex);
    if (m_used >= m_total) {
        *refusal = QStringLiteral("%1 sessions are open").arg(m_total);
        return false;
    }
    const int sessions = m_perAddress.value(key);
    const int penalties = livePenalties(key);
    if (sessions + penalties >= m_perAddressLimit) {
        *refusal = penalties == 0
                       ? QStringLiteral("%1 sessions from %2 are open").arg(sessions).arg(key)
                       : QStringLiteral("%1 sessions from %2 are open, %3 places held by failed "
                                        "sign-ins")
                             .arg(sessions)
                             .arg(key)
                             .arg(penalties);
        return false;
    }
    ++m_used;
    ++m_perAddress[key];
    return true;
}

void AddressPlaces::release(const QString& key) {
    const QMutexLocker lock(&m_mutex);
    const auto it = m_perAddress.find(key);
    if (it == m_perAddress.end()) {
        return;
    }
    --m_used;
    if (--*it <= 0) {
        m_perAddress.erase(it);
    }
}

void AddressPlaces::penalize(const QString& key) {
    const QMutexLocker lock(&m_mutex);
    QList<qint64>& until = m_penaltiesUntil[key];
    if (until.size() >= std::max(1, m_perAddressLimit / 2)) {
        until.removeFirst(); // the newest count, the oldest would run out first
    }
    until.append(m_clock.elapsed() + m_penaltyMs);
}

void AddressPlaces::prune() {
    const QMutexLocker lock(&m_mutex);
    const QList<QString> keys = m_penaltiesUntil.keys();
    for (const QString& key : keys) {
        livePenalties(key);
    }
}

int AddressPlaces::used() const {
    const QMutexLocker lock(&m_mutex);
    return m_used;
}

int AddressPlaces::usedBy(const QString& key) const {
    const QMutexLocker lock(&m_mutex);
    return m_perAddress.value(key);
}
