#include "objectclient/CacheError.h"
#include "objectclient/ConnectString.h"
#include "protocol/ErrorCodes.h"

#include <QtTest>

class TestConnectString : public QObject {
    Q_OBJECT
private slots:
    void validStrings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("nameSpace");
        QTest::newRow("plain") << "cn_iptcp:127.0.0.1[1972]:LORVEX"
                               << "127.0.0.1" << 1972 << "LORVEX";
        QTest::newRow("host name") << "cn_iptcp:kassa-srv.local[1973]:LORVEX"
                                   << "kassa-srv.local" << 1973 << "LORVEX";
        QTest::newRow("ipv6") << "cn_iptcp:::1[1972]:LORVEX"
                              << "::1" << 1972 << "LORVEX";
        QTest::newRow("prefix case") << "CN_IPTCP:h[1]:%SYS"
                                     << "h" << 1 << "%SYS";
        QTest::newRow("blanks round host") << "cn_iptcp: srv [65535]:USER"
                                           << "srv" << 65535 << "USER";
    }
    void validStrings() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, nameSpace);
        const ConnectTarget target = parseConnectString(text);
        QCOMPARE(target.host, host);
        QCOMPARE(int(target.port), port);
        QCOMPARE(target.nameSpace, nameSpace);
    }

    void malformedStringsThrow_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("wrong prefix") << "cn_tcp:h[1972]:LORVEX";
        QTest::newRow("no port") << "cn_iptcp:h:LORVEX";
        QTest::newRow("empty port") << "cn_iptcp:h[]:LORVEX";
        QTest::newRow("port zero") << "cn_iptcp:h[0]:LORVEX";
        QTest::newRow("port too big") << "cn_iptcp:h[65536]:LORVEX";
        QTest::newRow("port sign") << "cn_iptcp:h[+1972]:LORVEX";
        QTest::newRow("port long") << "cn_iptcp:h[0000001972]:LORVEX";
        QTest::newRow("no host") << "cn_iptcp:[1972]:LORVEX";
        QTest::newRow("blank in host") << "cn_iptcp:my host[1972]:LORVEX";
        QTest::newRow("no namespace") << "cn_iptcp:h[1972]:";
        QTest::newRow("namespace with blank") << "cn_iptcp:h[1972]:LOR VEX";
        QTest::newRow("missing colon") << "cn_iptcp:h[1972]LORVEX";
    }
    void malformedStringsThrow() {
        QFETCH(QString, text);
        try {
            parseConnectString(text);
            QFAIL("no CacheError");
        } catch (const CacheError& e) {
            QCOMPARE(e.number(),
                     protocol::errorNumber(protocol::ErrorCode::MalformedConnectString));
        }
    }
};

QTEST_APPLESS_MAIN(TestConnectString)
#include "tst_connectstring.moc"
