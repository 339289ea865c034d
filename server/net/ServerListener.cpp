#include "ServerListener.h"

#include "AddressKey.h"
#include "PlainSocketStream.h"
#include "PlainTcpServer.h"
#include "ProxyHeaderReader.h"
#include "ServingThread.h"
#include "SessionHost.h"
#include "Store.h"
#include "TlsHandshakes.h"

#include "protocol/MessageCodec.h"

#include <QSslSocket>
#include <QTcpServer>

#include <sys/socket.h>

ServerListener::ServerListener(Store& store, const ServerLog& log, const ServerLimits& limits,
                               const SignInThrottle::Settings& throttle, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_signIn(store, log, throttle, limits.passwordCheckThreads)
    , m_limits(limits)
    , m_frameBudget(limits.frameBudgetBytes)
    , m_replyBudget(limits.replyBudgetBytes)
    , m_frameShares(limits.frameBudgetPart())
    , m_places(limits.maxSessions, limits.maxSessionsPerAddress, limits.timeouts.signInWindowMs) {
    m_ownHost = std::make_unique<SessionHost>(
        m_store, SharedServices{m_signIn, m_log, m_frameBudget, m_replyBudget, m_frameShares},
        m_places);
    m_hosts.append(m_ownHost.get());
    startServingThreads();
    connect(&m_housekeeping, &QTimer::timeout, this, [this] {
        m_log.writeSummaries();
        m_places.prune();
    });
    m_housekeeping.start(kHousekeepingMs);
}

ServerListener::~ServerListener() {
    // The other threads' sessions end with their threads, this thread's with its host; all
    // before the services they use.
    m_threads.clear();
    m_ownHost.reset();
}

void ServerListener::startServingThreads() {
    if (m_limits.servingThreads <= 1) {
        return;
    }
    if (m_store.isSnapshot()) {
        // Each connection would read the database as it was when that connection was opened.
        m_log.write(QStringLiteral("serving on one thread: %1 is read as it was when opened")
                        .arg(m_store.display()));
        return;
    }
    const SharedServices services{m_signIn, m_log, m_frameBudget, m_replyBudget, m_frameShares};
    for (int i = 1; i < m_limits.servingThreads; ++i) {
        auto thread = std::make_unique<ServingThread>(m_store.location(), m_store.busyTimeoutMs(),
                                                      services, m_places);
        QString problem;
        SessionHost* host = thread->begin(&problem);
        if (!host) {
            m_log.write(QStringLiteral("serving on %1 threads, not %2: the database could not be "
                                       "opened for another: %3")
                            .arg(m_hosts.size())
                            .arg(m_limits.servingThreads)
                            .arg(problem));
            return;
        }
        m_threads.push_back(std::move(thread));
        m_hosts.append(host);
    }
    m_log.write(QStringLiteral("sessions served on %1 threads").arg(m_hosts.size()));
}

int ServerListener::sessionCount() const {
    int count = 0;
    for (const SessionHost* host : m_hosts) {
        count += host->sessionCount();
    }
    return count;
}

void ServerListener::setKeepReplies(bool keep) {
    for (SessionHost* host : std::as_const(m_hosts)) {
        QMetaObject::invokeMethod(host, [host, keep] { host->setKeepReplies(keep); });
    }
}

SessionHost* ServerListener::nextHost() const {
    SessionHost* fewest = m_hosts.first();
    for (SessionHost* host : m_hosts) {
        if (host->sessionCount() < fewest->sessionCount()) {
            fewest = host;
        }
    }
    return fewest;
}

bool ServerListener::listen(const ListenAddress& address) {
    // Connections are accepted as bare descriptors, with or without TLS: the handshakes are
    // ours to bound (TlsHandshakes), and plain connections are served on their descriptors, the
    // fastest path for the many small requests of a store's monitors.
    auto* server = new PlainTcpServer(this);
    if (m_tls && !m_handshakes) {
        m_handshakes = new TlsHandshakes(*m_tls, m_places, m_log, m_limits.tlsHandshakeTimeoutMs,
                                         m_limits.ipv6PrefixBits, this);
        connect(m_handshakes, &TlsHandshakes::encrypted, this, &ServerListener::startTlsSession);
    }
    if (!m_limits.proxyFrom.isEmpty() && !m_proxyHeaders) {
        m_proxyHeaders = new ProxyHeaderReader(m_log, m_limits.tlsHandshakeTimeoutMs,
                                               m_limits.maxSessions, this);
        connect(m_proxyHeaders, &ProxyHeaderReader::ready, this, &ServerListener::deliver);
    }
    connect(server, &PlainTcpServer::accepted, this, &ServerListener::accept);
    connect(server, &PlainTcpServer::outOfDescriptors, this, [this] {
        m_log.write(QStringLiteral("out of file descriptors: new connections are refused until "
                                   "sessions end"));
    });
    if (!m_tls) {
        server->setShedReply(refusalFrame(QStringLiteral("the server has no descriptor to spare")));
    }
    if (!server->listenOn(address.host, address.port)) {
        m_errorText = QStringLiteral("cannot listen on %1:%2: %3")
                          .arg(address.host.toString())
                          .arg(address.port)
                          .arg(server->errorString());
        delete server;
        return false;
    }
    m_servers.append(server);
    const QString host = server->serverAddress().protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(server->serverAddress().toString())
                             : server->serverAddress().toString();
    m_log.write(QStringLiteral("listening on %1:%2%3")
                    .arg(host)
                    .arg(server->serverPort())
                    .arg(m_tls ? QStringLiteral(" (TLS)") : QString()));
    return true;
}

QList<quint16> ServerListener::ports() const {
    QList<quint16> result;
    for (const PlainTcpServer* server : m_servers) {
        result.append(server->serverPort());
    }
    return result;
}

void ServerListener::accept(qintptr descriptor) {
    if (m_proxyHeaders) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
            const QHostAddress from(reinterpret_cast<const sockaddr*>(&peer));
            for (const auto& [network, prefix] : std::as_const(m_limits.proxyFrom)) {
                if (from.isInSubnet(network, prefix)) {
                    m_proxyHeaders->start(descriptor, from);
                    return;
                }
            }
        }
    }
    deliver(descriptor, {}, 0);
}

void ServerListener::deliver(qintptr descriptor, const QHostAddress& client, quint16 clientPort) {
    if (m_handshakes) {
        m_handshakes->start(descriptor, client, clientPort);
        return;
    }
    QHostAddress peer = client;
    if (peer.isNull()) {
        PlainSocketStream::peerOf(descriptor, &peer);
    }
    const QString key = AddressKey::of(peer, m_limits.ipv6PrefixBits);
    QString refusal;
    if (!m_places.take(key, &refusal)) {
        auto* link = new PlainSocketStream(descriptor);
        if (!client.isNull()) {
            link->setForwardedPeer(client, clientPort);
        }
        refuse(link, key, refusal);
        return;
    }
    SessionHost* host = nextHost();
    const int number = ++m_sessionsStarted;
    const PeerDeadlines timeouts = m_limits.timeouts;
    if (++m_starting >= kMaxStarting) {
        holdListeners(true);
    }
    QMetaObject::invokeMethod(host, [=, this] {
        host->startPlain(descriptor, client, clientPort, key, number, timeouts);
        if (m_starting-- == kMaxStarting) {
            QMetaObject::invokeMethod(this, [this] { holdListeners(m_starting >= kMaxStarting); });
        }
    });
}

void ServerListener::holdListeners(bool held) {
    for (PlainTcpServer* server : std::as_const(m_servers)) {
        server->setHeld(held);
    }
}

void ServerListener::startTlsSession(QSslSocket* socket, const QString& addressKey,
                                     const QHostAddress& client, quint16 clientPort) {
    SessionHost* host = nextHost();
    const int number = ++m_sessionsStarted;
    const PeerDeadlines timeouts = m_limits.timeouts;
    if (host->thread() == thread()) {
        host->startTls(socket, client, clientPort, addressKey, number, timeouts);
        return;
    }
    // Called from within the socket's own signal: it is moved once that has returned, and
    // whatever arrives meanwhile waits in its buffer for the session.
    QMetaObject::invokeMethod(
        this,
        [=] {
            socket->moveToThread(host->thread());
            QMetaObject::invokeMethod(host, [=] {
                host->startTls(socket, client, clientPort, addressKey, number, timeouts);
            });
        },
        Qt::QueuedConnection);
}

void ServerListener::refuse(PeerStream* link, const QString& addressKey, const QString& reason) {
    m_log.writeFor(addressKey, QStringLiteral("connection from %1 refused: %2")
                                   .arg(link->peerAddress().toString(), reason));
    link->setParent(this);
    connect(link, &PeerStream::disconnected, link, &QObject::deleteLater);
    // A peer that does not take the reply is not waited for long.
    QTimer::singleShot(1000, link, [link] { link->abort(); });
    link->write(refusalFrame(reason));
    link->disconnectFromHost();
}

QByteArray ServerListener::refusalFrame(const QString& reason) {
    const protocol::ErrorCode full = protocol::ErrorCode::ServerFull;
    const QString text = QStringLiteral("no free place on this server: %1").arg(reason);
    return protocol::encodeResponseFrame(
               protocol::Response::failure(0, protocol::errorNumber(full), text))
        .value();
}
