#include "access/AccessGate.h"

#include "platform/EventPump.h"

#include <algorithm>

AccessGate::Scope::Scope(AccessGate& gate)
    : m_gate(gate) {
    ++m_gate.m_depth;
}

AccessGate::Scope::~Scope() {
    m_gate.leave();
}

AccessGate::AccessGate(EventPump& events)
    : m_events(events) {
}

AccessGate::~AccessGate() {
    *m_self = nullptr;
}

void AccessGate::runWhenIdle(const void* key, std::function<void()> job) {
    if (isWaiting(key)) {
        return;
    }
    m_waiting.push_back({key, std::move(job)});
    if (!busy()) {
        scheduleRun();
    }
}

bool AccessGate::isWaiting(const void* key) const {
    return std::any_of(m_waiting.cbegin(), m_waiting.cend(),
                       [key](const Waiting& waiting) { return waiting.key == key; });
}

void AccessGate::cancel(const void* key) {
    std::erase_if(m_waiting, [key](const Waiting& waiting) { return waiting.key == key; });
}

void AccessGate::leave() {
    --m_depth;
    if (m_depth == 0 && !m_waiting.empty()) {
        scheduleRun();
    }
}

void AccessGate::scheduleRun() {
    if (m_runPosted) {
        return;
    }
    m_runPosted = true;
    // Posted, not run here: the access that just ended is still unwinding.
    m_events.post([self = std::weak_ptr<AccessGate*>(m_self)] {
        if (const std::shared_ptr<AccessGate*> gate = self.lock(); gate && *gate) {
            (*gate)->runWaiting();
        }
    });
}

void AccessGate::runWaiting() {
    m_runPosted = false;
    // Each job is a whole access that has ended when it returns; one that finds another access
    // running (it ran inside that one's wait) stays in line for the end of that access.
    while (!busy() && !m_waiting.empty()) {
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        next.job();
    }
}
