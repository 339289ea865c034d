#include "ScriptedPeer.h"

#include "objectclient/CacheError.h"
#include "objectclient/TcpCacheFactory.h"
#include "protocol/ErrorCodes.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

using protocol::ErrorCode;
using protocol::Operation;
using Action = ScriptedPeer::Action;

namespace {

constexpr TcpTimeouts ShortTimeouts{500, 300, 300};

// The number of the CacheError that body throws; 0 when it throws none.
template <typename Body> int errorOf(Body body) {
    try {
        body();
    } catch (const CacheError& e) {
        return e.number();
    }
    return 0;
}

int number(ErrorCode code) {
    return protocol::errorNumber(code);
}

ScriptedPeer::Script on(Operation op, Action action) {
    return [op, action](const protocol::Request& r) -> std::optional<Action> {
        if (r.op == op) {
            return action;
        }
        return std::nullopt;
    };
}

Action silent() {
    Action a;
    a.kind = Action::Silent;
    return a;
}

Action closing() {
    Action a;
    a.kind = Action::Close;
    return a;
}

Action failing(ErrorCode code) {
    Action a;
    a.response = protocol::Response::failure(0, number(code), QStringLiteral("refused"));
    return a;
}

quint16 unusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// The TCP connectivity component against a scripted peer: every way a server can misbehave must
// end in a bounded wait, a numbered CacheError and a connection that reports itself down.
class TestTcpCache : public QObject {
    Q_OBJECT
private slots:
    void sessionCarriesRequestsAndValues() {
        ScriptedPeer peer([](const protocol::Request& r) -> std::optional<Action> {
            if (r.op == Operation::Get && r.name == QStringLiteral("PNR")) {
                Action a;
                a.response = protocol::Response::success(0, qint64(4711));
                return a;
            }
            return std::nullopt;
        });
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        QVERIFY(factory.isConnected());
        CacheObjectPtr user =
            factory.openId(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||DEMO"));
        QCOMPARE(user->property(QStringLiteral("PNAME")).toString(), QStringLiteral("PNAME:"));
        QCOMPARE(cacheValueToText(user->property(QStringLiteral("PNR"))), QStringLiteral("4711"));
        CacheObjectPtr windows = factory.classAccess(QStringLiteral("LX.Windows"));
        QCOMPARE(windows->call(QStringLiteral("Xecute"), {QStringLiteral("D ^%XTT")}).toString(),
                 QStringLiteral("Xecute:D ^%XTT"));

        const auto hello = peer.requests(Operation::Hello);
        QCOMPARE(hello.size(), 1);
        QCOMPARE(hello.first().nameSpace, QStringLiteral("LORVEX"));
        QCOMPARE(hello.first().version, protocol::Version);
        const auto open = peer.requests(Operation::Open).value(0);
        QCOMPARE(open.className, QStringLiteral("LX.ParPersEdv"));
        QCOMPARE(open.id, QStringLiteral("1||DEMO"));
        QCOMPARE(peer.requests(Operation::ClassAccess).value(0).className,
                 QStringLiteral("LX.Windows"));
    }

    void malformedConnectStringThrows() {
        TcpCacheFactory factory(ShortTimeouts);
        QCOMPARE(errorOf([&] { factory.connect(QStringLiteral("127.0.0.1:1972")); }),
                 number(ErrorCode::MalformedConnectString));
        QVERIFY(!factory.isConnected());
    }

    void connectFailsQuicklyWithoutAServer() {
        TcpCacheFactory factory(ShortTimeouts);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(
            !factory.connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:LORVEX").arg(unusedPort())));
        QVERIFY(clock.elapsed() < ShortTimeouts.connectMs + 500);
        QVERIFY(!factory.isConnected());
        QCOMPARE(errorOf([&] { factory.classAccess(QStringLiteral("LX.Windows")); }),
                 number(ErrorCode::NotConnected));
    }

    void connectFailsOnSilentOrRefusingHandshake_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("silent") << 0;
        QTest::newRow("unknown namespace") << 1;
        QTest::newRow("closes") << 2;
    }
    void connectFailsOnSilentOrRefusingHandshake() {
        QFETCH(int, kind);
        const Action action = kind == 0   ? silent()
                              : kind == 1 ? failing(ErrorCode::UnknownNamespace)
                                          : closing();
        ScriptedPeer peer(on(Operation::Hello, action));
        TcpCacheFactory factory(ShortTimeouts);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!factory.connect(peer.connectString()));
        QVERIFY(clock.elapsed() < ShortTimeouts.connectMs + 500);
        QVERIFY(!factory.isConnected());
    }

    void silentPeerTimesOutAndTheConnectionIsDown() {
        ScriptedPeer peer(on(Operation::Get, silent()));
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr object = factory.openId(QStringLiteral("C"), QStringLiteral("1||X"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(errorOf([&] { object->property(QStringLiteral("P")); }),
                 number(ErrorCode::Timeout));
        QVERIFY(clock.elapsed() >= ShortTimeouts.requestMs - 50);
        QVERIFY(clock.elapsed() < ShortTimeouts.requestMs + 500);
        QVERIFY(!factory.isConnected());
        QCOMPARE(errorOf([&] { object->call(QStringLiteral("M")); }),
                 number(ErrorCode::NotConnected));
        QVERIFY(peer.waitForConnectionsEnded(1));
    }

    void lateReplyIsNeverTakenForTheNextAnswer() {
        Action late;
        late.delayMs = ShortTimeouts.requestMs + 200;
        late.response = protocol::Response::success(0, QStringLiteral("stale"));
        ScriptedPeer peer(on(Operation::Get, late));
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr object = factory.classAccess(QStringLiteral("Telemetrie.Kassa"));
        QCOMPARE(errorOf([&] { object->property(QStringLiteral("P")); }),
                 number(ErrorCode::Timeout));
        QTest::qWait(late.delayMs); // the stale reply is on its way now
        QCOMPARE(errorOf([&] { object->call(QStringLiteral("NichtVerbuchtStatus")); }),
                 number(ErrorCode::NotConnected));
        // A fresh connection starts clean.
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr again = factory.classAccess(QStringLiteral("Telemetrie.Kassa"));
        QCOMPARE(again->call(QStringLiteral("NichtVerbuchtStatus")).toString(),
                 QStringLiteral("NichtVerbuchtStatus:"));
    }

    void replyToAnotherRequestIsRefused() {
        Action wrongSeq;
        wrongSeq.keepSeq = true;
        wrongSeq.response = protocol::Response::success(999, QStringLiteral("other"));
        ScriptedPeer peer(on(Operation::Call, wrongSeq));
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr handle = factory.classAccess(QStringLiteral("LX.Windows"));
        QCOMPARE(
            errorOf([&] { handle->call(QStringLiteral("Xecute"), {QStringLiteral("D ^%XTT")}); }),
            number(ErrorCode::BadReply));
        QVERIFY(!factory.isConnected());
    }

    void garbageRepliesEndTheConnection_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("oversized header") << QByteArray::fromHex("7fffffff00");
        QTest::newRow("zero length") << QByteArray::fromHex("00000000");
        QTest::newRow("not cbor") << protocol::encodeFrame(QByteArray::fromHex("ff"));
        QTest::newRow("lying text length")
            << protocol::encodeFrame(QByteArray::fromHex("7b7fffffffffffffff"));
        QTest::newRow("two replies")
            << protocol::encodeFrame(QByteArray::fromHex("a1626f6bf5")) +
                   protocol::encodeFrame(QByteArray::fromHex("a1626f6bf5"));
    }
    void garbageRepliesEndTheConnection() {
        QFETCH(QByteArray, bytes);
        Action raw;
        raw.kind = Action::Raw;
        raw.bytes = bytes;
        ScriptedPeer peer(on(Operation::Get, raw));
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr object = factory.openId(QStringLiteral("C"), QStringLiteral("1||X"));
        QCOMPARE(errorOf([&] { object->property(QStringLiteral("P")); }),
                 number(ErrorCode::BadReply));
        QVERIFY(!factory.isConnected());
    }

    void peerClosingMidCallOrWhileIdleIsNoticed() {
        ScriptedPeer peer(on(Operation::Call, closing()));
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr handle = factory.classAccess(QStringLiteral("LX.Windows"));
        QCOMPARE(errorOf([&] { handle->call(QStringLiteral("Xecute")); }),
                 number(ErrorCode::ConnectionLost));
        QVERIFY(!factory.isConnected());

        // Idle: the peer drops the connection after answering; isConnected notices without a call.
        ScriptedPeer idle([](const protocol::Request& r) -> std::optional<Action> {
            if (r.op == Operation::ClassAccess) {
                Action a;
                a.response = protocol::Response::withHandle(0, 5);
                a.kind = Action::Reply;
                return a;
            }
            return std::nullopt;
        });
        QVERIFY(factory.connect(idle.connectString()));
        QVERIFY(factory.isConnected());
        factory.disconnect();
        QVERIFY(!factory.isConnected());
        QVERIFY(idle.waitForConnectionsEnded(1));
        QCOMPARE(idle.requests().last().op, Operation::Bye);
    }

    void errorRepliesKeepOrEndTheSessionByNumber() {
        ScriptedPeer peer([](const protocol::Request& r) -> std::optional<Action> {
            if (r.op == Operation::Open) {
                return failing(ErrorCode::NoSuchObject);
            }
            if (r.op == Operation::ClassAccess) {
                return failing(ErrorCode::TooManyOpenObjects);
            }
            return std::nullopt;
        });
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        QCOMPARE(errorOf([&] {
                     factory.openId(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||NONE"));
                 }),
                 number(ErrorCode::NoSuchObject));
        QVERIFY(factory.isConnected());
        QCOMPARE(errorOf([&] { factory.classAccess(QStringLiteral("LX.Windows")); }),
                 number(ErrorCode::TooManyOpenObjects));
        QVERIFY(!factory.isConnected());
    }

    void droppingAnObjectClosesItOnTheServerOnce() {
        ScriptedPeer peer;
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        qint64 dropped = 0;
        {
            CacheObjectPtr object = factory.openId(QStringLiteral("C"), QStringLiteral("1||A"));
            dropped = peer.requests(Operation::Open).size(); // handle 1
        }
        CacheObjectPtr closedFirst = factory.classAccess(QStringLiteral("LX.Windows")); // handle 2
        closedFirst->sysClose();
        QCOMPARE(errorOf([&] { closedFirst->call(QStringLiteral("Xecute")); }),
                 number(ErrorCode::ObjectClosed));
        closedFirst.reset();
        QList<qint64> closed;
        for (const auto& r : peer.requests(Operation::Close)) {
            closed << r.handle;
        }
        QCOMPARE(closed, QList<qint64>({dropped, 2}));
    }

    void objectsOutlivingTheirSessionAreSafe() {
        ScriptedPeer peer;
        auto factory = std::make_unique<TcpCacheFactory>(ShortTimeouts);
        QVERIFY(factory->connect(peer.connectString()));
        CacheObjectPtr survivor = factory->openId(QStringLiteral("C"), QStringLiteral("1||A"));
        CacheObjectPtr orphan = factory->classAccess(QStringLiteral("LX.Windows"));
        factory->disconnect();
        QCOMPARE(errorOf([&] { survivor->property(QStringLiteral("P")); }),
                 number(ErrorCode::NotConnected));
        survivor.reset();
        factory.reset(); // the factory goes first; the handle still holds the dead session
        orphan.reset();
        QVERIFY(peer.requests(Operation::Close).isEmpty());
        QCOMPARE(peer.requests().last().op, Operation::Bye);
    }

    // A call waits in the event loop: a timer 20 ms into the call runs at once, long before the
    // reply or the timeout. Another call from there is refused without touching the socket; a
    // disconnect from there cuts the waiting call off.
    void windowEventsRunWhileACallWaits_data() {
        QTest::addColumn<int>("replyDelayMs"); // -1: never
        QTest::addColumn<bool>("disconnect");
        QTest::addColumn<int>("expectedError");
        QTest::newRow("slow answer") << 300 << false << 0;
        QTest::newRow("no answer") << -1 << false << number(ErrorCode::Timeout);
        QTest::newRow("disconnected") << -1 << true << number(ErrorCode::ConnectionLost);
    }
    void windowEventsRunWhileACallWaits() {
        QFETCH(int, replyDelayMs);
        QFETCH(bool, disconnect);
        QFETCH(int, expectedError);
        Action reply = silent();
        if (replyDelayMs >= 0) {
            reply = Action();
            reply.delayMs = replyDelayMs;
            reply.response = protocol::Response::success(0, QStringLiteral("done"));
        }
        ScriptedPeer peer(on(Operation::Call, reply));
        TcpCacheFactory factory(TcpTimeouts{500, 1500, 300});
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr handle = factory.classAccess(QStringLiteral("Telemetrie.Kassa"));
        QElapsedTimer clock;
        clock.start();
        qint64 handledAt = -1;
        int nestedError = 0;
        QTimer::singleShot(20, [&] {
            handledAt = clock.elapsed();
            if (disconnect) {
                factory.disconnect();
            } else {
                nestedError = errorOf([&] { factory.classAccess(QStringLiteral("LX.Windows")); });
            }
        });
        QCOMPARE(errorOf([&] { handle->call(QStringLiteral("NichtVerbuchtStatus")); }),
                 expectedError);
        // Handled before the answer came, or long before the timeout.
        QVERIFY(handledAt >= 0 && handledAt < (replyDelayMs >= 0 ? replyDelayMs : 1000));
        QVERIFY(clock.elapsed() < (disconnect ? 1000 : 2000));
        QCOMPARE(factory.isConnected(), expectedError == 0);
        QCOMPARE(nestedError, disconnect ? 0 : number(ErrorCode::Busy));
        QCOMPARE(peer.requests(Operation::ClassAccess).size(), 1);
    }

    void tooManyArgumentsAreRefusedBeforeSending() {
        ScriptedPeer peer;
        TcpCacheFactory factory(ShortTimeouts);
        QVERIFY(factory.connect(peer.connectString()));
        CacheObjectPtr handle = factory.classAccess(QStringLiteral("LX.Windows"));
        const QList<CacheValue> args(40, QStringLiteral("x"));
        QCOMPARE(errorOf([&] { handle->call(QStringLiteral("Xecute"), args); }),
                 number(ErrorCode::TooManyArguments));
        QVERIFY(factory.isConnected());
        QVERIFY(peer.requests(Operation::Call).isEmpty());
    }

    void creatorMakesIndependentFactories() {
        const CacheFactoryCreator create = tcpCacheFactoryCreator(ShortTimeouts);
        const auto first = create();
        const auto second = create();
        QVERIFY(first && second && first.get() != second.get());
        QCOMPARE(static_cast<TcpCacheFactory&>(*first).timeouts().requestMs,
                 ShortTimeouts.requestMs);
    }
};

QTEST_GUILESS_MAIN(TestTcpCache)
#include "tst_objectclient.moc"
