#include "DatabaseProbe.h"

#include <libpq-fe.h>

namespace {

// A found answer is trusted this long; after that the next caller asks again.
constexpr auto kAnswerFreshFor = std::chrono::seconds(2);
// Between two probes of a database that does not answer (a refused connection returns at once).
constexpr auto kBetweenProbes = std::chrono::milliseconds(500);

} // namespace

DatabaseProbe::DatabaseProbe(Parameters connection)
    : m_connection(std::move(connection))
    , m_thread([this] { run(); }) {
}

DatabaseProbe::~DatabaseProbe() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wanted.notify_one();
    m_thread.join();
}

bool DatabaseProbe::answered() {
    const std::lock_guard lock(m_mutex);
    if (m_result == Result::Answers &&
        std::chrono::steady_clock::now() - m_finished < kAnswerFreshFor) {
        m_result = Result::Unknown;
        return true;
    }
    if (!m_running && !m_requested) {
        m_requested = true;
        m_wanted.notify_one();
    }
    return false;
}

void DatabaseProbe::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_requested) {
            m_wanted.wait(lock);
            continue;
        }
        if (m_result == Result::Silent) {
            // Paced, but woken for the end.
            if (m_wanted.wait_until(lock, m_finished + kBetweenProbes,
                                    [this] { return m_stopping; })) {
                break;
            }
        }
        m_requested = false;
        m_running = true;
        lock.unlock();
        const Result result = ping();
        lock.lock();
        m_running = false;
        m_result = result;
        m_finished = std::chrono::steady_clock::now();
    }
}

DatabaseProbe::Result DatabaseProbe::ping() const {
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : m_connection) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    // Answers also when the sign-in would fail: the database is there, and the real connection
    // will say what is wrong with it.
    return PQpingParams(keywords.data(), values.data(), 0) == PQPING_OK ? Result::Answers
                                                                        : Result::Silent;
}
