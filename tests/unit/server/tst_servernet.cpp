#include "AddressKey.h"
#include "ClientSession.h"
#include "PasswordHash.h"
#include "PeerDeadlines.h"
#include "ServerError.h"
#include "ServerListener.h"
#include "ServerLog.h"
#include "Store.h"

#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

QByteArray requestFrame(protocol::Request request, qint64 seq) {
    request.seq = seq;
    return protocol::encodeFrame(protocol::encodeRequest(request).value());
}

QByteArray helloFrame() {
    return requestFrame(protocol::Request::hello(QStringLiteral("LORVEX"), protocol::Version), 1);
}

// A peer in this thread; the listener runs while the test waits.
struct Peer {
    QTcpSocket socket;
    protocol::FrameReader reader;

    explicit Peer(quint16 port, const QHostAddress& from = {}) {
        if (!from.isNull()) {
            socket.bind(from);
        }
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool connected() {
        return QTest::qWaitFor([this] { return isOpen(); }, 5000);
    }
    bool isOpen() const { return socket.state() == QAbstractSocket::ConnectedState; }
    bool cutWithin(int ms) {
        return QTest::qWaitFor([this] { return !isOpen(); }, ms);
    }
    // The handshake and a sign-in; true when both were accepted.
    bool signIn(const QString& code) {
        socket.write(
            helloFrame() +
            requestFrame(protocol::Request::signIn(QStringLiteral("1"), code, QStringLiteral("pw")),
                         2));
        const auto hello = reply();
        const auto signedIn = reply();
        return hello && hello->ok && signedIn && signedIn->value == QVariant(true);
    }
    std::optional<protocol::Response> reply() {
        const bool arrived = QTest::qWaitFor(
            [this] {
                reader.feed(socket.readAll());
                return reader.hasFrame();
            },
            15000); // a sign-in takes a slow hash, slower still on a busy machine
        if (!arrived) {
            return std::nullopt;
        }
        const std::optional<QByteArray> frame = reader.takeFrame();
        if (!frame) {
            return std::nullopt;
        }
        const auto decoded = protocol::decodeResponse(*frame);
        return decoded.ok() ? std::optional(decoded.value()) : std::nullopt;
    }
};

} // namespace

// Sessions of a listener in this process, with short timeouts: how the server deals with peers
// that stall, break the framing or send long texts.
class TestServerNet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<ServerLog> m_log;
    std::unique_ptr<ServerListener> m_listener;
    QStringList m_lines;
    quint16 m_port = 0;

    void listenWith(const ServerLimits& limits) {
        m_listener.reset();
        m_listener = std::make_unique<ServerListener>(*m_store, *m_log, limits);
        QVERIFY(m_listener->listen({QHostAddress(QHostAddress::LocalHost), 0}));
        m_port = m_listener->ports().first();
    }
    void addUser(const QString& code) {
        UserRecord user;
        user.firma = 1;
        user.code = code;
        user.passwordHash = QString::fromLatin1(PasswordHash::make(QStringLiteral("pw")));
        user.aktiv = QStringLiteral("J");
        user.berGrp = QStringLiteral("9");
        m_store->putUser(user);
    }

private slots:
    void init() {
        m_lines.clear();
        QFile::remove(m_dir.filePath(QStringLiteral("session.db")));
        m_store = std::make_unique<Store>(m_dir.filePath(QStringLiteral("session.db")));
        m_log = std::make_unique<ServerLog>([this](const QString& line) { m_lines << line; });
        ServerLimits limits;
        limits.timeouts = {300, 2000};
        listenWith(limits);
    }
    void cleanup() {
        m_listener.reset();
        m_log.reset();
        m_store.reset();
    }

    void stalledPeersAreCutWorkingOnesStay() {
        Peer silent(m_port);
        QVERIFY(silent.connected());

        // A handshake a byte at a time would take seconds; the bytes keep coming, yet the
        // frame has to be whole within the stall time.
        Peer trickle(m_port);
        QVERIFY(trickle.connected());
        const QByteArray hello = helloFrame();
        qsizetype sent = 0;
        QTimer drip;
        connect(&drip, &QTimer::timeout, this, [&] {
            if (sent < hello.size() && trickle.isOpen()) {
                trickle.socket.write(hello.mid(sent++, 1));
            }
        });
        drip.start(100);

        Peer working(m_port);
        QVERIFY(working.connected());
        working.socket.write(hello);
        QVERIFY(working.reply().has_value());
        for (int i = 0; i < 6; ++i) { // 1.2 s of requests, each within the idle time
            QTest::qWait(200);
            working.socket.write(requestFrame(protocol::Request::close(99), 2 + i));
            const auto reply = working.reply();
            QVERIFY(reply && reply->errorNumber == 5009); // not signed in: answered, not cut
        }
        QVERIFY(!silent.isOpen());
        QVERIFY(!trickle.isOpen());
        QVERIFY(sent < hello.size());
        QVERIFY(working.isOpen());
        QVERIFY(working.cutWithin(6000)); // then silent after the handshake: the idle time
        QCOMPARE(m_lines.filter(QStringLiteral("ended: handshake or frame incomplete after 300 ms"))
                     .size(),
                 2);
        QCOMPARE(m_lines.filter(QStringLiteral("ended: no request for 2000 ms")).size(), 1);
        QCOMPARE(m_listener->sessionCount(), 0);
    }

    void requestsBeforeABadHeaderAreAnsweredFirst() {
        Peer peer(m_port);
        QVERIFY(peer.connected());
        peer.socket.write(helloFrame() + QByteArray("\xff\xff\xff\xff", 4));
        const auto hello = peer.reply();
        QVERIFY(hello && hello->ok && hello->seq == 1);
        const auto error = peer.reply();
        QVERIFY(error && !error->ok);
        QCOMPARE(error->errorNumber, 1001);
        QVERIFY(peer.cutWithin(3000));
    }

    void aPeersLongTextIsCutInTheLog() {
        addUser(QStringLiteral("LANG"));
        Peer peer(m_port);
        QVERIFY(peer.connected());
        // Before the sign-in a frame may hold a few KiB only; after it, the general limit.
        const QString longCode = QString(1500, u'X') + QStringLiteral("\nlorvex-server: forged");
        const QString longText = QString(100000, u'X') + QStringLiteral("\nlorvex-server: forged");
        peer.socket.write(
            helloFrame() +
            requestFrame(protocol::Request::signIn(QStringLiteral("1"), longCode, longCode), 2) +
            requestFrame(protocol::Request::signIn(QStringLiteral("1"), QStringLiteral("LANG"),
                                                   QStringLiteral("pw")),
                         3));
        QVERIFY(peer.reply().has_value());
        const auto refused = peer.reply();
        QVERIFY(refused && refused->ok && refused->value == QVariant(false));
        const auto accepted = peer.reply();
        QVERIFY(accepted && accepted->ok && accepted->value == QVariant(true));
        peer.socket.write(requestFrame(protocol::Request::open(QStringLiteral("LX.ParPersAbt"),
                                                               QStringLiteral("1||") + longText),
                                       4));
        const auto notFound = peer.reply();
        QVERIFY(notFound && notFound->errorNumber == 5001);
        for (const QString& kind : {QStringLiteral("error 5001"), QStringLiteral("refused")}) {
            const QStringList lines = m_lines.filter(kind);
            QCOMPARE(lines.size(), 1);
            QVERIFY(lines.first().size() < 400);
        }
        QVERIFY(m_lines.filter(QStringLiteral("forged")).isEmpty());
        QVERIFY(m_lines.filter(QStringLiteral("pw")).isEmpty());
    }

    void unfinishedFramesStayWithinTheirBudget() {
        ServerLimits limits;
        limits.frameBudgetBytes = 1024 * 1024;
        limits.timeouts = {1500, 5000};
        listenWith(limits);
        // Before its sign-in a peer cannot even start a large frame.
        Peer anonymous(m_port);
        QVERIFY(anonymous.connected());
        anonymous.socket.write(helloFrame() + QByteArray("\x00\x10\x00\x00", 4) +
                               QByteArray(1000, 'x'));
        QVERIFY(anonymous.reply().has_value());
        const auto refused = anonymous.reply();
        QVERIFY(refused && refused->errorNumber == 1001);

        // Signed-in peers, each most of a large frame: together never more than the budget.
        addUser(QStringLiteral("GROSS"));
        std::vector<std::unique_ptr<Peer>> peers;
        for (int i = 0; i < 4; ++i) {
            peers.push_back(std::make_unique<Peer>(m_port));
            QVERIFY(peers.back()->signIn(QStringLiteral("GROSS")));
            peers.back()->socket.write(QByteArray("\x00\x10\x00\x00", 4) +
                                       QByteArray(700 * 1024, 'x'));
        }
        QVERIFY(QTest::qWaitFor(
            [&] { return m_listener->frameBudget().used() > limits.frameBudgetBytes / 2; }, 5000));
        QTest::qWait(300);
        QVERIFY(m_listener->frameBudget().used() <= limits.frameBudgetBytes);
        // The stall cut frees what they held.
        QVERIFY(QTest::qWaitFor([&] { return m_listener->sessionCount() == 0; }, 8000));
        QCOMPARE(m_listener->frameBudget().used(), 0);
    }

    void aPeerThatDoesNotReadIsCutAndItsRepliesFreed() {
        ServerLimits limits;
        limits.timeouts = {500, 5000};
        listenWith(limits);
        addUser(QStringLiteral("LESEFAUL"));
        Peer lazy(m_port);
        QVERIFY(lazy.connected());
        QVERIFY(lazy.signIn(QStringLiteral("LESEFAUL")));
        lazy.socket.setReadBufferSize(1); // reads nothing more
        // Each answered with an error reply that quotes the 60 KB id: 18 MB of replies.
        const QString id = QStringLiteral("1||") + QString(60000, u'Y');
        for (int i = 0; i < 300; ++i) {
            lazy.socket.write(
                requestFrame(protocol::Request::open(QStringLiteral("LX.ParPersAbt"), id), 10 + i));
        }
        QVERIFY(QTest::qWaitFor([&] { return m_listener->sessionCount() == 0; }, 10000));
        QVERIFY(!m_lines.filter(QStringLiteral("ended: replies not read for 500 ms")).isEmpty());
        QCOMPARE(m_listener->replyBudget().used(), 0);
        QCOMPARE(m_lines.filter(QStringLiteral("error 5001")).size(),
                 ClientSession::kMaxLoggedErrors);
        QCOMPARE(m_lines.filter(QStringLiteral("more errors like these")).size(), 1);
    }

    void oneAddressCannotTakeEveryPlace() {
        ServerLimits limits;
        limits.maxSessionsPerAddress = 2;
        listenWith(limits);
        Peer first(m_port);
        Peer second(m_port);
        for (Peer* peer : {&first, &second}) {
            QVERIFY(peer->connected());
            peer->socket.write(helloFrame());
            QVERIFY(peer->reply().has_value());
        }
        Peer third(m_port);
        const auto full = third.reply();
        QVERIFY(full && !full->ok);
        QCOMPARE(full->errorNumber, protocol::errorNumber(protocol::ErrorCode::ServerFull));
        QVERIFY(third.cutWithin(3000));
        // Another address still finds a place.
        Peer elsewhere(m_port, QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(elsewhere.connected());
        elsewhere.socket.write(helloFrame());
        const auto hello = elsewhere.reply();
        QVERIFY(hello && hello->ok);
        QCOMPARE(m_lines.filter(QStringLiteral("refused: 2 sessions from 127.0.0.1")).size(), 1);
    }

    void aPipeliningPeerDoesNotStarveOthers() {
        Peer flood(m_port);
        Peer other(m_port);
        for (Peer* peer : {&flood, &other}) {
            QVERIFY(peer->connected());
            peer->socket.write(helloFrame());
            QVERIFY(peer->reply().has_value());
        }
        QByteArray burst;
        for (int i = 0; i < 1000; ++i) {
            burst += requestFrame(protocol::Request::close(99), 2 + i);
        }
        flood.socket.write(burst);
        flood.socket.flush();
        other.socket.write(requestFrame(protocol::Request::close(7), 2));
        const auto answered = other.reply();
        QVERIFY(answered && answered->seq == 2);
        flood.reader.feed(flood.socket.readAll());
        int floodAnswered = 0;
        while (flood.reader.takeFrame()) {
            ++floodAnswered;
        }
        QVERIFY2(floodAnswered < 1000, qPrintable(QString::number(floodAnswered)));
    }

    // Every place, part and log allowance is counted under this key: one IPv6 peer holding a
    // whole network must not get a fresh one for each of its addresses.
    void addressKeysCountANetworkOnce_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("key");
        QTest::newRow("IPv4") << "192.0.2.7" << 64 << "192.0.2.7";
        QTest::newRow("IPv4 mapped into IPv6") << "::ffff:192.0.2.7" << 64 << "192.0.2.7";
        QTest::newRow("IPv6, /64") << "2001:db8:1:2::5" << 64 << "2001:db8:1:2::/64";
        QTest::newRow("IPv6, same /64") << "2001:db8:1:2:ffff:1:2:3" << 64 << "2001:db8:1:2::/64";
        QTest::newRow("IPv6, next /64") << "2001:db8:1:3::5" << 64 << "2001:db8:1:3::/64";
        QTest::newRow("IPv6, /60 cuts a nibble")
            << "2001:db8:0:1f::1" << 60 << "2001:db8:0:10::/60";
        QTest::newRow("IPv6, /128 is the address") << "2001:db8::5" << 128 << "2001:db8::5/128";
        QTest::newRow("loopback") << "::1" << 64 << "::/64";
    }
    void addressKeysCountANetworkOnce() {
        QFETCH(QString, address);
        QFETCH(int, prefix);
        QFETCH(QString, key);
        QCOMPARE(AddressKey::of(QHostAddress(address), prefix), key);
    }

    void aLockedDatabaseStallsNoSession() {
        addUser(QStringLiteral("LOCK"));
        m_store->putRegister({1, 0, 1, "3", "1", "10", "11"});
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "holder");
        other.setDatabaseName(m_dir.filePath(QStringLiteral("session.db")));
        QVERIFY(other.open());
        QSqlQuery hold(other);
        QVERIFY(hold.exec("BEGIN IMMEDIATE"));
        QVERIFY(hold.exec("INSERT INTO tm_register VALUES (1, 0, 2, '4', '1', '1', '1')"));

        QElapsedTimer clock;
        clock.start();
        Peer reader(m_port);
        QVERIFY(reader.connected());
        QVERIFY(reader.signIn(QStringLiteral("LOCK")));
        reader.socket.write(
            requestFrame(protocol::Request::classAccess(QStringLiteral("LX.Windows")), 3) +
            requestFrame(protocol::Request::call(1, QStringLiteral("Xecute"), {"S FIRMA=1,FIL=0"}),
                         4) +
            requestFrame(protocol::Request::classAccess(QStringLiteral("Telemetrie.Kassa")), 5) +
            requestFrame(protocol::Request::call(2, QStringLiteral("NichtVerbuchtStatus"), {}), 6));
        std::optional<protocol::Response> last;
        for (int i = 0; i < 4; ++i) {
            last = reader.reply();
        }
        QVERIFY(last && last->ok);
        QCOMPARE(last->value.toString(), QStringLiteral("3|1|10|11|")); // readers never wait
        QVERIFY(clock.elapsed() < 2000);

        // A writer of the serving process waits only briefly, then says so.
        Store writer(m_dir.filePath(QStringLiteral("session.db")), Store::kServingBusyTimeoutMs);
        clock.restart();
        try {
            writer.putClock({1, 0, 1, "1", "1", "1", "1", "1"});
            QFAIL("the write went through a held lock");
        } catch (const ServerError& error) {
            QCOMPARE(error.number(), ServerErrorNumber::StoreBusy);
        }
        QVERIFY(clock.elapsed() < 1000);
        hold.exec("ROLLBACK");
    }
};

QTEST_GUILESS_MAIN(TestServerNet)
#include "tst_servernet.moc"
