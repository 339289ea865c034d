#pragma once

#include "objectclient/CacheObject.h"

#include <memory>

class TcpConnection;

// An object or class handle of one server session. Dropping it closes it on the server unless
// sysClose() did so already or the session is gone.
class TcpCacheObject : public CacheObject {
public:
    TcpCacheObject(std::shared_ptr<TcpConnection> connection, qint64 handle);
    ~TcpCacheObject() override;
    TcpCacheObject(const TcpCacheObject&) = delete;
    TcpCacheObject& operator=(const TcpCacheObject&) = delete;

    CacheValue property(const QString& name) override;
    CacheValue call(const QString& method, const QList<CacheValue>& args = {}) override;
    void sysClose() override;

    qint64 handle() const { return m_handle; }

private:
    void ensureOpen() const;

    std::shared_ptr<TcpConnection> m_connection;
    qint64 m_handle;
    bool m_closed = false;
};
