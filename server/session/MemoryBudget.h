#pragma once

#include <QObject>

// A server-wide allowance of bytes that the sessions draw on together (unfinished frames, unread
// replies), so that what all peers together make the server hold has a bound, however many they
// are. A session that finds it used up waits; freed() tells the waiting ones to look again.
class MemoryBudget : public QObject {
    Q_OBJECT
public:
    explicit MemoryBudget(qint64 capacity, QObject* parent = nullptr)
        : QObject(parent)
        , m_capacity(capacity) {}

    qint64 capacity() const { return m_capacity; }
    qint64 used() const { return m_used; }
    qint64 available() const { return m_capacity - m_used; }
    bool exhausted() const { return m_used >= m_capacity; }

    // Counts bytes taken (delta > 0) or given back (delta < 0).
    void adjust(qint64 delta) {
        const bool wasExhausted = exhausted();
        m_used += delta;
        if (wasExhausted && !exhausted()) {
            emit freed();
        }
    }

signals:
    void freed();

private:
    qint64 m_capacity;
    qint64 m_used = 0;
};
