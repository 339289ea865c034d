#include "StatementWatchdog.h"

#include <sys/socket.h>

#include <utility>

StatementWatchdog::StatementWatchdog(int deadlineMs)
    : m_deadlineMs(deadlineMs)
    , m_thread([this] { watch(); }) {
}

StatementWatchdog::~StatementWatchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_one();
    m_thread.join();
}

void StatementWatchdog::arm(int socket) {
    {
        const std::lock_guard lock(m_mutex);
        m_socket = socket;
        ++m_call;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_deadlineMs);
        m_expired = false;
    }
    m_changed.notify_one();
}

bool StatementWatchdog::disarm() {
    // No notification: the watcher wakes at the deadline anyway and finds nothing armed.
    const std::lock_guard lock(m_mutex);
    m_socket = -1;
    return std::exchange(m_expired, false);
}

void StatementWatchdog::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_socket < 0) {
            m_changed.wait(lock);
            continue;
        }
        const unsigned call = m_call;
        if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout && m_socket >= 0 &&
            m_call == call && std::chrono::steady_clock::now() >= m_deadline) {
            // The descriptor stays open (libpq owns it); only its traffic ends, so the blocked
            // call sees the connection closed.
            ::shutdown(m_socket, SHUT_RDWR);
            m_expired = true;
            m_socket = -1;
        }
    }
}
