#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Gives each call to the database a deadline of its own. The database's own timeouts cannot fire
// when its processes are stuck (stopped, swapped out, a hung disk), and the kernel still
// acknowledges what is sent to them, so a blocking call would wait for as long as the database
// is stuck. Past the deadline the watchdog shuts the connection's socket down: the call returns
// with a broken connection, and the store opens a new one once the database answers again.
class StatementWatchdog {
public:
    explicit StatementWatchdog(int deadlineMs);
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog&) = delete;
    StatementWatchdog& operator=(const StatementWatchdog&) = delete;

    int deadlineMs() const { return m_deadlineMs; }
    // A call on the socket starts now.
    void arm(int socket);
    // The call has returned. True when its deadline had passed and the socket was shut down.
    bool disarm();

private:
    void watch();

    const int m_deadlineMs;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_socket = -1; // armed while not -1
    unsigned m_call = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_expired = false;
    bool m_stopping = false;
    std::thread m_thread; // last: started when everything it reads exists
};
