#include "ServerListener.h"

#include "AddressKey.h"
#include "ClientSession.h"
#include "PlainSocketStream.h"
#include "PlainTcpServer.h"
#include "ProxyHeaderReader.h"
#include "QtSocketStream.h"
#include "TlsHandshakes.h"

#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QSslSocket>
#include <QTcpServer>

#include <sys/socket.h>

ServerListener::ServerListener(Store& store, const ServerLog& log, const ServerLimits& limits,
                               const SignInThrottle::Settings& throttle, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_keptReplies(store)
    , m_catalogue(&m_keptReplies)
    , m_signIn(store, log, throttle, limits.passwordCheckThreads)
    , m_limits(limits)
    , m_frameBudget(limits.frameBudgetBytes)
    , m_replyBudget(limits.replyBudgetBytes)
    , m_frameShares(limits.frameBudgetPart())
    , m_places(limits.maxSessions, limits.maxSessionsPerAddress, limits.timeouts.signInWindowMs) {
    m_store.setRequestArrivals(&m_arrivals);
    connect(&m_housekeeping, &QTimer::timeout, this, [this] {
        m_log.writeSummaries();
        m_places.prune();
    });
    m_housekeeping.start(kHousekeepingMs);
}

ServerListener::~ServerListener() {
    m_store.setRequestArrivals(nullptr);
    // Sessions go first: they refer to the catalogue and the interpreter.
    for (ClientSession* session : std::as_const(m_sessions)) {
        session->disconnect(this);
        delete session;
    }
}

bool ServerListener::listen(const ListenAddress& address) {
    // Connections are accepted as bare descriptors, with or without TLS: the handshakes are
    // ours to bound (TlsHandshakes), and plain connections are served on their descriptors, the
    // fastest path for the many small requests of a store's monitors.
    auto* server = new PlainTcpServer(this);
    if (m_tls && !m_handshakes) {
        m_handshakes = new TlsHandshakes(*m_tls, m_places, m_log, m_limits.tlsHandshakeTimeoutMs,
                                         m_limits.ipv6PrefixBits, this);
        connect(m_handshakes, &TlsHandshakes::encrypted, this,
                [this](QSslSocket* socket, const QString& addressKey, const QHostAddress& client,
                       quint16 clientPort) {
                    auto* link = new QtSocketStream(socket, &m_arrivals);
                    link->setForwardedPeer(client, clientPort);
                    startSession(link, addressKey);
                });
    }
    if (!m_limits.proxyFrom.isEmpty() && !m_proxyHeaders) {
        m_proxyHeaders = new ProxyHeaderReader(m_log, m_limits.tlsHandshakeTimeoutMs,
                                               m_limits.maxSessions, this);
        connect(m_proxyHeaders, &ProxyHeaderReader::ready, this, &ServerListener::deliver);
    }
    connect(server, &PlainTcpServer::accepted, this, &ServerListener::accept);
    if (!server->listen(address.host, address.port)) {
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
    for (const QTcpServer* server : m_servers) {
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
    auto* link = new PlainSocketStream(descriptor, &m_arrivals);
    if (!client.isNull()) {
        link->setForwardedPeer(client, clientPort);
    }
    admit(link);
}

void ServerListener::admit(PeerStream* link) {
    const QString key = AddressKey::of(link->peerAddress(), m_limits.ipv6PrefixBits);
    QString refusal;
    if (!m_places.take(key, &refusal)) {
        refuse(link, key, refusal);
        return;
    }
    startSession(link, key);
}

void ServerListener::startSession(PeerStream* link, const QString& addressKey) {
    auto* session = new ClientSession(
        link, ++m_sessionsStarted, addressKey, RequestHandler(m_store, m_catalogue, m_interpreter),
        SharedServices{m_signIn, m_log, m_frameBudget, m_replyBudget, m_frameShares},
        m_limits.timeouts, this);
    m_sessions.append(session);
    connect(session, &ClientSession::signInFailed, this,
            [this](ClientSession* failed) { m_places.penalize(failed->peerAddress()); });
    connect(session, &ClientSession::finished, this, [this](ClientSession* finished) {
        m_sessions.removeOne(finished);
        m_places.release(finished->peerAddress());
        finished->deleteLater();
    });
    session->start();
}

void ServerListener::refuse(PeerStream* link, const QString& addressKey, const QString& reason) {
    m_log.writeFor(addressKey, QStringLiteral("connection from %1 refused: %2")
                                   .arg(link->peerAddress().toString(), reason));
    link->setParent(this);
    connect(link, &PeerStream::disconnected, link, &QObject::deleteLater);
    // A peer that does not take the reply is not waited for long.
    QTimer::singleShot(1000, link, [link] { link->abort(); });
    const protocol::ErrorCode full = protocol::ErrorCode::ServerFull;
    const QString text = QStringLiteral("no free place on this server: %1").arg(reason);
    link->write(protocol::encodeFrame(
        protocol::encodeResponse(protocol::Response::failure(0, protocol::errorNumber(full), text))
            .value()));
    link->disconnectFromHost();
}
