#pragma once

#include <deque>
#include <functional>
#include <memory>

class EventPump;

// One server access at a time. Window events keep running while an access waits for the
// server, so a timer, a click or a window being opened can ask for another access in the middle
// of one; such work waits in line here and runs, in order, as soon as no access runs any more.
// Asking again for work that already waits under the same key changes nothing, so a burst of
// requests collapses into one run.
class AccessGate {
public:
    // Marks a server access as running for as long as it lives; accesses may nest.
    class Scope {
    public:
        explicit Scope(AccessGate& gate);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        AccessGate& m_gate;
    };

    explicit AccessGate(EventPump& events);
    ~AccessGate();
    AccessGate(const AccessGate&) = delete;
    AccessGate& operator=(const AccessGate&) = delete;

    bool busy() const { return m_depth > 0; }
    // Queues job to run once the running access has ended (from the event loop, never inside
    // another access). Nothing is queued when a job with this key waits already.
    void runWhenIdle(const void* key, std::function<void()> job);
    bool isWaiting(const void* key) const;
    // Forgets the waiting job of this key (its owner goes away).
    void cancel(const void* key);

private:
    struct Waiting {
        const void* key;
        std::function<void()> job;
    };

    void leave();
    void scheduleRun();
    void runWaiting();

    EventPump& m_events;
    int m_depth = 0;
    bool m_runPosted = false;
    std::deque<Waiting> m_waiting;
    // A posted run finds out through this whether the gate still exists.
    std::shared_ptr<AccessGate*> m_self = std::make_shared<AccessGate*>(this);
};
