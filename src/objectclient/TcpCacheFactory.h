#pragma once

#include "objectclient/CacheFactory.h"
#include "objectclient/TcpSecurity.h"
#include "objectclient/TcpTimeouts.h"

#include <memory>

class TcpConnection;

// The connectivity component over TCP. Each connect() starts a new session; objects of an
// earlier session stay safe to use (their calls fail) and to drop.
class TcpCacheFactory : public CacheFactory {
public:
    explicit TcpCacheFactory(const TcpTimeouts& timeouts = {}, const TcpSecurity& security = {});
    ~TcpCacheFactory() override;
    TcpCacheFactory(const TcpCacheFactory&) = delete;
    TcpCacheFactory& operator=(const TcpCacheFactory&) = delete;

    bool connect(const QString& connectString) override;
    void disconnect() override;
    bool isConnected() override;
    CacheObjectPtr openId(const QString& className, const QString& id) override;
    CacheObjectPtr classAccess(const QString& className) override;
    bool signIn(const QString& company, const QString& user, const QString& password) override;
    QString connectFailure() const override;

    const TcpTimeouts& timeouts() const { return m_timeouts; }
    // Applies to the next connect().
    void setTimeouts(const TcpTimeouts& timeouts) { m_timeouts = timeouts; }

private:
    static CacheObjectPtr objectFor(const std::shared_ptr<TcpConnection>& session, qint64 handle);
    std::shared_ptr<TcpConnection> connection() const;

    TcpTimeouts m_timeouts;
    TcpSecurity m_security;
    std::shared_ptr<TcpConnection> m_connection;
    QString m_connectString; // of the last connect(): where resume tokens are kept
};

// Makes TCP factories with these timeouts; the program's production creator.
CacheFactoryCreator tcpCacheFactoryCreator(const TcpTimeouts& timeouts = {},
                                           const TcpSecurity& security = {});
