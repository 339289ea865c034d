#include "ServerEndToEnd.h"

#include "CacheErrorOf.h"
#include "PostgresCluster.h"
#include "RawPeer.h"
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

// The server's own error for a variable read before it was set (FIRMA before "S FIRMA=").
constexpr int kUndefinedVariable = 5050;

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

// The protocol and the object model as the client library meets them: the documented session byte
// for byte, numbered errors, the branch of the telemetry, closing objects.
class TestServerObjectsEndToEnd : public ServerEndToEndTest {
    Q_OBJECT

private slots:
    // Someone writing a client in another language has only the document: each client frame of
    // its sample session, sent as it stands, must draw exactly the reply printed under it.
    void documentedSessionIsWhatTheServerSends() {
        const QList<QPair<bool, QByteArray>> frames = documentedFrames();
        QVERIFY(frames.size() >= 16);
        RawPeer peer;
        QVERIFY(peer.connect(m_server.port()));
        // Request and reply alternate.
        for (qsizetype i = 0; i < frames.size(); i += 2) {
            QVERIFY2(frames[i].first, "every reply follows its request");
            QVERIFY(i + 1 < frames.size() && !frames[i + 1].first);
            peer.send(frames[i].second);
            const QByteArray reply = peer.readFrame();
            const QByteArray& expected = frames[i + 1].second;
            // A resume token ("resume", a text of 43 characters) is random: its length counts.
            const QByteArray token = QByteArray::fromHex("66726573756d65782b");
            const qsizetype at = expected.indexOf(token);
            const qsizetype same = at < 0 ? expected.size() : at + token.size();
            QCOMPARE(reply.size(), expected.size());
            QCOMPARE(reply.left(same).toHex(' '), expected.left(same).toHex(' '));
        }
        QVERIFY(peer.closedByServer()); // after bye
    }

    void anotherNamespaceIsRefused() {
        TcpCacheFactory other;
        QVERIFY(!other.connect(m_server.connectString("USER")));
        QVERIFY(!other.isConnected());
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
};

QTEST_GUILESS_MAIN(TestServerObjectsEndToEnd)
#include "tst_server_objects_e2e.moc"
