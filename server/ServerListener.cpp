#include "ServerListener.h"

#include "ClientSession.h"

#include <QTcpServer>
#include <QTcpSocket>

ServerListener::ServerListener(Store& store, const ServerLog& log, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_keptReplies(store)
    , m_catalogue(&m_keptReplies) {
}

ServerListener::~ServerListener() {
    // Sessions go first: they refer to the catalogue and the interpreter.
    for (ClientSession* session : std::as_const(m_sessions)) {
        session->disconnect(this);
        delete session;
    }
}

bool ServerListener::listen(const ListenAddress& address) {
    auto* server = new QTcpServer(this);
    if (!server->listen(address.host, address.port)) {
        m_errorText = QStringLiteral("cannot listen on %1:%2: %3")
                          .arg(address.host.toString())
                          .arg(address.port)
                          .arg(server->errorString());
        delete server;
        return false;
    }
    connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
    m_servers.append(server);
    const QString host = server->serverAddress().protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(server->serverAddress().toString())
                             : server->serverAddress().toString();
    m_log.write(QStringLiteral("listening on %1:%2").arg(host).arg(server->serverPort()));
    return true;
}

QList<quint16> ServerListener::ports() const {
    QList<quint16> result;
    for (const QTcpServer* server : m_servers) {
        result.append(server->serverPort());
    }
    return result;
}

void ServerListener::accept(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (m_sessions.size() >= kMaxSessions) {
            m_log.write(QStringLiteral("connection from %1 refused: %2 sessions are open")
                            .arg(socket->peerAddress().toString())
                            .arg(kMaxSessions));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* session = new ClientSession(socket, ++m_sessionsStarted,
                                          RequestHandler(m_store, m_catalogue, m_interpreter),
                                          m_log, m_timeouts, this);
        m_sessions.append(session);
        connect(session, &ClientSession::finished, this, [this](ClientSession* finished) {
            m_sessions.removeOne(finished);
            finished->deleteLater();
        });
        session->start();
    }
}
