#pragma once

#include "objectclient/CacheObject.h"

#include <QString>

#include <functional>
#include <memory>

// The connectivity component: one connection to the object server.
// connect() returns false when the server cannot be reached, refuses, does not answer the
// handshake in time or has no such namespace; a malformed connection string throws CacheError.
// The other calls throw CacheError on failure (a timeout or a broken connection included).
class CacheFactory {
public:
    virtual ~CacheFactory() = default;

    virtual bool connect(const QString& connectString) = 0;
    virtual void disconnect() = 0;
    virtual bool isConnected() = 0;
    virtual CacheObjectPtr openId(const QString& className, const QString& id) = 0;
    virtual CacheObjectPtr classAccess(const QString& className) = 0;
    // Signs the connection's session in: true when the server accepts company, user code and
    // password, false when it does not (one answer for an unknown user, a wrong password and an
    // inactive user). Before it, the server answers nothing but this.
    virtual bool signIn(const QString& company, const QString& user, const QString& password) = 0;
    // Why the last connect() returned false, when the server said so (for example that it has
    // no free place); empty when it simply could not be reached.
    virtual QString connectFailure() const { return {}; }
};

// Makes a new factory object; a connection attempt always starts with a fresh one.
using CacheFactoryCreator = std::function<std::unique_ptr<CacheFactory>()>;
