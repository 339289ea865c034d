#include "ServerProcess.h"

#include "cache/CacheError.h"
#include "cache/TcpCacheFactory.h"

#include "protocol/ErrorCodes.h"
#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <functional>

namespace {

int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const CacheError& error) {
        return error.number();
    }
    return 0;
}

constexpr int number(protocol::ErrorCode code) {
    return protocol::errorNumber(code);
}

// The server's own error for a variable read before it was set (FIRMA before "S FIRMA=").
constexpr int kUndefinedVariable = 5050;

QString text(const CacheValue& value) {
    return cacheValueToText(value);
}

// A raw connection for the faults a real client never makes.
struct RawPeer {
    QTcpSocket socket;

    bool connect(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    void sendRequest(const protocol::Request& request) {
        send(protocol::encodeFrame(protocol::encodeRequest(request).value()));
    }
    // True when the server closes the connection within the time.
    bool closedByServer(int timeoutMs = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
            socket.waitForReadyRead(100);
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }
    // One whole frame, header included; empty when none arrives within the time.
    QByteArray readFrame(int timeoutMs = 5000) {
        QElapsedTimer timer;
        timer.start();
        QByteArray frame;
        qsizetype needed = 4;
        while (frame.size() < needed && timer.elapsed() < timeoutMs) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100)) {
                continue;
            }
            frame += socket.read(needed - frame.size());
            if (frame.size() == 4 && needed == 4) {
                needed = 4 + qFromBigEndian<quint32>(frame.constData());
            }
        }
        return frame.size() == needed ? frame : QByteArray();
    }
};

// The frames of the byte-by-byte session in docs/protocol.md, in order: (client?, bytes).
QList<QPair<bool, QByteArray>> documentedFrames() {
    QFile file(QStringLiteral(LORVEX_PROTOCOL_DOC));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString doc = QString::fromUtf8(file.readAll());
    const qsizetype start = doc.indexOf(QStringLiteral("## 10."));
    const QString section = doc.mid(start, doc.indexOf(QStringLiteral("## 11."), start) - start);
    static const QRegularExpression byteRow(QStringLiteral("^\\s+([0-9a-f]{2}( [0-9a-f]{2})*)$"));
    QList<QPair<bool, QByteArray>> frames;
    for (const QString& line : section.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("C: ")) || line.startsWith(QLatin1String("S: "))) {
            frames.append(qMakePair(line.startsWith(QLatin1Char('C')), QByteArray()));
        } else if (const auto match = byteRow.match(line); match.hasMatch() && !frames.isEmpty()) {
            frames.last().second += QByteArray::fromHex(match.captured(1).toLatin1());
        }
    }
    return frames;
}

} // namespace

// lorvex-server as the client library meets it, over real TCP with the demo data.
class TestServerEndToEnd : public QObject {
    Q_OBJECT

    ServerProcess m_server;
    TcpCacheFactory m_factory;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }

    void init() { QVERIFY(m_factory.connect(m_server.connectString())); }
    void cleanup() { m_factory.disconnect(); }

    void signInReadsOverTheWire() {
        CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||DEMO");
        QCOMPARE(text(user->property("Passwort")), "demo");
        QCOMPARE(text(user->property("AKTIV")), "J");
        QCOMPARE(text(user->property("BERGRP")), "9");
        QCOMPARE(text(user->call("PNAMELogicalToODBC", {user->property("PNAME")})), "Dora Muster");
        CacheObjectPtr department =
            m_factory.openId("LX.ParPersAbt", "1||" + text(user->property("AbtNr")));
        QCOMPARE(text(department->call("ABTBEZlogicaltoodbc", {department->property("abtbez")})),
                 "Verwaltung, EDV");
        CacheObjectPtr base = m_factory.openId("LX.PersBasis", "1||" + text(user->property("PNR")));
        QCOMPARE(text(base->call("EMailLogicalToODBC", {base->property("EMAIL")})),
                 "Dora.Muster@lorvex.example");
        base->sysClose();
        department->sysClose();
        user->sysClose();
        QVERIFY(errorOf([&] { user->property("AKTIV"); }) != 0); // closed is closed
        QVERIFY(m_factory.isConnected());
    }

    void unknownNamesGiveNumberedErrors() {
        QCOMPARE(errorOf([&] { m_factory.openId("LX.ParPersEdv", "1||NIEMAND"); }),
                 number(protocol::ErrorCode::NoSuchObject));
        QCOMPARE(errorOf([&] { m_factory.classAccess("LX.Unbekannt"); }),
                 number(protocol::ErrorCode::NoSuchClass));
        CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||DEMO");
        QCOMPARE(errorOf([&] { user->property("GEHALT"); }),
                 number(protocol::ErrorCode::NoSuchProperty));
        QCOMPARE(errorOf([&] { user->call("Loeschen", {}); }),
                 number(protocol::ErrorCode::NoSuchMethod));
        QCOMPARE(
            errorOf([&] { m_factory.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1 K"}); }),
            number(protocol::ErrorCode::CommandSyntax));
        QCOMPARE(text(user->property("AKTIV")), "J"); // the session goes on after each
    }

    void xecuteChoosesTheBranchOfTheTelemetry() {
        CacheObjectPtr windows = m_factory.classAccess("LX.Windows");
        windows->call("Xecute", {"S FIRMA=1,FIL=0,PERSONAL=\"DEMO\""});
        windows->call("Xecute", {"D ^%XTT"});
        CacheObjectPtr kassa = m_factory.classAccess("Telemetrie.Kassa");
        CacheObjectPtr clocks = m_factory.classAccess("Telemetrie.Zeiterfassung");
        QVERIFY(text(kassa->call("NichtVerbuchtStatus")).startsWith("3|2|815|817|5|1|020|020|"));
        QCOMPARE(text(clocks->call("Zaehlerstand")).split('|').size(), 20);
        QVERIFY(text(clocks->call("Zaehlerstand")).contains("|3|7300|7297|"));

        windows->call("Xecute", {"S FIRMA=1,FIL=1,PERSONAL=\"DEMO\""});
        QVERIFY(text(kassa->call("NichtVerbuchtStatus")).startsWith("1|5|300|304|"));
        QVERIFY(text(clocks->call("Zaehlerstand")).startsWith("11|"));

        // A new connection is a new server process: nothing set yet.
        m_factory.disconnect();
        QVERIFY(m_factory.connect(m_server.connectString()));
        QCOMPARE(errorOf([&] {
                     m_factory.classAccess("Telemetrie.Kassa")->call("NichtVerbuchtStatus");
                 }),
                 kUndefinedVariable);
    }

    void droppedObjectsAreClosedOnTheServer() {
        // More objects than a session may hold open at once: only works when each is closed.
        for (int i = 0; i < 1100; ++i) {
            CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||DEMO");
            if (i % 2 == 0) {
                user->sysClose();
            }
        }
        QVERIFY(m_factory.isConnected());
    }

    void adminChangesAreServedAtOnce() {
        QCOMPARE(m_server.runAdmin({"set-clock", "--firma", "1", "--branch", "0", "--slot", "4",
                                    "--number", "4", "--e-ist", "700", "--e-soll", "698", "--s-ist",
                                    "1", "--s-soll", "1"}),
                 0);
        QCOMPARE(m_server.runAdmin({"set-user", "--firma", "1", "--code", "GEHEIM",
                                    "--password-stdin", "--name", "Geheim,Gustav"},
                                   "Kennwort-4711\n"),
                 0);
        CacheObjectPtr windows = m_factory.classAccess("LX.Windows");
        windows->call("Xecute", {"S FIRMA=1,FIL=0"});
        QVERIFY(text(m_factory.classAccess("Telemetrie.Zeiterfassung")->call("Zaehlerstand"))
                    .endsWith("|4|700|698|1|1"));
        CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||GEHEIM");
        QCOMPARE(text(user->property("Passwort")), "Kennwort-4711");
        errorOf([&] { user->call("PNAMELogicalToODBC", {"Kennwort-4711", "Kennwort-4711"}); });
        QVERIFY(!m_server.log().contains("Kennwort-4711")); // never a password in the log
    }

    void anotherNamespaceIsRefused() {
        TcpCacheFactory other;
        QVERIFY(!other.connect(m_server.connectString("USER")));
        QVERIFY(!other.isConnected());
    }

    void faultyPeersLoseOnlyTheirOwnSession_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage") << QByteArray("\x00\x00\x00\x05GARBA", 9);
        QTest::newRow("oversized frame") << QByteArray("\x7f\xff\xff\xff", 4);
        QTest::newRow("zero length") << QByteArray("\x00\x00\x00\x00", 4);
        QTest::newRow("HTTP") << QByteArray("GET / HTTP/1.0\r\n\r\n");
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

    // Someone writing a client in another language has only the document: each client frame of
    // its sample session, sent as it stands, must draw exactly the reply printed under it.
    void documentedSessionIsWhatTheServerSends() {
        const QList<QPair<bool, QByteArray>> frames = documentedFrames();
        QVERIFY(frames.size() >= 16);
        RawPeer peer;
        QVERIFY(peer.connect(m_server.port()));
        for (qsizetype i = 0; i < frames.size(); ++i) {
            QVERIFY2(frames[i].first, "every reply follows its request");
            QVERIFY(i + 1 < frames.size() && !frames[i + 1].first);
            peer.send(frames[i].second);
            QCOMPARE(peer.readFrame().toHex(' '), frames[i + 1].second.toHex(' '));
            ++i;
        }
        QVERIFY(peer.closedByServer()); // after bye
    }

    void aRequestBeforeTheHandshakeEndsTheSession() {
        RawPeer peer;
        QVERIFY(peer.connect(m_server.port()));
        peer.sendRequest(protocol::Request::classAccess("LX.Windows"));
        QVERIFY(peer.closedByServer());
        const QByteArray reply = peer.socket.readAll();
        QVERIFY(reply.size() > 4);
        const auto response = protocol::decodeResponse(reply.mid(4));
        QVERIFY(response.ok());
        QCOMPARE(response.value().errorNumber, number(protocol::ErrorCode::HandshakeRequired));
        QVERIFY(m_server.log().contains("error 1005"));
    }

    // The server keeps each branch's telemetry reply between calls; an admin command is another
    // process writing the database file, and the very next call must see what it wrote.
    void keptRepliesSeeEveryAdminWrite() {
        m_factory.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=1"});
        CacheObjectPtr kassa = m_factory.classAccess("Telemetrie.Kassa");
        CacheObjectPtr clocks = m_factory.classAccess("Telemetrie.Zeiterfassung");
        const QString registers = text(kassa->call("NichtVerbuchtStatus"));
        QVERIFY(!text(clocks->call("Zaehlerstand")).endsWith("|14|5|4|3|2"));
        QCOMPARE(text(kassa->call("NichtVerbuchtStatus")), registers);

        QCOMPARE(m_server.runAdmin({"set-register", "--firma", "1", "--branch", "1", "--register",
                                    "77", "--count", "2", "--first", "10", "--last", "11"}),
                 0);
        QCOMPARE(text(kassa->call("NichtVerbuchtStatus")), registers + "77|2|10|11|");
        QCOMPARE(m_server.runAdmin({"set-clock", "--firma", "1", "--branch", "1", "--slot", "4",
                                    "--number", "14", "--e-ist", "5", "--e-soll", "4", "--s-ist",
                                    "3", "--s-soll", "2"}),
                 0);
        QVERIFY(text(clocks->call("Zaehlerstand")).endsWith("|14|5|4|3|2"));
        QCOMPARE(m_server.runAdmin({"clear-registers", "--firma", "1", "--branch", "1"}), 0);
        QCOMPARE(text(kassa->call("NichtVerbuchtStatus")), "");
    }

    void serverKilledMidSessionFailsTheNextCall() {
        ServerProcess doomed;
        QVERIFY2(doomed.start(), qPrintable(doomed.errorText()));
        TcpCacheFactory factory;
        QVERIFY(factory.connect(doomed.connectString()));
        CacheObjectPtr user = factory.openId("LX.ParPersEdv", "1||DEMO");
        doomed.kill();
        QVERIFY(errorOf([&] { user->property("AKTIV"); }) != 0);
        QVERIFY(!factory.isConnected());
    }
};

QTEST_GUILESS_MAIN(TestServerEndToEnd)
#include "tst_server_e2e.moc"
