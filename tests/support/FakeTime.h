#pragma once

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Timer.h"

#include <QTime>

#include <deque>
#include <functional>
#include <vector>

class FakeTimer;

// Time that only moves when a test (or code waiting through the event pump) moves it.
// It is the clock, the timer factory and the event pump of a fake platform: waitFor(ms)
// advances the clock by ms and fires the timers that fall due, in deadline order. Posted tasks
// run, in order, at the next processEvents() and whenever time moves (before each timer fires).
class FakeTime : public Clock, public TimerFactory, public EventPump {
public:
    explicit FakeTime(QTime start = QTime(12, 0, 0));
    ~FakeTime() override;

    QTime timeOfDay() const override;
    std::unique_ptr<Timer> createTimer() override;
    void processEvents() override;
    void waitFor(int ms) override;
    void post(std::function<void()> task) override { m_posted.push_back(std::move(task)); }
    // Runs the tasks posted so far (and those they post).
    void runPosted();

    // Moves the clock forward by ms, firing due timers on the way.
    void advance(qint64 ms);
    void setTimeOfDay(QTime time);
    qint64 nowMs() const { return m_now; }
    int processEventsCalls() const { return m_processEventsCalls; }
    // Runs inside every processEvents() call, standing in for window events that arrive.
    void setOnProcessEvents(std::function<void()> hook) { m_onProcessEvents = std::move(hook); }

private:
    friend class FakeTimer;
    void registerTimer(FakeTimer* timer);
    void unregisterTimer(FakeTimer* timer);
    FakeTimer* nextDue(qint64 until) const;

    qint64 m_now; // ms since the start of day 0
    std::vector<FakeTimer*> m_timers;
    int m_processEventsCalls = 0;
    std::function<void()> m_onProcessEvents;
    std::deque<std::function<void()>> m_posted;
};

class FakeTimer : public Timer {
public:
    explicit FakeTimer(FakeTime& time);
    ~FakeTimer() override;

    void setInterval(int ms) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    qint64 deadline() const { return m_deadline; }
    int fireCount() const { return m_fireCount; }

private:
    friend class FakeTime;
    void fireNow();

    FakeTime& m_time;
    int m_interval = 0;
    bool m_enabled = false;
    qint64 m_deadline = 0;
    int m_fireCount = 0;
};
