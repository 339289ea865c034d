#include "ServerListener.h"

#include "ClientSession.h"
#include "PlainSocketLink.h"
#include "PlainTcpServer.h"
#include "QtSocketLink.h"

#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTimer>

ServerListener::ServerListener(Store& store, const ServerLog& log, const ServerLimits& limits,
                               const SignInThrottle::Settings& throttle, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_keptReplies(store)
    , m_catalogue(&m_keptReplies)
    , m_signIn(store, log, throttle)
    , m_limits(limits)
    , m_frameBudget(limits.frameBudgetBytes)
    , m_replyBudget(limits.replyBudgetBytes) {
    m_store.setRequestArrivals(m_arrivals.arrivals());
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
    QTcpServer* server = nullptr;
    if (m_tls) {
        auto* tlsServer = new QSslServer(this);
        tlsServer->setSslConfiguration(*m_tls);
        tlsServer->setHandshakeTimeout(kTlsHandshakeTimeoutMs);
        connect(tlsServer, &QSslServer::pendingConnectionAvailable, this, [this, tlsServer] {
            while (QTcpSocket* socket = tlsServer->nextPendingConnection()) {
                admit(new QtSocketLink(socket, &m_arrivals));
            }
        });
        connect(tlsServer, &QSslServer::handshakeInterruptedOnError, this,
                [this](QSslSocket* socket, const QSslError& error) {
                    m_log.write(QStringLiteral("TLS handshake with %1 failed: %2")
                                    .arg(socket->peerAddress().toString(), error.errorString()));
                });
        server = tlsServer;
    } else {
        // Plain connections are served on their descriptors: the fastest path for the many
        // small requests of a store's monitors.
        auto* plainServer = new PlainTcpServer(this);
        connect(plainServer, &PlainTcpServer::accepted, this, [this](qintptr descriptor) {
            admit(new PlainSocketLink(descriptor, &m_arrivals));
        });
        server = plainServer;
    }
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

void ServerListener::admit(SessionLink* link) {
    const QString address = link->peerAddress().toString();
    if (m_sessions.size() >= m_limits.maxSessions) {
        refuse(link, QStringLiteral("%1 sessions are open").arg(m_limits.maxSessions));
        return;
    }
    if (m_sessionsPerAddress.value(address) >= m_limits.maxSessionsPerAddress) {
        refuse(link, QStringLiteral("%1 sessions from %2 are open")
                         .arg(m_limits.maxSessionsPerAddress)
                         .arg(address));
        return;
    }
    auto* session = new ClientSession(
        link, ++m_sessionsStarted, RequestHandler(m_store, m_catalogue, m_interpreter),
        SessionServices{m_signIn, m_log, m_frameBudget, m_replyBudget}, m_limits.timeouts, this);
    m_sessions.append(session);
    ++m_sessionsPerAddress[address];
    connect(session, &ClientSession::finished, this, [this](ClientSession* finished) {
        m_sessions.removeOne(finished);
        const QString peer = finished->peerAddress();
        if (--m_sessionsPerAddress[peer] <= 0) {
            m_sessionsPerAddress.remove(peer);
        }
        finished->deleteLater();
    });
    session->start();
}

void ServerListener::refuse(SessionLink* link, const QString& reason) {
    m_log.write(QStringLiteral("connection from %1 refused: %2")
                    .arg(link->peerAddress().toString(), reason));
    link->setParent(this);
    connect(link, &SessionLink::disconnected, link, &QObject::deleteLater);
    // A peer that does not take the reply is not waited for long.
    QTimer::singleShot(1000, link, [link] { link->abort(); });
    const protocol::ErrorCode full = protocol::ErrorCode::ServerFull;
    const QString text = QStringLiteral("no free place on this server: %1").arg(reason);
    link->write(protocol::encodeFrame(
        protocol::encodeResponse(protocol::Response::failure(0, protocol::errorNumber(full), text))
            .value()));
    link->disconnectFromHost();
}
