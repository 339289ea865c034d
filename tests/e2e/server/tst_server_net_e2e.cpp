#include "ServerEndToEnd.h"

#include "CacheErrorOf.h"
#include "PostgresCluster.h"
#include "RawPeer.h"
#include "ResidentSize.h"
#include "ServerProcess.h"

#include "objectclient/CacheError.h"
#include "objectclient/TcpCacheFactory.h"

#include "protocol/ErrorCodes.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

namespace {

// What a balancer sends first with HAProxy's send-proxy-v2: the client at client:port over TCP
// and IPv4, to 127.0.0.1:1972.
QByteArray proxyHeader(const QHostAddress& client, quint16 port = 40000) {
    QByteArray header("\r\n\r\n\0\r\nQUIT\n\x21\x11\x00\x0c", 16);
    const quint32 source = qToBigEndian(client.toIPv4Address());
    const quint32 target = qToBigEndian(QHostAddress(QHostAddress::LocalHost).toIPv4Address());
    const quint16 ports[] = {qToBigEndian(port), qToBigEndian(quint16(1972))};
    header.append(reinterpret_cast<const char*>(&source), 4);
    header.append(reinterpret_cast<const char*>(&target), 4);
    header.append(reinterpret_cast<const char*>(ports), 4);
    return header;
}

} // namespace

// lorvex-server's network bounds against real peers: unfinished frames, slow readers, TLS, a full
// server and faulty peers.
class TestServerNetEndToEnd : public ServerEndToEndTest {
    Q_OBJECT

private slots:
    void manyUnfinishedFramesStayWithinTheBudget() {
        ServerProcess server({"--budget-mib", "4"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        std::vector<std::unique_ptr<RawPeer>> peers;
        for (int i = 0; i < 16; ++i) {
            peers.push_back(std::make_unique<RawPeer>());
            QVERIFY(peers.back()->connect(server.port()));
            peers.back()->sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
            peers.back()->sendRequest(protocol::Request::signIn("1", "DEMO", "demo"));
            QVERIFY(!peers.back()->readFrame().isEmpty());
            QVERIFY(!peers.back()->readFrame().isEmpty());
        }
        const qint64 before = server.residentKiB();
        // Each most of a frame of the largest size: 17 MB in all, against a budget of 4 MiB.
        const QByteArray header("\x00\x11\x00\x00", 4);
        for (auto& peer : peers) {
            peer->send(header + QByteArray(protocol::MaxFrameBytes - 4096, 'x'));
        }
        QTest::qWait(1500);
        const qint64 grown = server.residentKiB() - before;
        if (kResidentSizeTells) {
            QVERIFY2(before > 0 && grown < 10 * 1024, qPrintable(QString::number(grown)));
        }
        QVERIFY(m_server.isRunning());
    }

    // Replies the system will not hold go out as the peer reads, whole and in order, also after
    // the session stopped serving until its peer caught up; a peer that closes its sending side
    // after its request still gets the answer.
    void aSlowReaderGetsEveryReplyWholeAndInOrder() {
        // A small receive buffer, set before connecting: the system then holds little for it.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 64 * 1024;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_server.port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        RawPeer slow;
        QVERIFY(slow.socket.setSocketDescriptor(fd));
        slow.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
        slow.sendRequest(protocol::Request::signIn("1", "DEMO", "demo"));
        QVERIFY(!slow.readFrame().isEmpty());
        QVERIFY(!slow.readFrame().isEmpty());
        // Each answered with an error that quotes the 60 KB id: 9 MB of replies in all.
        const QString id = QStringLiteral("1||") + QString(60000, u'Y');
        const int count = 150;
        for (int i = 0; i < count; ++i) {
            protocol::Request open = protocol::Request::open(QStringLiteral("LX.ParPersAbt"), id);
            open.seq = 10 + i;
            slow.socket.write(protocol::encodeFrame(protocol::encodeRequest(open).value()));
        }
        // Sent, as far as the server takes them, without reading a reply: the server then holds
        // replies that the system will not take, and stops serving until the peer reads.
        QDeadlineTimer sending(3000);
        while (slow.socket.bytesToWrite() > 0 && !sending.hasExpired()) {
            slow.socket.waitForBytesWritten(100);
        }
        QThread::msleep(1000);
        for (int i = 0; i < count; ++i) {
            const QByteArray frame = slow.readFrame();
            QVERIFY2(!frame.isEmpty(), qPrintable(QString::number(i)));
            const auto reply = protocol::decodeResponse(QByteArrayView(frame).sliced(4));
            QVERIFY(reply.ok() && reply.value().seq == 10 + i && !reply.value().ok);
        }
        RawPeer brief;
        QVERIFY(brief.connect(m_server.port()));
        brief.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
        QVERIFY(brief.socket.waitForBytesWritten(3000) || brief.socket.bytesToWrite() == 0);
        ::shutdown(static_cast<int>(brief.socket.socketDescriptor()), SHUT_WR);
        QVERIFY(!brief.readFrame().isEmpty());
        QVERIFY(brief.closedByServer());
    }

    void tlsEndToEndAndNeverClearText() {
        const QString tls = QStringLiteral(LORVEX_TLS_TEST_DATA);
        ServerProcess server({"--tls-cert", tls + "/server.pem", "--tls-key", tls + "/server.key"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        TcpCacheFactory secure({}, TcpSecurity{true, tls + "/ca.pem"});
        QVERIFY2(secure.connect(server.connectString()), qPrintable(secure.connectFailure()));
        QVERIFY(secure.signIn("1", "DEMO", "demo"));
        QCOMPARE(text(secure.openId("LX.ParPersEdv", "1||DEMO")->property("AKTIV")), "J");
        QVERIFY(server.log().contains("(TLS)"));
        // A second session meanwhile goes to the thread with fewer: its socket is handed there
        // after the handshake, with what it sent meanwhile.
        TcpCacheFactory second({}, TcpSecurity{true, tls + "/ca.pem"});
        QVERIFY2(second.connect(server.connectString()), qPrintable(second.connectFailure()));
        QVERIFY(second.signIn("1", "DEMO", "demo"));
        QCOMPARE(text(second.openId("LX.ParPersEdv", "1||DEMO")->property("AKTIV")), "J");
        QCOMPARE(text(secure.openId("LX.ParPersEdv", "1||DEMO")->property("AKTIV")), "J");
        QCOMPARE(server.log().count("sessions served on 2 threads"),
                 ServerProcess::servingThreads() == QLatin1String("2") ? 1 : 0);

        // A certificate that does not chain to what the client trusts: no connection.
        TcpCacheFactory wary({}, TcpSecurity{true, tls + "/other-ca.pem"});
        QVERIFY(!wary.connect(server.connectString()));
        QVERIFY(wary.connectFailure().startsWith("Die verschlüsselte Verbindung wurde abgelehnt"));
        // A clear-text client gets nothing from a TLS server, and a client that expects TLS
        // never talks clear text to a server without it.
        RawPeer plain;
        QVERIFY(plain.connect(server.port()));
        plain.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
        QVERIFY(plain.readFrame(2000).isEmpty());
        TcpCacheFactory expectsTls({}, TcpSecurity{true, tls + "/ca.pem"});
        QVERIFY(!expectsTls.connect(m_server.connectString()));
    }

    void aFullServerSaysSoInGerman() {
        ServerProcess server({"--max-sessions-per-address", "1"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        TcpCacheFactory first;
        QVERIFY(first.connect(server.connectString()));
        TcpCacheFactory second;
        QVERIFY(!second.connect(server.connectString()));
        QCOMPARE(second.connectFailure(),
                 "Der Server hat keinen freien Platz für diese Verbindung (Fehler 1012).");
        first.disconnect();
        QVERIFY(QTest::qWaitFor([&] { return second.connect(server.connectString()); }, 5000));
    }

    // A stop (systemctl stop, Ctrl-C) ends every session, whatever its peer is doing, says so and
    // ends with status 0.
    void aStopEndsEverySessionAndSaysSo() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        RawPeer monitor, midFrame, neverReads;
        QVERIFY(monitor.connect(server.port()));
        QVERIFY(monitor.signIn("1", "DEMO", "demo"));
        QVERIFY(midFrame.connect(server.port()));
        const protocol::Request hello = protocol::Request::hello("LORVEX", protocol::Version);
        midFrame.send(protocol::encodeFrame(protocol::encodeRequest(hello).value()).left(6));
        // Replies the server cannot send: each error quotes the 10 KB id.
        QVERIFY(neverReads.connect(server.port(), {}, 4096));
        QVERIFY(neverReads.signIn("1", "DEMO", "demo"));
        const QString id = QStringLiteral("1||") + QString(10000, u'Y');
        for (int i = 0; i < 200; ++i) {
            neverReads.sendRequest(protocol::Request::open(QStringLiteral("LX.ParPersAbt"), id));
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.log().count(QStringLiteral(" started from ")), 3, 5000);
        QVERIFY(server.stop());
        const QString log = server.log();
        QVERIFY2(log.contains("stopping: SIGTERM received; ending 3 connections\n") &&
                     log.endsWith("lorvex-server: stopped\n"),
                 qPrintable(log));
        for (RawPeer* peer : {&monitor, &midFrame, &neverReads}) {
            QVERIFY(peer->closedByServer());
        }
    }

    // Behind a listed balancer every client has its own places; the balancer's checks (LOCAL)
    // count as the balancer. A balancer that sends no header in time loses the connection.
    void clientsBehindABalancerAreCountedApart() {
        ServerProcess server({"--proxy-from", "127.0.0.5", "--proxy-from", "127.0.1.0/24",
                              "--max-sessions-per-address", "2", "--handshake-timeout-ms", "1000"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const auto through = [&](const char* balancer, const char* client, RawPeer& peer) {
            if (!peer.connect(server.port(), QHostAddress(balancer))) {
                return false;
            }
            peer.send(proxyHeader(QHostAddress(client)));
            return peer.signIn("1", "DEMO", "demo");
        };
        RawPeer a1, a2, a3, b1, c1;
        QVERIFY(through("127.0.0.5", "10.1.1.1", a1));
        QVERIFY(through("127.0.1.9", "10.1.1.1", a2));
        QVERIFY(!through("127.0.0.5", "10.1.1.1", a3)); // the client's two places are taken
        QVERIFY(through("127.0.0.5", "10.1.1.2", b1));
        const QString log = server.log();
        QVERIFY2(log.contains("from 10.1.1.2:40000") && log.contains("10.1.1.1 refused"),
                 qPrintable(log));

        RawPeer check;
        QVERIFY(check.connect(server.port(), QHostAddress("127.0.0.5")));
        check.send(QByteArray("\r\n\r\n\0\r\nQUIT\n\x20\x00\x00\x00", 16));
        QVERIFY(check.signIn("1", "DEMO", "demo"));
        RawPeer silent;
        QVERIFY(silent.connect(server.port(), QHostAddress("127.0.0.5")));
        QVERIFY(silent.closedByServer(5000));
        QVERIFY(through("127.0.0.5", "10.1.1.3", c1));
    }

    void faultyPeersLoseOnlyTheirOwnSession_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage") << QByteArray("\x00\x00\x00\x05GARBA", 9);
        QTest::newRow("oversized frame") << QByteArray("\x7f\xff\xff\xff", 4);
        QTest::newRow("zero length") << QByteArray("\x00\x00\x00\x00", 4);
        QTest::newRow("HTTP") << QByteArray("GET / HTTP/1.0\r\n\r\n");
        // Nobody's word from a peer that is no listed balancer.
        QTest::newRow("PROXY header") << proxyHeader(QHostAddress("10.9.9.9"));
    }

    void faultyPeersLoseOnlyTheirOwnSession() {
        QFETCH(QByteArray, bytes);
        CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||DEMO");
        RawPeer peer;
        QVERIFY(peer.connect(m_server.port()));
        peer.send(bytes);
        QVERIFY(peer.closedByServer());
        QCOMPARE(text(user->property("AKTIV")), "J");
        QVERIFY(m_server.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestServerNetEndToEnd)
#include "tst_server_net_e2e.moc"
