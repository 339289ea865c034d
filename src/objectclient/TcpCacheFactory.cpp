#include "objectclient/TcpCacheFactory.h"

#include "objectclient/CacheError.h"
#include "objectclient/ConnectString.h"
#include "objectclient/ResumeTokenKeeper.h"
#include "objectclient/TcpCacheObject.h"
#include "objectclient/TcpConnection.h"
#include "protocol/ErrorCodes.h"

using protocol::ErrorCode;

TcpCacheFactory::TcpCacheFactory(const TcpTimeouts& timeouts, const TcpSecurity& security)
    : m_timeouts(timeouts)
    , m_security(security) {
}

TcpCacheFactory::~TcpCacheFactory() {
    disconnect();
}

bool TcpCacheFactory::connect(const QString& connectString) {
    const ConnectTarget target = parseConnectString(connectString);
    disconnect();
    // Held here too: window events run during the wait and may drop this factory.
    const std::shared_ptr<TcpConnection> session =
        std::make_shared<TcpConnection>(m_timeouts, m_security);
    m_connection = session;
    m_connectString = connectString;
    return session->open(target);
}

void TcpCacheFactory::disconnect() {
    if (const std::shared_ptr<TcpConnection> session = m_connection) {
        session->close();
    }
}

bool TcpCacheFactory::isConnected() {
    return m_connection && m_connection->isUp();
}

// Both work on a copy of the connection and never touch the factory after the wait: window
// events run meanwhile and may replace or drop the factory.
CacheObjectPtr TcpCacheFactory::openId(const QString& className, const QString& id) {
    const std::shared_ptr<TcpConnection> session = connection();
    return objectFor(session, session->roundTrip(protocol::Request::open(className, id)).handle);
}

CacheObjectPtr TcpCacheFactory::classAccess(const QString& className) {
    const std::shared_ptr<TcpConnection> session = connection();
    return objectFor(session, session->roundTrip(protocol::Request::classAccess(className)).handle);
}

QString TcpCacheFactory::connectFailure() const {
    return m_connection ? m_connection->lastFailure() : QString();
}

bool TcpCacheFactory::signIn(const QString& company, const QString& user, const QString& password) {
    // A copy of the connection, as above: the factory may be gone after the wait.
    const std::shared_ptr<TcpConnection> session = connection();
    const QString server = m_connectString;
    // The server tries a token of an earlier sign-in first: no password hash to pay for.
    ResumeTokenKeeper& tokens = ResumeTokenKeeper::instance();
    const protocol::Response reply = session->roundTrip(protocol::Request::signIn(
        company, user, password, tokens.tokenFor(server, company, user, password)));
    if (reply.value.typeId() != QMetaType::Bool) {
        session->close();
        throw CacheError(protocol::errorNumber(ErrorCode::BadReply),
                         QStringLiteral("Ungültige Antwort vom Server (Anmeldung)"));
    }
    const bool accepted = reply.value.toBool();
    tokens.answered(server, company, user, password, accepted ? reply.resume : QString());
    return accepted;
}

CacheObjectPtr TcpCacheFactory::objectFor(const std::shared_ptr<TcpConnection>& session,
                                          qint64 handle) {
    if (handle <= 0) {
        // Without a handle there is nothing to close; the session cannot be trusted further.
        session->close();
        throw CacheError(protocol::errorNumber(ErrorCode::BadReply),
                         QStringLiteral("Ungültige Antwort vom Server (kein Objekt)"));
    }
    return std::make_shared<TcpCacheObject>(session, handle);
}

std::shared_ptr<TcpConnection> TcpCacheFactory::connection() const {
    if (!m_connection) {
        throw CacheError(protocol::errorNumber(ErrorCode::NotConnected),
                         QStringLiteral("Keine Verbindung zum Server"));
    }
    return m_connection;
}

CacheFactoryCreator tcpCacheFactoryCreator(const TcpTimeouts& timeouts,
                                           const TcpSecurity& security) {
    return [timeouts, security]() -> std::unique_ptr<CacheFactory> {
        return std::make_unique<TcpCacheFactory>(timeouts, security);
    };
}
