#include "CacheErrorOf.h"
#include "PostgresCluster.h"
#include "RawPeer.h"
#include "ServerProcess.h"

#include "cache/CacheError.h"
#include "cache/TcpCacheFactory.h"

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

constexpr int number(protocol::ErrorCode code) {
    return protocol::errorNumber(code);
}

// AddressSanitizer keeps freed memory in quarantine: there the resident size proves nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeTells = false;
#else
constexpr bool kResidentSizeTells = true;
#endif

// The server's own error for a variable read before it was set (FIRMA before "S FIRMA=").
constexpr int kUndefinedVariable = 5050;

QString text(const CacheValue& value) {
    return cacheValueToText(value);
}

// A call that may meet a database connection broken a moment ago: the server answers with one
// of the store errors a client knows and reconnects, so a retry shortly after must succeed.
QString afterStoreErrors(const std::function<QString()>& call) {
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

    void init() {
        QVERIFY(m_factory.connect(m_server.connectString()));
        QVERIFY(m_factory.signIn("1", "DEMO", "demo"));
    }
    void cleanup() { m_factory.disconnect(); }

    void signedInUserReadsHisRecordButNoPassword() {
        CacheObjectPtr user = m_factory.openId("LX.ParPersEdv", "1||DEMO");
        QCOMPARE(errorOf([&] { user->property("Passwort"); }),
                 number(protocol::ErrorCode::NotPermitted));
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

    // What an outsider tried before: read passwords, switch companies, read any branch.
    void nothingWithoutASignInAndOnlyHisOwnAfterIt() {
        const int required = number(protocol::ErrorCode::SignInRequired);
        const int refused = number(protocol::ErrorCode::NotPermitted);
        TcpCacheFactory outsider;
        QVERIFY(outsider.connect(m_server.connectString()));
        QCOMPARE(errorOf([&] { outsider.openId("LX.ParPersEdv", "1||DEMO"); }), required);
        QCOMPARE(errorOf([&] { outsider.classAccess("Telemetrie.Kassa"); }), required);
        QCOMPARE(errorOf([&] { outsider.classAccess("LX.Windows"); }), required);
        // One answer for a wrong password, an unknown user and an inactive user.
        QVERIFY(!outsider.signIn("1", "DEMO", "Demo"));
        QVERIFY(!outsider.signIn("1", "NIEMAND", "demo"));
        QVERIFY(!outsider.signIn("1", "ALT", "alt"));
        QVERIFY(!outsider.signIn("x", "DEMO", "demo"));
        QCOMPARE(errorOf([&] { outsider.openId("LX.ParPersEdv", "1||DEMO"); }), required);
        QVERIFY(outsider.isConnected()); // the user may go on trying

        // Signed in below rights group 8: personnel data of his own, no telemetry.
        QVERIFY(outsider.signIn("1", "LESER", "leser"));
        QCOMPARE(text(outsider.openId("LX.ParPersEdv", "1||LESER")->property("BERGRP")), "5");
        QCOMPARE(errorOf([&] { outsider.openId("LX.ParPersEdv", "1||DEMO"); }), refused);
        QCOMPARE(errorOf([&] { outsider.classAccess("Telemetrie.Kassa"); }), refused);
        CacheObjectPtr windows = outsider.classAccess("LX.Windows");
        QCOMPARE(errorOf([&] { windows->call("Xecute", {"S FIRMA=2,FIL=0,PERSONAL=\"LESER\""}); }),
                 refused);
        QCOMPARE(errorOf([&] { windows->call("Xecute", {"S FIRMA=1,PERSONAL=\"DEMO\""}); }),
                 refused);
        windows->call("Xecute", {"S FIRMA=1,FIL=3,PERSONAL=\"LESER\""}); // any branch of his own

        // A rights-group-9 user reads telemetry, but not of another company.
        CacheObjectPtr demoWindows = m_factory.classAccess("LX.Windows");
        QCOMPARE(errorOf([&] { demoWindows->call("Xecute", {"S FIRMA=2,FIL=0"}); }), refused);
        QCOMPARE(errorOf([&] { m_factory.openId("LX.PersBasis", "2||2001"); }), refused);
        QVERIFY(!m_server.log().contains("leser"));
    }

    void guessingIsSlowedWithoutSlowingOthers() {
        ServerProcess server({"--signin-delay-ms", "150"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        RawPeer guesser;
        QVERIFY(guesser.connect(server.port()));
        guesser.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
        QVERIFY(!guesser.readFrame().isEmpty());
        QList<qint64> answered;
        qint64 otherMs = -1;
        for (int attempt = 1; attempt <= 10; ++attempt) {
            QElapsedTimer timer;
            timer.start();
            guesser.sendRequest(protocol::Request::signIn("1", "DEMO", QString::number(attempt)));
            if (attempt == 10) {
                // While the tenth waits, another user signs in at normal speed.
                TcpCacheFactory other;
                QVERIFY(other.connect(server.connectString()));
                QElapsedTimer otherTimer;
                otherTimer.start();
                QVERIFY(other.signIn("1", "CHEF", "chef"));
                otherMs = otherTimer.elapsed();
            }
            const QByteArray frame = guesser.readFrame(10000);
            QVERIFY(!frame.isEmpty());
            QCOMPARE(protocol::decodeResponse(frame.mid(4)).value().value, QVariant(false));
            answered.append(timer.elapsed());
        }
        // Three free tries, then 150 ms more for each: the tenth is answered 1050 ms after it
        // arrived (its check runs within that time; on a busy machine a check alone takes 0.5 s).
        // The two processes' clocks round their milliseconds apart: a few of them are slack.
        QVERIFY2(answered.last() >= 1040, qPrintable(QString::number(answered.last())));
        // Against the quickest free try: a process's first check also pays for its first hash
        // memory, the first on PostgreSQL for reading the counts as well.
        const qint64 quickestFree = *std::min_element(answered.begin(), answered.begin() + 3);
        QVERIFY2(answered.last() > quickestFree + 200, qPrintable(QString::number(quickestFree)));
        QVERIFY2(otherMs >= 0 && otherMs < answered.last(), qPrintable(QString::number(otherMs)));
        const QString log = server.log();
        QCOMPARE(log.count("sign-in refused for user \"1|DEMO\" from 127.0.0.1"), 10);
        QVERIFY(!log.contains("sign-in refused for user \"1|DEMO\" from 127.0.0.1 (0"));
    }

    void unknownNamesGiveNumberedErrors() {
        QCOMPARE(errorOf([&] { m_factory.openId("LX.ParPersAbt", "1||NIEMAND"); }),
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
        QVERIFY(m_factory.signIn("1", "DEMO", "demo"));
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
        TcpCacheFactory gustav;
        QVERIFY(gustav.connect(m_server.connectString()));
        QVERIFY(!gustav.signIn("1", "GEHEIM", "kennwort-4711"));
        QVERIFY(gustav.signIn("1", "GEHEIM", "Kennwort-4711"));
        CacheObjectPtr user = gustav.openId("LX.ParPersEdv", "1||GEHEIM");
        errorOf([&] { user->call("PNAMELogicalToODBC", {"Kennwort-4711", "Kennwort-4711"}); });
        // Never a password or its hash in the log, never the password in the database.
        QVERIFY(!m_server.log().contains("Kennwort-4711"));
        QVERIFY(!m_server.log().contains("$argon2id$"));
        const QByteArray stored = m_server.databaseContents();
        QVERIFY(stored.contains("GEHEIM"));
        QVERIFY(!stored.contains("Kennwort-4711"));
    }

    void aDatabaseCopiedThereAndBackServesTheSame() {
        QCOMPARE(m_server.runAdmin({"set-user", "--firma", "1", "--code", "UMZUG",
                                    "--password-stdin", "--name", "Umzug,Ümit"},
                                   "Kartons-12\n"),
                 0);
        QTemporaryDir dir;
        const QString file = dir.filePath("umzug.db");
        QCOMPARE(m_server.runAdmin({"copy", "--to", file}), 0);
        QVERIFY2(m_server.adminOutput().endsWith("identical\n"),
                 qPrintable(m_server.adminOutput()));

        ServerProcess back; // a database of its own, filled, then replaced by the copy
        QCOMPARE(back.runAdmin({"create-db"}), 0);
        QProcess copy;
        copy.setProcessChannelMode(QProcess::MergedChannels);
        if (ServerProcess::usesPostgres()) {
            copy.setProcessEnvironment(PostgresCluster::forTests()->environment());
        }
        copy.start(ServerProcess::executable(),
                   {"--db", file, "copy", "--to", back.databaseArgument(), "--replace"});
        QVERIFY(copy.waitForFinished(60000));
        QVERIFY2(copy.exitCode() == 0, copy.readAll().constData());

        QVERIFY2(back.start(), qPrintable(back.errorText()));
        TcpCacheFactory moved;
        QVERIFY(moved.connect(back.connectString()));
        QVERIFY(moved.signIn("1", "UMZUG", "Kartons-12")); // the hash came along unchanged
        moved.disconnect();
        QVERIFY(moved.connect(back.connectString()));
        QVERIFY(moved.signIn("1", "DEMO", "demo"));
        const QList<QPair<const char*, const char*>> replies{
            {"Telemetrie.Kassa", "NichtVerbuchtStatus"},
            {"Telemetrie.Zeiterfassung", "Zaehlerstand"}};
        for (const char* branch : {"S FIRMA=1,FIL=0", "S FIRMA=1,FIL=1"}) {
            for (TcpCacheFactory* factory : {&m_factory, &moved}) {
                factory->classAccess("LX.Windows")->call("Xecute", {branch});
            }
            for (const auto& [className, method] : replies) {
                const QString original = text(m_factory.classAccess(className)->call(method));
                QVERIFY(!original.isEmpty());
                QCOMPARE(text(moved.classAccess(className)->call(method)), original);
            }
        }
    }

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

    // Two imports into one branch at the same time: each whole, one after the other, never a
    // mix of both.
    void importsAtTheSameTimeTakeTurns() {
        QTemporaryDir dir;
        std::vector<std::unique_ptr<QProcess>> imports;
        for (const QString tag : {"A", "B"}) {
            QFile file(dir.filePath(tag));
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (int i = 1; i <= 3000; ++i) {
                file.write(QStringLiteral("%1%2|1|%2|%2\n").arg(tag).arg(i).toUtf8());
            }
            file.close();
            imports.push_back(m_server.startAdmin(
                {"import-registers", "--firma", "1", "--branch", "5", file.fileName()}));
            QVERIFY2(imports.back(), qPrintable(m_server.adminOutput()));
        }
        for (const auto& import : imports) {
            QVERIFY(import->waitForFinished(30000));
            QVERIFY2(import->exitCode() == 0, import->readAll().constData());
        }
        m_factory.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=5"});
        const QStringList fields =
            text(m_factory.classAccess("Telemetrie.Kassa")->call("NichtVerbuchtStatus")).split('|');
        QCOMPARE(fields.size(), 4 * 3000 + 1);
        const QString tag = fields.first().left(1);
        for (int i = 0; i < 3000; ++i) {
            QCOMPARE(fields[4 * i], tag + QString::number(i + 1));
        }
    }

    void serverKilledMidSessionFailsTheNextCall() {
        ServerProcess doomed;
        QVERIFY2(doomed.start(), qPrintable(doomed.errorText()));
        TcpCacheFactory factory;
        QVERIFY(factory.connect(doomed.connectString()));
        QVERIFY(factory.signIn("1", "DEMO", "demo"));
        CacheObjectPtr user = factory.openId("LX.ParPersEdv", "1||DEMO");
        doomed.kill();
        QVERIFY(errorOf([&] { user->property("AKTIV"); }) != 0);
        QVERIFY(!factory.isConnected());
    }

    // Several servers on one PostgreSQL database each keep their telemetry replies; a write by
    // anyone reaches each of them at its very next call.
    void everyServerOnOneDatabaseSeesEachWrite() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("only PostgreSQL serves one database to several servers");
        }
        ServerProcess first;
        ServerProcess second;
        second.shareDatabaseWith(first);
        QVERIFY2(first.start(), qPrintable(first.errorText()));
        QVERIFY2(second.start(), qPrintable(second.errorText()));
        QList<CacheObjectPtr> kassas;
        std::vector<std::unique_ptr<TcpCacheFactory>> monitors;
        for (const ServerProcess* server : {&first, &second}) {
            monitors.push_back(std::make_unique<TcpCacheFactory>());
            QVERIFY(monitors.back()->connect(server->connectString()));
            QVERIFY(monitors.back()->signIn("1", "DEMO", "demo"));
            monitors.back()->classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=1"});
            kassas.append(monitors.back()->classAccess("Telemetrie.Kassa"));
        }
        QString expected = text(kassas[1]->call("NichtVerbuchtStatus"));
        QVERIFY(!expected.isEmpty());
        for (int round = 1; round <= 3; ++round) {
            for (const CacheObjectPtr& kassa : kassas) {
                QCOMPARE(text(kassa->call("NichtVerbuchtStatus")), expected); // kept
            }
            const QString registerNumber = QString::number(80 + round);
            QCOMPARE(
                first.runAdmin({"set-register", "--firma", "1", "--branch", "1", "--register",
                                registerNumber, "--count", "1", "--first", "7", "--last", "7"}),
                0);
            expected += registerNumber + "|1|7|7|";
            QCOMPARE(text(kassas[1]->call("NichtVerbuchtStatus")), expected);
            QCOMPARE(text(kassas[0]->call("NichtVerbuchtStatus")), expected);
        }
    }

    // Another program in the middle of a write to the branch keeps no reader waiting: the
    // server answers from what is committed, and the commit reaches its kept reply.
    void aWriterInTheMiddleKeepsNoReaderWaiting() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("SQLite's writer lock is held in tst_serversession");
        }
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        TcpCacheFactory monitor;
        QVERIFY(monitor.connect(server.connectString()));
        QVERIFY(monitor.signIn("1", "DEMO", "demo"));
        monitor.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=1"});
        CacheObjectPtr kassa = monitor.classAccess("Telemetrie.Kassa");
        const auto registers = [&] { return text(kassa->call("NichtVerbuchtStatus")); };
        const QString before = registers();
        const QString database = QUrl(server.databaseArgument()).path().mid(1);
        {
            QSqlDatabase other = PostgresCluster::forTests()->connect(database, "writer");
            QVERIFY(other.isOpen());
            QSqlQuery write(other);
            QVERIFY(write.exec("BEGIN"));
            QVERIFY(write.exec("DELETE FROM tm_register WHERE firma = 1 AND filiale = 1"));
            QVERIFY(write.exec("INSERT INTO tm_register VALUES (1, 1, 1, '99', '1', '2', '3')"));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(registers(), before);
            kassa->call("NichtVerbuchtStatus");
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(write.exec("COMMIT"));
        }
        QSqlDatabase::removeDatabase("writer");
        QCOMPARE(registers(), "99|1|2|3|");
    }

    // Guesses are counted in the database: moving to another server of the same database
    // gains a guesser nothing.
    void guessesThroughOneServerSlowTheOthers() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("only PostgreSQL serves one database to several servers");
        }
        ServerProcess first({"--signin-delay-ms", "60"});
        ServerProcess second({"--signin-delay-ms", "60"});
        second.shareDatabaseWith(first);
        QVERIFY2(first.start(), qPrintable(first.errorText()));
        QVERIFY2(second.start(), qPrintable(second.errorText()));
        TcpCacheFactory guesser;
        QVERIFY(guesser.connect(first.connectString()));
        for (int attempt = 1; attempt <= 9; ++attempt) {
            QVERIFY(!guesser.signIn("1", "DEMO", QString::number(attempt)));
        }
        TcpCacheFactory elsewhere;
        QVERIFY(elsewhere.connect(second.connectString()));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!elsewhere.signIn("1", "DEMO", "10"));
        // The tenth failure waits 420 ms beyond its check, as on the server of the other nine.
        QVERIFY2(timer.elapsed() >= 420, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(second.log().contains("sign-in refused for user \"1|DEMO\" from 127.0.0.1"));
    }

    // The database restarted under a running server: the server reconnects by itself, its
    // sessions go on, and writes made after the restart reach its kept replies again.
    void theServerOutlivesARestartOfItsDatabase() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("an SQLite file cannot be restarted");
        }
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const qint64 processId = server.processId();
        TcpCacheFactory monitor;
        QVERIFY(monitor.connect(server.connectString()));
        QVERIFY(monitor.signIn("1", "DEMO", "demo"));
        monitor.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=1"});
        CacheObjectPtr kassa = monitor.classAccess("Telemetrie.Kassa");
        const QString before = text(kassa->call("NichtVerbuchtStatus"));

        QString error;
        QVERIFY2(PostgresCluster::forTests()->restart(&error), qPrintable(error));
        const auto registers = [&] { return text(kassa->call("NichtVerbuchtStatus")); };
        QCOMPARE(afterStoreErrors(registers), before);
        QCOMPARE(server.runAdmin({"set-register", "--firma", "1", "--branch", "1", "--register",
                                  "90", "--count", "1", "--first", "5", "--last", "5"}),
                 0);
        QCOMPARE(afterStoreErrors(registers), before + "90|1|5|5|");
        TcpCacheFactory later;
        QVERIFY(later.connect(server.connectString()));
        QVERIFY(afterStoreErrors([&] {
                    return later.signIn("1", "CHEF", "chef") ? QStringLiteral("in") : QString();
                }) == "in");
        QVERIFY(monitor.isConnected());

        // Away for a while: every call is refused at once with the store error, and the server
        // finds the database again by itself once it is back.
        QVERIFY2(PostgresCluster::forTests()->pause(&error), qPrintable(error));
        QTest::qWait(1100); // past the pause after the reconnect above: the server tries, and fails
        QElapsedTimer away;
        away.start();
        for (int i = 0; i < 3; ++i) {
            try {
                registers();
                QFAIL("a reply without a database");
            } catch (const CacheError& refused) {
                QCOMPARE(refused.number(), number(protocol::ErrorCode::StoreFailure));
            }
        }
        QVERIFY2(away.elapsed() < 2000, qPrintable(QString::number(away.elapsed())));
        QVERIFY2(PostgresCluster::forTests()->resume(&error), qPrintable(error));
        QString back;
        const QDeadlineTimer deadline(24000); // three times the longest pause between attempts
        while (back.isEmpty() && !deadline.hasExpired()) {
            try {
                back = registers();
            } catch (const CacheError&) {
                QTest::qWait(200);
            }
        }
        QCOMPARE(back, before + "90|1|5|5|");
        QCOMPARE(server.processId(), processId);
    }
};

QTEST_GUILESS_MAIN(TestServerEndToEnd)
#include "tst_server_e2e.moc"
