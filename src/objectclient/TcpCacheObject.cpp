#include "objectclient/TcpCacheObject.h"

#include "objectclient/CacheError.h"
#include "objectclient/TcpConnection.h"
#include "protocol/ErrorCodes.h"

TcpCacheObject::TcpCacheObject(std::shared_ptr<TcpConnection> connection, qint64 handle)
    : m_connection(std::move(connection))
    , m_handle(handle) {
}

TcpCacheObject::~TcpCacheObject() {
    if (m_closed || !m_connection->isUp()) {
        return;
    }
    try {
        m_connection->roundTrip(protocol::Request::close(m_handle));
    } catch (const CacheError&) {
        // A destructor cannot report; a broken session forgets its objects anyway.
    }
}

CacheValue TcpCacheObject::property(const QString& name) {
    ensureOpen();
    return m_connection->roundTrip(protocol::Request::get(m_handle, name)).value;
}

CacheValue TcpCacheObject::call(const QString& method, const QList<CacheValue>& args) {
    ensureOpen();
    return m_connection->roundTrip(protocol::Request::call(m_handle, method, args)).value;
}

void TcpCacheObject::sysClose() {
    if (m_closed) {
        return;
    }
    // Marked first: whatever the outcome, the destructor must not close it a second time.
    m_closed = true;
    m_connection->roundTrip(protocol::Request::close(m_handle));
}

void TcpCacheObject::ensureOpen() const {
    if (m_closed) {
        throw CacheError(protocol::errorNumber(protocol::ErrorCode::ObjectClosed),
                         QStringLiteral("Objekt ist bereits geschlossen"));
    }
}
