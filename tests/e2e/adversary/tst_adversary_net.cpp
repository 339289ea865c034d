#include "RawPeer.h"
#include "ServerProcess.h"

#include "protocol/ErrorCodes.h"
#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QtEndian>
#include <QtTest>

#include <map>
#include <memory>
#include <sys/socket.h>
#include <vector>

using protocol::Request;
using protocol::Response;

namespace {

const int kServerFull = protocol::errorNumber(protocol::ErrorCode::ServerFull);
const int kBadFrameLength = protocol::errorNumber(protocol::ErrorCode::BadFrameLength);
const QString kKassaBranch0 = QStringLiteral("3|2|815|817|");

Request numbered(Request request, qint64 seq) {
    request.seq = seq;
    return request;
}

Request hello(qint64 seq = 1) {
    return numbered(Request::hello(QStringLiteral("LORVEX"), protocol::Version), seq);
}

QByteArray frameOf(const Request& request) {
    return protocol::encodeFrame(protocol::encodeRequest(request).value());
}

QByteArray header(quint32 length) {
    QByteArray bytes(4, '\0');
    qToBigEndian(length, bytes.data());
    return bytes;
}

QHostAddress loopback(int last) {
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(last));
}

QString tlsFile(const QString& name) {
    return QStringLiteral(LORVEX_TLS_TEST_DATA "/") + name;
}

QStringList tlsOptions() {
    return {"--tls-cert", tlsFile("server.pem"), "--tls-key", tlsFile("server.key")};
}

int linesWith(const ServerProcess& server, const QString& text) {
    return static_cast<int>(server.log().split(QLatin1Char('\n')).filter(text).size());
}

int logLines(const ServerProcess& server) {
    return static_cast<int>(server.log().split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

// Whether the server has closed the connection by now (events of the socket processed first).
bool closedNow(RawPeer& peer) {
    peer.socket.waitForReadyRead(10);
    return peer.socket.state() != QAbstractSocket::ConnectedState;
}

// The client side of a TLS link that trusts the test CA, with RawPeer's way of sending and
// reading frames. It runs on the event loop: Qt's blocking waits on a TLS socket can lose the
// last records that come with the server's close.
struct TlsPeer {
    QSslSocket socket;
    protocol::FrameReader reader;
    bool closed = false;

    bool connect(quint16 port, const QHostAddress& from, int timeoutMs = 5000) {
        QSslConfiguration configuration = socket.sslConfiguration();
        configuration.setCaCertificates(QSslCertificate::fromPath(tlsFile("ca.pem")));
        socket.setSslConfiguration(configuration);
        QObject::connect(&socket, &QSslSocket::readyRead,
                         [this] { reader.feed(socket.readAll()); });
        QObject::connect(&socket, &QSslSocket::disconnected, [this] {
            reader.feed(socket.readAll());
            closed = true;
        });
        if (!socket.bind(from)) {
            return false;
        }
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        return QTest::qWaitFor([this] { return socket.isEncrypted(); }, timeoutMs);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    void sendRequest(const Request& request) { send(frameOf(request)); }
    void shutdownSending() {
        static_cast<void>(QTest::qWaitFor([this] { return socket.bytesToWrite() == 0; }, 3000));
        ::shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR);
    }
    std::optional<Response> readResponse(int timeoutMs = 5000) {
        static_cast<void>(
            QTest::qWaitFor([this] { return reader.hasFrame() || closed; }, timeoutMs));
        const std::optional<QByteArray> frame = reader.takeFrame();
        if (!frame) {
            return std::nullopt;
        }
        const auto decoded = protocol::decodeResponse(*frame);
        return decoded.ok() ? std::optional(decoded.value()) : std::nullopt;
    }
    bool closedByServer(int timeoutMs = 5000) {
        return QTest::qWaitFor([this] { return closed; }, timeoutMs);
    }
};

// Sends everything in one write, shuts the sending side and checks that every request is
// answered in order before the server closes.
template <typename Peer>
void expectEveryAnswer(Peer& peer, const QByteArray& burst, qint64 lastSeq) {
    peer.send(burst);
    peer.shutdownSending();
    for (qint64 seq = 1; seq <= lastSeq; ++seq) {
        const std::optional<Response> reply = peer.readResponse(10000);
        QVERIFY2(reply.has_value(),
                 qPrintable(QStringLiteral("no reply %1 of %2").arg(seq).arg(lastSeq)));
        QCOMPARE(reply->seq, seq);
    }
    QVERIFY(peer.closedByServer());
}

} // namespace

// The server against peers that mean harm, each case one way to misbehave (close, half-close,
// stall, flood, come from many addresses, hold an account), each asserting the bound of
// docs/server.md, "Limits", with limits lowered through options so a case takes seconds.
class TestAdversaryNet : public QObject {
    Q_OBJECT

    // Servers that cases share where nothing of one case can touch the next (no counts, no
    // places, no log lines that another case asserts), keyed by their options.
    std::map<QStringList, std::unique_ptr<ServerProcess>> m_shared;

    ServerProcess* sharedServer(const QStringList& options) {
        std::unique_ptr<ServerProcess>& server = m_shared[options];
        if (!server) {
            server = std::make_unique<ServerProcess>(options);
            if (!server->start()) {
                qWarning("%s", qPrintable(server->errorText()));
                server.reset();
                return nullptr;
            }
        }
        return server.get();
    }

private slots:
    void tlsHandshakesCostAPlaceBriefly_data() {
        QTest::addColumn<bool>("abandon");
        QTest::addColumn<int>("connections");
        QTest::addColumn<int>("clientFrom");
        QTest::newRow("plain connections to the TLS port that close after 0.5 s")
            << true << 30 << 2;
        QTest::newRow("connections that send nothing") << false << 40 << 3;
    }
    void tlsHandshakesCostAPlaceBriefly() {
        QFETCH(bool, abandon);
        QFETCH(int, connections);
        QFETCH(int, clientFrom);
        const int timeoutMs = 4000;
        ServerProcess server(tlsOptions() +
                             QStringList{"--handshake-timeout-ms", QString::number(timeoutMs)});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        std::vector<std::unique_ptr<RawPeer>> attackers;
        for (int i = 0; i < connections; ++i) {
            attackers.push_back(std::make_unique<RawPeer>());
            QVERIFY(attackers.back()->connect(server.port(), loopback(2)));
        }
        QTest::qWait(500);
        if (abandon) {
            for (auto& attacker : attackers) {
                attacker->socket.abort();
            }
        }
        // A real client completes its handshake at once, well before any handshake times out:
        // after the abandoned ones even from their address, since a closed one frees its place.
        QElapsedTimer clock;
        clock.start();
        TlsPeer client;
        QVERIFY2(client.connect(server.port(), loopback(clientFrom), 2 * timeoutMs),
                 qPrintable(client.socket.errorString()));
        QVERIFY2(clock.elapsed() < timeoutMs - 1000, qPrintable(QString::number(clock.elapsed())));
        client.sendRequest(hello());
        client.sendRequest(numbered(Request::signIn("1", "DEMO", "demo"), 2));
        QVERIFY(client.readResponse(10000).has_value());
        const auto signedIn = client.readResponse(10000);
        QVERIFY(signedIn && signedIn->value == QVariant(true));

        const int places = 16;
        QVERIFY(linesWith(server, "TLS handshake with 127.0.0.2 failed") <= places);
        if (!abandon) {
            // The silent address holds at most its places; the other connections were closed
            // at once, and the rest once the handshake time is up.
            int closed = 0;
            for (auto& attacker : attackers) {
                closed += closedNow(*attacker) ? 1 : 0;
            }
            QVERIFY2(closed >= connections - places, qPrintable(QString::number(closed)));
            for (auto& attacker : attackers) {
                QVERIFY(attacker->closedByServer(2 * timeoutMs));
            }
            QTRY_VERIFY_WITH_TIMEOUT(
                linesWith(server, QStringLiteral("not complete after %1 ms").arg(timeoutMs)) >= 1,
                3000);
        }
    }

    void stalledMaximalFramesOfOneAccountStallNobody() {
        ServerProcess server({"--budget-mib", "16", "--stall-ms", "20000"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        RawPeer monitor;
        QVERIFY(monitor.connect(server.port(), loopback(1)));
        QVERIFY(monitor.signIn("1", "CHEF", "chef", 20000));
        monitor.sendRequest(numbered(Request::classAccess("LX.Windows"), 3));
        monitor.sendRequest(numbered(Request::call(1, "Xecute", {"S FIRMA=1,FIL=0"}), 4));
        monitor.sendRequest(numbered(Request::classAccess("Telemetrie.Kassa"), 5));
        for (int i = 0; i < 3; ++i) {
            const auto reply = monitor.readResponse();
            QVERIFY(reply && reply->ok);
        }
        // One ordinary account on 4 addresses, 6 sessions each: every session sends all but
        // one byte of a frame of the largest size and stalls, 26 MiB against a budget of 16.
        // They sign in 4 per address at a time: more checks of one address wait for nobody.
        std::vector<std::unique_ptr<RawPeer>> stalled;
        for (const int sessions : {4, 2}) {
            const std::size_t first = stalled.size();
            for (int address = 11; address <= 14; ++address) {
                for (int i = 0; i < sessions; ++i) {
                    stalled.push_back(std::make_unique<RawPeer>());
                    QVERIFY(stalled.back()->connect(server.port(), loopback(address)));
                    stalled.back()->sendRequest(hello());
                    stalled.back()->sendRequest(
                        numbered(Request::signIn("1", "LESER", "leser"), 2));
                }
            }
            for (std::size_t i = first; i < stalled.size(); ++i) {
                QVERIFY(stalled[i]->readResponse(20000).has_value());
                const auto signedIn = stalled[i]->readResponse(20000);
                QVERIFY(signedIn && signedIn->value == QVariant(true));
            }
        }
        const QByteArray almostAFrame =
            header(quint32(protocol::MaxFrameBytes)) + QByteArray(protocol::MaxFrameBytes - 1, 'x');
        for (auto& peer : stalled) {
            peer->socket.write(almostAFrame);
        }
        QDeadlineTimer pushing(8000);
        bool pending = true;
        while (pending && !pushing.hasExpired()) {
            pending = false;
            for (auto& peer : stalled) {
                if (peer->socket.bytesToWrite() > 0 &&
                    peer->socket.state() == QAbstractSocket::ConnectedState) {
                    peer->socket.waitForBytesWritten(20);
                    pending = true;
                }
            }
        }

        // The server has taken what it will take of the attack by now.
        QTest::qWait(1000);
        // A signed-in monitor's refresh and a newcomer's handshake are answered at once.
        QElapsedTimer clock;
        clock.start();
        monitor.sendRequest(numbered(Request::call(2, "NichtVerbuchtStatus", {}), 6));
        const auto refreshed = monitor.readResponse(10000);
        QVERIFY(refreshed && refreshed->ok);
        QVERIFY(refreshed->value.toString().startsWith(kKassaBranch0));
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        RawPeer newcomer;
        QVERIFY(newcomer.connect(server.port(), loopback(20)));
        clock.restart();
        newcomer.sendRequest(hello());
        const auto welcomed = newcomer.readResponse(10000);
        QVERIFY(welcomed && welcomed->ok);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

        // The account holds no more than its part (an eighth of the budget, 2 MiB, at least one
        // whole frame): the sessions that would pass it were cut with 1012.
        int cut = 0;
        for (auto& peer : stalled) {
            const auto reply = peer->readResponse(500);
            cut += reply && reply->errorNumber == kServerFull ? 1 : 0;
        }
        QVERIFY2(cut >= int(stalled.size()) - 2, qPrintable(QString::number(cut)));
    }

    void unsignedPeersHoldPlacesBriefly_data() {
        QTest::addColumn<QString>("keepAlive");
        QTest::newRow("hello only") << QString();
        QTest::newRow("a get every 200 ms") << QStringLiteral("get");
        QTest::newRow("failed sign-ins") << QStringLiteral("signin");
    }
    void unsignedPeersHoldPlacesBriefly() {
        QFETCH(QString, keepAlive);
        const bool signIns = keepAlive == QLatin1String("signin");
        // A failed sign-in takes a slow hash: time for it within the window.
        const int windowMs = signIns ? 4000 : 2000;
        ServerProcess server({"--signin-window-ms", QString::number(windowMs),
                              "--max-sessions-per-address", "4", "--signin-delay-ms", "0"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const int connections = signIns ? 2 : 4;
        std::vector<std::unique_ptr<RawPeer>> peers;
        qint64 seq = 2;
        for (int i = 0; i < connections; ++i) {
            peers.push_back(std::make_unique<RawPeer>());
            QVERIFY(peers.back()->connect(server.port(), loopback(5)));
            peers.back()->sendRequest(hello());
            QVERIFY(peers.back()->readResponse().has_value());
        }
        QElapsedTimer clock;
        clock.start();
        if (signIns) {
            // Each failure holds one of the address's places for the window (half of them at
            // most): with 2 connections and 2 failures, the 4 places are taken.
            for (auto& peer : peers) {
                peer->sendRequest(numbered(Request::signIn("1", "NIEMAND", "x"), seq++));
                const auto refused = peer->readResponse(10000);
                QVERIFY(refused && refused->value == QVariant(false));
            }
            RawPeer late;
            QVERIFY(late.connect(server.port(), loopback(5)));
            const auto full = late.readResponse();
            QVERIFY(full && full->errorNumber == kServerFull);
            QCOMPARE(linesWith(server, "2 places held by failed sign-ins"), 1);
        }
        bool open = true;
        while (open && clock.elapsed() < windowMs + 4000) {
            open = false;
            for (auto& peer : peers) {
                if (closedNow(*peer)) {
                    continue;
                }
                open = true;
                if (keepAlive == QLatin1String("get")) {
                    peer->sendRequest(numbered(Request::get(1, "PNAME"), seq++));
                } else if (signIns) {
                    peer->sendRequest(numbered(Request::signIn("1", "NIEMAND", "x"), seq++));
                }
            }
            QTest::qWait(200);
        }
        QVERIFY2(!open, "a connection that never signed in kept its place");
        QTRY_COMPARE_WITH_TIMEOUT(
            linesWith(server, QStringLiteral("not signed in after %1 ms").arg(windowMs)),
            connections, 3000); // the line follows the close
        // Other addresses are not touched; the address itself has its sessions' places back.
        RawPeer elsewhere;
        QVERIFY(elsewhere.connect(server.port(), loopback(6)));
        QVERIFY(elsewhere.signIn("1", "DEMO", "demo", 20000));
        RawPeer later;
        QVERIFY(later.connect(server.port(), loopback(5)));
        QVERIFY(later.signIn("1", "DEMO", "demo", 20000));
    }

    void halfCloseGetsEveryAnswer_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("signIn");
        QTest::addColumn<int>("requests");
        QTest::newRow("hello, sign-in, 3 requests") << false << true << 3;
        QTest::newRow("hello, 10 requests before a sign-in") << false << false << 10;
        QTest::newRow("hello, sign-in, 12 requests behind it") << false << true << 12;
        QTest::newRow("over TLS: hello, 10 requests") << true << false << 10;
    }
    void halfCloseGetsEveryAnswer() {
        QFETCH(bool, tls);
        QFETCH(bool, signIn);
        QFETCH(int, requests);
        ServerProcess* shared = sharedServer(tls ? tlsOptions() : QStringList{});
        QVERIFY(shared);
        const ServerProcess& server = *shared;
        QByteArray burst = frameOf(hello());
        qint64 seq = 1;
        if (signIn) {
            burst += frameOf(numbered(Request::signIn("1", "DEMO", "demo"), ++seq));
        }
        for (int i = 0; i < requests; ++i) {
            burst += frameOf(numbered(Request::get(99, "PNAME"), ++seq));
        }
        if (tls) {
            TlsPeer peer;
            QVERIFY(peer.connect(server.port(), loopback(1)));
            expectEveryAnswer(peer, burst, seq);
        } else {
            RawPeer peer;
            QVERIFY(peer.connect(server.port()));
            expectEveryAnswer(peer, burst, seq);
        }
    }

    void aPipeliningFloodStarvesNobody() {
        ServerProcess* shared = sharedServer({});
        QVERIFY(shared);
        const ServerProcess& server = *shared;
        RawPeer flood;
        RawPeer other;
        QVERIFY(flood.connect(server.port(), loopback(1)));
        QVERIFY(other.connect(server.port(), loopback(2)));
        QVERIFY(flood.signIn("1", "DEMO", "demo", 20000));
        QVERIFY(other.signIn("1", "DEMO", "demo", 20000));
        const int count = 3000;
        QByteArray burst;
        for (int i = 0; i < count; ++i) {
            burst += frameOf(numbered(Request::get(99, "PNAME"), 10 + i));
        }
        flood.send(burst);
        QElapsedTimer clock;
        clock.start();
        other.sendRequest(numbered(Request::open("LX.ParPersEdv", "1||DEMO"), 3));
        const auto answered = other.readResponse(10000);
        QVERIFY(answered && answered->ok);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        for (int i = 0; i < count; ++i) {
            const auto reply = flood.readResponse(10000);
            QVERIFY2(reply && reply->seq == 10 + i, qPrintable(QString::number(i)));
        }
    }

    void brokenFramesCostOnlyTheirSession_data() {
        QTest::addColumn<bool>("signIn");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error"); // 0: cut by the stall time
        QTest::newRow("length over 4 KiB before the sign-in")
            << false << header(4097) + QByteArray(100, 'x') << kBadFrameLength;
        QTest::newRow("length over the limit after the sign-in")
            << true << header(quint32(protocol::MaxFrameBytes) + 1) << kBadFrameLength;
        QTest::newRow("length zero") << false << header(0) << kBadFrameLength;
        QTest::newRow("an unfinished frame") << true << header(100) + QByteArray(10, 'x') << 0;
    }
    void brokenFramesCostOnlyTheirSession() {
        QFETCH(bool, signIn);
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        const int stallMs = 1000;
        ServerProcess* shared = sharedServer({"--stall-ms", QString::number(stallMs)});
        QVERIFY(shared);
        const ServerProcess& server = *shared;
        RawPeer bystander;
        QVERIFY(bystander.connect(server.port(), loopback(2)));
        QVERIFY(bystander.signIn("1", "DEMO", "demo", 20000));
        RawPeer broken;
        QVERIFY(broken.connect(server.port(), loopback(1)));
        if (signIn) {
            QVERIFY(broken.signIn("1", "DEMO", "demo", 20000));
        } else {
            broken.sendRequest(hello());
            QVERIFY(broken.readResponse().has_value());
        }
        broken.send(bytes);
        bystander.sendRequest(numbered(Request::open("LX.ParPersEdv", "1||DEMO"), 3));
        const auto answered = bystander.readResponse();
        QVERIFY(answered && answered->ok);
        if (error != 0) {
            const auto refused = broken.readResponse();
            QVERIFY(refused && refused->errorNumber == error);
            QVERIFY(broken.closedByServer());
        } else {
            QVERIFY(broken.closedByServer(stallMs + 4000));
            // The line follows the close.
            QTRY_COMPARE_WITH_TIMEOUT(
                linesWith(server,
                          QStringLiteral("handshake or frame incomplete after %1 ms").arg(stallMs)),
                1, 3000);
        }
    }

    void placesPerAddressAreFreedAtOnce() {
        ServerProcess server({"--max-sessions-per-address", "3"});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        std::vector<std::unique_ptr<RawPeer>> peers;
        for (int i = 0; i < 3; ++i) {
            peers.push_back(std::make_unique<RawPeer>());
            QVERIFY(peers.back()->connect(server.port(), loopback(7)));
            peers.back()->sendRequest(hello());
            QVERIFY(peers.back()->readResponse().has_value());
        }
        RawPeer fourth;
        QVERIFY(fourth.connect(server.port(), loopback(7)));
        const auto refused = fourth.readResponse();
        QVERIFY(refused && refused->errorNumber == kServerFull);
        QVERIFY(fourth.closedByServer());
        RawPeer elsewhere;
        QVERIFY(elsewhere.connect(server.port(), loopback(8)));
        elsewhere.sendRequest(hello());
        QVERIFY(elsewhere.readResponse().has_value());
        peers.front()->socket.disconnectFromHost();
        QTest::qWait(200);
        RawPeer again;
        QVERIFY(again.connect(server.port(), loopback(7)));
        again.sendRequest(hello());
        const auto welcomed = again.readResponse();
        QVERIFY(welcomed && welcomed->ok);
    }

    // Out of descriptors, the listener neither spins nor stops: newcomers are told at once that
    // there is no place, the sessions held go on, and once some end new ones are taken again.
    void runningOutOfDescriptorsShedsOnlyNewcomers() {
        ServerProcess server({"--max-sessions-per-address", "256"});
        server.setDescriptorLimit(64);
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        std::vector<std::unique_ptr<RawPeer>> held;
        std::optional<Response> refused;
        while (!refused && held.size() < 100) {
            auto peer = std::make_unique<RawPeer>();
            QVERIFY(peer->connect(server.port(), loopback(9)));
            peer->sendRequest(hello());
            refused = peer->readResponse();
            QVERIFY2(refused.has_value(), "a newcomer was left waiting");
            if (refused->ok) {
                refused.reset();
                held.push_back(std::move(peer));
            } else {
                QCOMPARE(refused->errorNumber, kServerFull);
                QVERIFY(peer->closedByServer());
            }
        }
        QVERIFY2(refused, "64 descriptors were never used up");
        QCOMPARE(linesWith(server, "out of file descriptors"), 1);
        held.front()->sendRequest(numbered(Request::signIn("1", "DEMO", "demo"), 2));
        const auto signedIn = held.front()->readResponse(20000);
        QVERIFY(signedIn && signedIn->ok);
        held.resize(held.size() - 4);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                RawPeer again;
                again.connect(server.port(), loopback(9));
                again.sendRequest(hello());
                const auto welcomed = again.readResponse(2000);
                return welcomed && welcomed->ok;
            }(),
            10000);
    }

    void logFloodsAreBounded_data() {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("sessionsPerAddress");
        QTest::newRow("48 sessions from one address") << 1 << 48;
        QTest::newRow("8 sessions from each of 12 addresses") << 12 << 8;
    }
    void logFloodsAreBounded() {
        QFETCH(int, addresses);
        QFETCH(int, sessionsPerAddress);
        const double rate = 10; // in all; a tenth per address; 20 seconds' worth at once
        QElapsedTimer sinceStart;
        sinceStart.start();
        ServerProcess server({"--log-lines-per-second", QString::number(rate)});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const int startLines = logLines(server);
        // Sessions of 12 requests that are all errors: 13 lines each without a bound.
        QByteArray burst = frameOf(hello());
        for (int i = 0; i < 11; ++i) {
            burst += frameOf(numbered(Request::get(1, "PNAME"), 2 + i));
        }
        burst += frameOf(numbered(Request::bye(), 13));
        for (int done = 0; done < sessionsPerAddress; done += 8) {
            std::vector<std::unique_ptr<RawPeer>> wave;
            for (int address = 0; address < addresses; ++address) {
                for (int i = done; i < std::min(done + 8, sessionsPerAddress); ++i) {
                    wave.push_back(std::make_unique<RawPeer>());
                    QVERIFY(wave.back()->connect(server.port(), loopback(30 + address)));
                    wave.back()->send(burst);
                }
            }
            for (auto& peer : wave) {
                QVERIFY(peer->closedByServer(10000));
            }
        }
        const double seconds = sinceStart.elapsed() / 1000.0 + 1;
        const int lines = logLines(server);
        const QString shown = QStringLiteral("%1 lines in %2 s").arg(lines).arg(seconds);
        QVERIFY2(lines <= rate * 20 + rate * seconds, qPrintable(shown));
        if (addresses == 1) {
            QVERIFY2(lines - startLines <= rate / 10 * (20 + seconds), qPrintable(shown));
        }
        // What was left out is summed up once there is room again.
        const QRegularExpression summary(
            QStringLiteral("log limit: [0-9,]+ lines about 127\\.0\\.0\\.30 left out"));
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(summary), 8000);
    }

    // A log nobody reads (a terminal held with Ctrl-S, a stuck journal) holds up no session, and
    // what waited is all written once it is read again.
    void aStalledLogHoldsUpNobody() {
        ServerProcess server({"--log-lines-per-second", "0"});
        server.readLogOnlyWhenAsked();
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const int sessions = 150; // two lines each: several times what the pipe holds
        for (int i = 0; i < sessions; ++i) {
            RawPeer peer;
            QVERIFY(peer.connect(server.port(), loopback(40 + i % 8)));
            peer.sendRequest(hello());
            QVERIFY2(peer.readResponse(), qPrintable(QStringLiteral("session %1").arg(i)));
        }
        RawPeer monitor;
        QVERIFY(monitor.connect(server.port(), loopback(50)));
        QVERIFY(monitor.signIn("1", "DEMO", "demo", 20000));
        const QRegularExpression started(QStringLiteral("session \\d+ started"));
        QTRY_COMPARE_WITH_TIMEOUT(server.log().count(started), sessions + 1, 10000);
    }

    void ipv6PeersAreCountedByPrefix_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("key");
        QTest::newRow("/64") << QStringLiteral("64") << QStringLiteral("::/64");
        QTest::newRow("/128") << QStringLiteral("128") << QStringLiteral("::1/128");
    }
    void ipv6PeersAreCountedByPrefix() {
        QFETCH(QString, prefix);
        QFETCH(QString, key);
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHostIPv6, 0)) {
            QSKIP("this machine has no IPv6 loopback");
        }
        probe.close();
        ServerProcess server(
            {"--listen", "[::1]:0", "--max-sessions-per-address", "2", "--ipv6-prefix", prefix});
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        // Said after the line start() waits for.
        const QRegularExpression listeningLine(QStringLiteral("listening on \\[::1\\]:(\\d+)"));
        QTRY_VERIFY_WITH_TIMEOUT(listeningLine.match(server.log()).hasMatch(), 5000);
        const QRegularExpressionMatch listening = listeningLine.match(server.log());
        const quint16 port = quint16(listening.captured(1).toUInt());
        std::vector<std::unique_ptr<RawPeer>> peers;
        for (int i = 0; i < 3; ++i) {
            peers.push_back(std::make_unique<RawPeer>());
            peers.back()->socket.connectToHost(QHostAddress::LocalHostIPv6, port);
            QVERIFY(peers.back()->socket.waitForConnected(5000));
            peers.back()->sendRequest(hello());
            const auto reply = peers.back()->readResponse();
            QVERIFY(reply.has_value());
            QCOMPARE(reply->errorNumber, i < 2 ? 0 : kServerFull);
        }
        QCOMPARE(linesWith(server, QStringLiteral("refused: 2 sessions from %1 are open").arg(key)),
                 1);
    }
};

QTEST_GUILESS_MAIN(TestAdversaryNet)
#include "tst_adversary_net.moc"
