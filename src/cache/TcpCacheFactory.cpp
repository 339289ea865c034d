#include "cache/TcpCacheFactory.h"

#include "cache/CacheError.h"
#include "cache/ConnectString.h"
#include "cache/TcpCacheObject.h"
#include "cache/TcpConnection.h"
#include "protocol/ErrorCodes.h"

using protocol::ErrorCode;

TcpCacheFactory::TcpCacheFactory(const TcpTimeouts& timeouts)
    : m_timeouts(timeouts) {
}

TcpCacheFactory::~TcpCacheFactory() {
    disconnect();
}

bool TcpCacheFactory::connect(const QString& connectString) {
    const ConnectTarget target = parseConnectString(connectString);
    disconnect();
    m_connection = std::make_shared<TcpConnection>(m_timeouts);
    return m_connection->open(target);
}

void TcpCacheFactory::disconnect() {
    if (m_connection) {
        m_connection->close();
    }
}

bool TcpCacheFactory::isConnected() {
    return m_connection && m_connection->isUp();
}

CacheObjectPtr TcpCacheFactory::openId(const QString& className, const QString& id) {
    return objectFor(connection().roundTrip(protocol::Request::open(className, id)).handle);
}

CacheObjectPtr TcpCacheFactory::classAccess(const QString& className) {
    return objectFor(connection().roundTrip(protocol::Request::classAccess(className)).handle);
}

QString TcpCacheFactory::connectFailure() const {
    return m_connection ? m_connection->lastFailure() : QString();
}

bool TcpCacheFactory::signIn(const QString& company, const QString& user, const QString& password) {
    const protocol::Response reply =
        connection().roundTrip(protocol::Request::signIn(company, user, password));
    if (reply.value.typeId() != QMetaType::Bool) {
        m_connection->close();
        throw CacheError(protocol::errorNumber(ErrorCode::BadReply),
                         QStringLiteral("Ungültige Antwort vom Server (Anmeldung)"));
    }
    return reply.value.toBool();
}

CacheObjectPtr TcpCacheFactory::objectFor(qint64 handle) {
    if (handle <= 0) {
        // Without a handle there is nothing to close; the session cannot be trusted further.
        m_connection->close();
        throw CacheError(protocol::errorNumber(ErrorCode::BadReply),
                         QStringLiteral("Ungültige Antwort vom Server (kein Objekt)"));
    }
    return std::make_shared<TcpCacheObject>(m_connection, handle);
}

TcpConnection& TcpCacheFactory::connection() {
    if (!m_connection) {
        throw CacheError(protocol::errorNumber(ErrorCode::NotConnected),
                         QStringLiteral("Keine Verbindung zum Server"));
    }
    return *m_connection;
}

CacheFactoryCreator tcpCacheFactoryCreator(const TcpTimeouts& timeouts) {
    return [timeouts]() -> std::unique_ptr<CacheFactory> {
        return std::make_unique<TcpCacheFactory>(timeouts);
    };
}
