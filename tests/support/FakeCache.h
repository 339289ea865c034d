#pragma once

#include "objectclient/CacheError.h"
#include "objectclient/CacheFactory.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <optional>

// A scriptable object server behind fake factories. Every operation is written to calls as one
// line, for example "connect cn_iptcp:h[1972]:LORVEX", "openId LX.ParPersEdv 1||ABC",
// "classAccess LX.Windows", "call LX.Windows.Xecute(S FIRMA=1)", "property LX.ParPersEdv.AKTIV",
// "close LX.Windows", "isConnected", "disconnect", "signIn 1 ABC" (never the password).
class FakeCacheServer {
public:
    // What connect() and the following isConnected() answer.
    bool connectResult = true;
    bool connectedAfterConnect = true;
    // Objects by "class|id": their properties. openId of an id not here fails with error 5001.
    QMap<QString, QMap<QString, CacheValue>> objects;
    // Class methods and methods: (class, method, args) -> result. Unset: the first argument
    // (conversion methods) or an empty text.
    std::function<CacheValue(const QString& cls, const QString& method,
                             const QList<CacheValue>& args)>
        onCall;
    // The sign-in's answer. Unset: the stored personnel record "LX.ParPersEdv|FIRMA||USER" with
    // its "Passwort" equal to the password and "AKTIV" equal to "J".
    std::function<bool(const QString& company, const QString& user, const QString& password)>
        onSignIn;
    // An operation line prefix ("openId LX.ParPersAbt", "call LX.Windows.Xecute") that throws.
    QMap<QString, CacheError> failures;
    // sysClose throws for these classes.
    QStringList failingClose;

    QStringList calls;
    int factoriesCreated = 0;
    int liveObjects = 0;

    CacheFactoryCreator creator();
    void addObject(const QString& cls, const QString& id, QMap<QString, CacheValue> properties);
    // Lines of calls that start with prefix.
    QStringList callsStartingWith(const QString& prefix) const;

    // Used by the fakes.
    void record(const QString& line);
    void failIfScripted(const QString& line) const;
};

class FakeCacheFactory : public CacheFactory {
public:
    explicit FakeCacheFactory(FakeCacheServer& server)
        : m_server(server) {}

    bool connect(const QString& connectString) override;
    void disconnect() override;
    bool isConnected() override;
    CacheObjectPtr openId(const QString& className, const QString& id) override;
    CacheObjectPtr classAccess(const QString& className) override;
    bool signIn(const QString& company, const QString& user, const QString& password) override;

private:
    FakeCacheServer& m_server;
    bool m_connected = false;
};
