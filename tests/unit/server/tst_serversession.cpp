#include "PasswordHash.h"
#include "ServerListener.h"
#include "ServerLog.h"
#include "SessionTimeouts.h"
#include "Store.h"

#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

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

    explicit Peer(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }
    bool connected() {
        return QTest::qWaitFor([this] { return isOpen(); }, 5000);
    }
    bool isOpen() const { return socket.state() == QAbstractSocket::ConnectedState; }
    bool cutWithin(int ms) {
        return QTest::qWaitFor([this] { return !isOpen(); }, ms);
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
class TestServerSession : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<ServerLog> m_log;
    std::unique_ptr<ServerListener> m_listener;
    QStringList m_lines;
    quint16 m_port = 0;

private slots:
    void init() {
        m_lines.clear();
        m_store = std::make_unique<Store>(m_dir.filePath(QStringLiteral("session.db")));
        m_log = std::make_unique<ServerLog>([this](const QString& line) { m_lines << line; });
        m_listener = std::make_unique<ServerListener>(*m_store, *m_log);
        m_listener->setSessionTimeouts({300, 2000});
        QVERIFY(m_listener->listen({QHostAddress(QHostAddress::LocalHost), 0}));
        m_port = m_listener->ports().first();
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
        UserRecord user;
        user.firma = 1;
        user.code = QStringLiteral("LANG");
        user.passwordHash = QString::fromLatin1(PasswordHash::make(QStringLiteral("pw")));
        user.aktiv = QStringLiteral("J");
        m_store->putUser(user);
        Peer peer(m_port);
        QVERIFY(peer.connected());
        const QString longText = QString(100000, u'X') + QStringLiteral("\nlorvex-server: forged");
        peer.socket.write(
            helloFrame() +
            requestFrame(protocol::Request::signIn(QStringLiteral("1"), longText, longText), 2) +
            requestFrame(protocol::Request::signIn(QStringLiteral("1"), QStringLiteral("LANG"),
                                                   QStringLiteral("pw")),
                         3) +
            requestFrame(protocol::Request::open(QStringLiteral("LX.ParPersAbt"),
                                                 QStringLiteral("1||") + longText),
                         4));
        QVERIFY(peer.reply().has_value());
        const auto refused = peer.reply();
        QVERIFY2(refused && refused->ok && refused->value == QVariant(false),
                 qPrintable(m_lines.join("\n")));
        const auto accepted = peer.reply();
        QVERIFY(accepted && accepted->ok && accepted->value == QVariant(true));
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
};

QTEST_GUILESS_MAIN(TestServerSession)
#include "tst_serversession.moc"
