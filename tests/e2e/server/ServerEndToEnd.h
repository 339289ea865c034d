#pragma once

// What the end-to-end programs of lorvex-server share.

#include "ServerProcess.h"

#include "objectclient/CacheError.h"
#include "objectclient/CacheObject.h"
#include "objectclient/TcpCacheFactory.h"

#include "protocol/ErrorCodes.h"

#include <QString>
#include <QtTest>

#include <functional>

constexpr int number(protocol::ErrorCode code) {
    return protocol::errorNumber(code);
}

inline QString text(const CacheValue& value) {
    return cacheValueToText(value);
}

// A call that may meet a database connection broken a moment ago: the server answers with one
// of the store errors a client knows and reconnects, so a retry shortly after must succeed.
inline QString afterStoreErrors(const std::function<QString()>& call) {
    for (int attempt = 1;; ++attempt) {
        try {
            return call();
        } catch (const CacheError& error) {
            const bool storeError = error.number() == number(protocol::ErrorCode::StoreFailure) ||
                                    error.number() == number(protocol::ErrorCode::StoreBusy);
            if (!storeError || attempt == 3) {
                throw;
            }
            QTest::qWait(500);
        }
    }
}

// The frame of every end-to-end program of the server: one server with the demo data for the
// program, and a connection signed in as DEMO for each test.
class ServerEndToEndTest : public QObject {
    Q_OBJECT

protected:
    ServerProcess m_server;
    TcpCacheFactory m_factory;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }
    void init() {
        QVERIFY(m_factory.connect(m_server.connectString()));
        QVERIFY(m_factory.signIn("1", "DEMO", "demo"));
    }
    void cleanup() { m_factory.disconnect(); }
};
