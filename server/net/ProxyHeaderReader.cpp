#include "ProxyHeaderReader.h"

#include "AddressKey.h"
#include "ProxyHeader.h"
#include "ServerLog.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

// Deleted later, never in its own notifier's or timer's signal.
class ProxyHeaderReader::Waiting : public QObject {
public:
    Waiting(qintptr descriptor, const QHostAddress& from, QObject* parent)
        : QObject(parent)
        , balancer(from)
        , notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
        , timer(new QTimer(this)) {}

    void retire() {
        notifier->setEnabled(false);
        timer->stop();
        deleteLater();
    }

    QHostAddress balancer;
    QByteArray bytes;
    QSocketNotifier* notifier;
    QTimer* timer;
};

ProxyHeaderReader::ProxyHeaderReader(const ServerLog& log, int timeoutMs, int maxWaiting,
                                     QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_timeoutMs(timeoutMs)
    , m_maxWaiting(maxWaiting) {
}

ProxyHeaderReader::~ProxyHeaderReader() {
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it) {
        it.value()->notifier->setEnabled(false);
        ::close(static_cast<int>(it.key()));
    }
}

void ProxyHeaderReader::start(qintptr descriptor, const QHostAddress& balancer) {
    if (waiting() >= m_maxWaiting) {
        m_log.writeFor(AddressKey::of(balancer),
                       QStringLiteral("connection from the balancer %1 closed: %2 connections "
                                      "wait for their PROXY header already")
                           .arg(balancer.toString())
                           .arg(m_maxWaiting));
        ::close(static_cast<int>(descriptor));
        return;
    }
    auto* waiting = new Waiting(descriptor, balancer, this);
    m_waiting.insert(descriptor, waiting);
    waiting->timer->setSingleShot(true);
    connect(waiting->timer, &QTimer::timeout, this, [this, descriptor] {
        drop(descriptor, QStringLiteral("no complete PROXY header after %1 ms").arg(m_timeoutMs));
    });
    waiting->timer->start(m_timeoutMs);
    connect(waiting->notifier, &QSocketNotifier::activated, this,
            [this, descriptor] { readFrom(descriptor); });
}

void ProxyHeaderReader::readFrom(qintptr descriptor) {
    Waiting* waiting = m_waiting.value(descriptor);
    if (!waiting) {
        return;
    }
    // Never more than the header: the fixed part first, then what it says follows.
    ProxyHeader header = ProxyHeader::parse(waiting->bytes);
    const qsizetype wanted = header.size - waiting->bytes.size();
    char buffer[ProxyHeader::kMaxBytes];
    const ssize_t got = ::recv(static_cast<int>(descriptor), buffer, size_t(wanted), MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (got <= 0) {
        drop(descriptor, QStringLiteral("closed before its PROXY header was complete"));
        return;
    }
    waiting->bytes.append(buffer, got);
    header = ProxyHeader::parse(waiting->bytes);
    if (header.state == ProxyHeader::State::Invalid) {
        drop(descriptor, header.problem);
        return;
    }
    if (header.state == ProxyHeader::State::Incomplete) {
        return;
    }
    const QHostAddress client = header.source.isNull() ? waiting->balancer : header.source;
    const quint16 port = header.source.isNull() ? 0 : header.sourcePort;
    m_waiting.remove(descriptor);
    waiting->retire();
    emit ready(descriptor, client, port);
}

void ProxyHeaderReader::drop(qintptr descriptor, const QString& reason) {
    Waiting* waiting = m_waiting.take(descriptor);
    if (!waiting) {
        return;
    }
    m_log.writeFor(AddressKey::of(waiting->balancer),
                   QStringLiteral("connection from the balancer %1 closed: %2")
                       .arg(waiting->balancer.toString(), reason));
    waiting->retire();
    ::close(static_cast<int>(descriptor));
}
