#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

// Parts of a budget, one per key (a peer address, a signed-in user): each key may hold up to
// `part` bytes, so that one address or one user cannot use up what all share. Sessions of every
// serving thread count in the same parts.
class KeyedBudget {
public:
    explicit KeyedBudget(qint64 part)
        : m_part(part) {}

    qint64 part() const { return m_part; }
    qint64 used(const QString& key) const {
        const QMutexLocker lock(&m_mutex);
        return m_used.value(key);
    }
    qint64 available(const QString& key) const { return m_part - used(key); }
    void adjust(const QString& key, qint64 delta) {
        if (delta == 0 || key.isEmpty()) {
            return;
        }
        const QMutexLocker lock(&m_mutex);
        const auto it = m_used.insert(key, m_used.value(key) + delta);
        if (*it <= 0) {
            m_used.erase(it);
        }
    }
    // Keys holding bytes at the moment.
    qsizetype keys() const {
        const QMutexLocker lock(&m_mutex);
        return m_used.size();
    }

private:
    qint64 m_part;
    mutable QMutex m_mutex;
    QHash<QString, qint64> m_used;
};
