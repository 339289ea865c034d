#include "PlainTcpServer.h"

#include <QMetaMethod>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections taken in one turn of the loop: a flood of them must not hold up the sessions
// served on the same thread.
constexpr int kAcceptsPerTurn = 64;
constexpr int kRetryMs = 100;
constexpr int kListenBacklog = 1024;

} // namespace

PlainTcpServer::PlainTcpServer(QObject* parent)
    : QTcpServer(parent) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier) {
            m_notifier->setEnabled(!m_held);
        }
    });
}

PlainTcpServer::~PlainTcpServer() {
    m_notifier.reset(); // before QTcpServer closes the descriptor it watches
}

bool PlainTcpServer::listenOn(const QHostAddress& address, quint16 port) {
    // After a restart every monitor of a store network reconnects at once: Qt's queue of 50
    // would drop their handshakes, and each dropped one costs its client a second or more.
    setListenBacklogSize(kListenBacklog);
    if (!listen(address, port)) {
        return false;
    }
    // Descriptors are handed out lowest first: one at or above the ceiling means that fewer
    // than the reserve are left.
    rlimit limit{};
    m_ceiling = std::numeric_limits<int>::max();
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < rlim_t(m_ceiling)) {
        m_ceiling = std::max(int(limit.rlim_cur) - kReservedDescriptors, 1);
    }
    pauseAccepting(); // Qt's own notifier stays off; ours takes over
    m_notifier = std::make_unique<QSocketNotifier>(socketDescriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PlainTcpServer::acceptWaiting);
    return true;
}

void PlainTcpServer::setHeld(bool held) {
    m_held = held;
    if (m_notifier && !m_retry.isActive()) {
        m_notifier->setEnabled(!held);
    }
}

void PlainTcpServer::acceptWaiting() {
    const int listener = static_cast<int>(socketDescriptor());
    for (int taken = 0; taken < kAcceptsPerTurn && !m_held; ++taken) {
        const int descriptor = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor >= m_ceiling) {
            noteShortage();
            shed(descriptor);
            continue;
        }
        if (descriptor >= 0) {
            m_short = false;
            if (!isSignalConnected(QMetaMethod::fromSignal(&PlainTcpServer::accepted))) {
                ::close(descriptor); // nobody would own it
                continue;
            }
            emit accepted(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Looking again at once would be a busy loop for as long as the shortage lasts;
            // the waiting connections wait in the queue meanwhile.
            noteShortage();
            m_notifier->setEnabled(false);
            m_retry.start();
        }
        return; // EAGAIN: none waiting
    }
}

void PlainTcpServer::noteShortage() {
    if (!m_short) {
        m_short = true;
        emit outOfDescriptors();
    }
}

void PlainTcpServer::shed(int descriptor) {
    if (!m_shedReply.isEmpty()) {
        ::send(descriptor, m_shedReply.constData(), size_t(m_shedReply.size()),
               MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ::close(descriptor);
}
