#include "FakeCache.h"

namespace {

class FakeCacheObject : public CacheObject {
public:
    FakeCacheObject(FakeCacheServer& server, QString cls, QMap<QString, CacheValue> properties)
        : m_server(server)
        , m_class(std::move(cls))
        , m_properties(std::move(properties)) {
        ++m_server.liveObjects;
    }
    ~FakeCacheObject() override { --m_server.liveObjects; }

    CacheValue property(const QString& name) override {
        const QString line = "property " + m_class + '.' + name;
        m_server.record(line);
        m_server.failIfScripted(line);
        if (!m_properties.contains(name)) {
            throw CacheError(5002, "Unbekannte Eigenschaft " + name);
        }
        return m_properties.value(name);
    }

    CacheValue call(const QString& method, const QList<CacheValue>& args) override {
        QStringList texts;
        for (const CacheValue& arg : args) {
            texts.append(cacheValueToText(arg));
        }
        const QString line = "call " + m_class + '.' + method + '(' + texts.join(',') + ')';
        m_server.record(line);
        m_server.failIfScripted(line);
        if (m_server.onCall) {
            return m_server.onCall(m_class, method, args);
        }
        return args.isEmpty() ? CacheValue(QString()) : args.first();
    }

    void sysClose() override {
        m_server.record("close " + m_class);
        if (m_server.failingClose.contains(m_class)) {
            throw CacheError(5003, "SYS_Close fehlgeschlagen");
        }
    }

private:
    FakeCacheServer& m_server;
    QString m_class;
    QMap<QString, CacheValue> m_properties;
};

} // namespace

CacheFactoryCreator FakeCacheServer::creator() {
    return [this] {
        ++factoriesCreated;
        return std::make_unique<FakeCacheFactory>(*this);
    };
}

void FakeCacheServer::addObject(const QString& cls, const QString& id,
                                QMap<QString, CacheValue> properties) {
    objects.insert(cls + '|' + id, std::move(properties));
}

QStringList FakeCacheServer::callsStartingWith(const QString& prefix) const {
    QStringList result;
    for (const QString& line : calls) {
        if (line.startsWith(prefix)) {
            result.append(line);
        }
    }
    return result;
}

void FakeCacheServer::record(const QString& line) {
    calls.append(line);
}

void FakeCacheServer::failIfScripted(const QString& line) const {
    for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
        if (line.startsWith(it.key())) {
            throw it.value();
        }
    }
}

bool FakeCacheFactory::connect(const QString& connectString) {
    const QString line = "connect " + connectString;
    m_server.record(line);
    m_server.failIfScripted(line);
    m_connected = m_server.connectResult;
    return m_server.connectResult;
}

void FakeCacheFactory::disconnect() {
    m_server.record("disconnect");
    m_server.failIfScripted("disconnect");
    m_connected = false;
}

bool FakeCacheFactory::isConnected() {
    m_server.record("isConnected");
    m_server.failIfScripted("isConnected");
    return m_connected && m_server.connectedAfterConnect;
}

CacheObjectPtr FakeCacheFactory::openId(const QString& className, const QString& id) {
    const QString line = "openId " + className + ' ' + id;
    m_server.record(line);
    m_server.failIfScripted(line);
    const QString key = className + '|' + id;
    if (!m_server.objects.contains(key)) {
        throw CacheError(5001, "Objekt " + id + " der Klasse " + className + " nicht gefunden");
    }
    return std::make_shared<FakeCacheObject>(m_server, className, m_server.objects.value(key));
}

CacheObjectPtr FakeCacheFactory::classAccess(const QString& className) {
    const QString line = "classAccess " + className;
    m_server.record(line);
    m_server.failIfScripted(line);
    return std::make_shared<FakeCacheObject>(m_server, className, QMap<QString, CacheValue>{});
}

bool FakeCacheFactory::signIn(const QString& company, const QString& user,
                              const QString& password) {
    const QString line = "signIn " + company + ' ' + user;
    m_server.record(line);
    m_server.failIfScripted(line);
    if (m_server.onSignIn) {
        return m_server.onSignIn(company, user, password);
    }
    const QMap<QString, CacheValue> record =
        m_server.objects.value("LX.ParPersEdv|" + company + "||" + user);
    return !record.isEmpty() && cacheValueToText(record.value("Passwort")) == password &&
           cacheValueToText(record.value("AKTIV")) == "J";
}
