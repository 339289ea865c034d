#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Asks, away from the caller's thread, whether a PostgreSQL server accepts connections (libpq's
// ping: no sign-in, no password). A server whose database stopped answering opens no new
// connection on its serving thread until a probe says the database answers again, so a stuck
// database costs the serving thread no connect timeouts.
class DatabaseProbe {
public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    explicit DatabaseProbe(Parameters connection);
    ~DatabaseProbe();
    DatabaseProbe(const DatabaseProbe&) = delete;
    DatabaseProbe& operator=(const DatabaseProbe&) = delete;

    // True once after a probe found the database answering (within the last seconds); else
    // starts a probe unless one is under way, and returns false. Never waits.
    bool answered();

private:
    enum class Result { Unknown, Answers, Silent };
    void run();
    Result ping() const;

    const Parameters m_connection;
    std::mutex m_mutex;
    std::condition_variable m_wanted;
    bool m_requested = false;
    bool m_running = false;
    bool m_stopping = false;
    Result m_result = Result::Unknown;
    std::chrono::steady_clock::time_point m_finished;
    std::thread m_thread; // last: started when everything it reads exists
};
