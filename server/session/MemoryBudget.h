#pragma once

#include <QObject>

#include <atomic>

// A server-wide allowance of bytes that the sessions draw on together (unfinished frames, unread
// replies), so that what all peers together make the server hold has a bound, however many they
// are. A session that finds it used up waits; freed() tells the waiting ones to look again.
// Sessions of every serving thread draw on it: freed() reaches each on its own thread.
class MemoryBudget : public QObject {
    Q_OBJECT
public:
    explicit MemoryBudget(qint64 capacity, QObject* parent = nullptr)
        : QObject(parent)
        , m_capacity(capacity) {}

    qint64 capacity() const { return m_capacity; }
    qint64 used() const { return m_used.load(std::memory_order_relaxed); }
    qint64 available() const { return m_capacity - used(); }
    bool exhausted() const { return used() >= m_capacity; }

    // Counts bytes taken (delta > 0) or given back (delta < 0).
    void adjust(qint64 delta) {
        if (delta == 0) {
            return;
        }
        const qint64 before = m_used.fetch_add(delta, std::memory_order_relaxed);
        if (before >= m_capacity && before + delta < m_capacity) {
            emit freed();
        }
    }

signals:
    void freed();

private:
    qint64 m_capacity;
    std::atomic<qint64> m_used{0};
};
