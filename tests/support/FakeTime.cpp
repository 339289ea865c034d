#include "FakeTime.h"

#include <algorithm>

namespace {
constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;
}

FakeTime::FakeTime(QTime start)
    : m_now(start.msecsSinceStartOfDay()) {
}

FakeTime::~FakeTime() = default;

QTime FakeTime::timeOfDay() const {
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(m_now % kDayMs));
}

std::unique_ptr<Timer> FakeTime::createTimer() {
    return std::make_unique<FakeTimer>(*this);
}

void FakeTime::processEvents() {
    ++m_processEventsCalls;
    runPosted();
    if (m_onProcessEvents) {
        m_onProcessEvents();
    }
}

void FakeTime::waitFor(int ms) {
    processEvents();
    advance(std::max(ms, 0));
}

void FakeTime::advance(qint64 ms) {
    const qint64 until = m_now + ms;
    runPosted();
    while (FakeTimer* timer = nextDue(until)) {
        m_now = std::max(m_now, timer->deadline());
        timer->fireNow();
        runPosted();
    }
    m_now = std::max(m_now, until);
}

void FakeTime::runPosted() {
    while (!m_posted.empty()) {
        std::function<void()> task = std::move(m_posted.front());
        m_posted.pop_front();
        task();
    }
}

void FakeTime::setTimeOfDay(QTime time) {
    m_now = (m_now / kDayMs) * kDayMs + time.msecsSinceStartOfDay();
}

void FakeTime::registerTimer(FakeTimer* timer) {
    m_timers.push_back(timer);
}

void FakeTime::unregisterTimer(FakeTimer* timer) {
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), timer), m_timers.end());
}

FakeTimer* FakeTime::nextDue(qint64 until) const {
    FakeTimer* best = nullptr;
    for (FakeTimer* timer : m_timers) {
        if (timer->isEnabled() && timer->interval() > 0 && timer->deadline() <= until &&
            (!best || timer->deadline() < best->deadline())) {
            best = timer;
        }
    }
    return best;
}

FakeTimer::FakeTimer(FakeTime& time)
    : m_time(time) {
    m_time.registerTimer(this);
}

FakeTimer::~FakeTimer() {
    m_time.unregisterTimer(this);
}

void FakeTimer::setInterval(int ms) {
    m_interval = std::max(ms, 0);
    m_deadline = m_time.nowMs() + m_interval;
}

void FakeTimer::setEnabled(bool enabled) {
    m_enabled = enabled;
    if (enabled) {
        m_deadline = m_time.nowMs() + m_interval;
    }
}

void FakeTimer::fireNow() {
    ++m_fireCount;
    m_deadline = m_time.nowMs() + m_interval;
    fire();
}
