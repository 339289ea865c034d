#include "FakeFormHost.h"
#include "FakePlatform.h"
#include "ServerProcess.h"
#include "access/CacheApi.h"
#include "monitors/frmKassa.h"
#include "monitors/frmZeiterfassung.h"
#include "objectclient/TcpCacheFactory.h"
#include "platform/ListControl.h"
#include "signin/SignIn.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

const QStringList kDemoKassa{"3;6;810;817", "5;4;020;023", "7;0;1200;1200", "12;007;4410;4416"};
const QStringList kDemoZeit{"1;10250;10250;0;5120;5120;0", "2;8800;8800;0;4400;4400;0",
                            "3;7300;7297;3;3650;3650;0", "4;620;620;0;310;310;0"};

// The real client code signed in as the demo user against a real server; time is fake.
struct SignedIn {
    FakePlatform desktop;
    FakeFormHost forms{desktop.time};
    SignInState state;
    std::unique_ptr<CacheApi> api;

    explicit SignedIn(const ServerProcess& server) {
        api = std::make_unique<CacheApi>(state, desktop.platform, forms, tcpCacheFactoryCreator());
        SignIn signIn(*api, QString("1 0 DEMO demo 127.0.0.1 %1").arg(server.port()));
        signedIn = signIn.CheckLogin();
    }
    bool signedIn = false;
};

QStringList rowsOf(const ListControl& list) {
    QStringList rows;
    for (int i = 0; i < list.rowCount(); ++i) {
        rows << list.rowText(i);
    }
    return rows;
}

struct PrintResult {
    int exitCode = -1;
    QStringList lines;
    QString error;
    qint64 ms = 0;
    QByteArray output;
};

PrintResult runPrint(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(LORVEX_MONITOR_EXECUTABLE), QStringList{"--print"} + arguments);
    process.write(input);
    process.closeWriteChannel();
    PrintResult result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        result.error = "did not finish";
        return result;
    }
    result.ms = clock.elapsed();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.lines = QString::fromUtf8(result.output).split('\n', Qt::SkipEmptyParts);
    result.error = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace

class TestMonitorsEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void monitorsShowTheDemoBranchAndFollowChanges() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        SignedIn program(server);
        QVERIFY(program.signedIn);

        QPointer<frmKassa> kassa = new frmKassa(*program.api, nullptr);
        kassa->Form_Load();
        QCOMPARE(rowsOf(*kassa->lstKassa), kDemoKassa);
        QPointer<frmZeiterfassung> zeit = new frmZeiterfassung(*program.api, nullptr);
        zeit->Form_Load();
        QCOMPARE(rowsOf(*zeit->lstZeit), kDemoZeit);

        QCOMPARE(server.runAdmin({"set-register", "--firma", "1", "--branch", "0", "--register",
                                  "7", "--count", "5", "--first", "1300", "--last", "1305"}),
                 0);
        QCOMPARE(server.runAdmin({"set-clock", "--firma", "1", "--branch", "0", "--slot", "4",
                                  "--number", "4", "--e-ist", "700", "--e-soll", "620", "--s-ist",
                                  "310", "--s-soll", "310"}),
                 0);
        program.desktop.time.advance(10000);
        QCOMPARE(rowsOf(*kassa->lstKassa).at(2), QString("7;5;1200;1305"));
        QCOMPARE(rowsOf(*zeit->lstZeit).at(3), QString("4;700;620;80;310;310;0"));
        QVERIFY(!kassa->controller().isStale());

        // The server goes away: the rows stay, marked old, and nothing ends the program
        // until the connection rules give up.
        const QStringList before = rowsOf(*kassa->lstKassa);
        server.kill();
        program.api->connection().setFailFast(true);
        kassa->cmdRefresh_Click();
        QCOMPARE(rowsOf(*kassa->lstKassa), before);
        QVERIFY(kassa->controller().isStale());
        QCOMPARE(program.desktop.processEnd.endCount, 0);
        delete kassa;
        delete zeit;
    }

    void aNewConnectionSignsInAgainUnnoticed() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        SignedIn program(server);
        QVERIFY(program.signedIn);
        QPointer<frmKassa> kassa = new frmKassa(*program.api, nullptr);
        kassa->Form_Load();
        QCOMPARE(rowsOf(*kassa->lstKassa), kDemoKassa);

        program.api->connection().DisconnectCache(); // what the idle timer does after 60 s
        kassa->lstKassa->clear();
        kassa->cmdRefresh_Click();
        QCOMPARE(rowsOf(*kassa->lstKassa), kDemoKassa);
        // The new connection signs in with the token of the first: no second password check.
        QCOMPARE(server.log().count("signed in as DEMO"), 1);
        QCOMPARE(server.log().count("signed in again as DEMO"), 1);

        QVERIFY2(server.restart(), qPrintable(server.errorText()));
        kassa->lstKassa->clear();
        kassa->cmdRefresh_Click();
        QCOMPARE(rowsOf(*kassa->lstKassa), kDemoKassa);
        QVERIFY(!kassa->controller().isStale());
        // The restarted server takes the token too: it is kept in the database.
        QCOMPARE(server.log().count("signed in as DEMO"), 0);
        QCOMPARE(server.log().count("signed in again as DEMO"), 1);
        QVERIFY(program.desktop.messages.shown.isEmpty());
        delete kassa;
    }

    void printModeMatchesTheWindows() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const QString port = QString::number(server.port());

        const PrintResult kassa = runPrint({"kassa", "1", "0", "DEMO", "demo", "127.0.0.1", port});
        QCOMPARE(kassa.exitCode, 0);
        QCOMPARE(kassa.lines, kDemoKassa);
        QVERIFY2(kassa.error.isEmpty(), qPrintable(kassa.error));
        const PrintResult zeit = runPrint({"zeit", "1", "0", "DEMO", "demo", "127.0.0.1", port});
        QCOMPARE(zeit.exitCode, 0);
        QCOMPARE(zeit.lines, kDemoZeit);

        SignedIn program(server);
        QVERIFY(program.signedIn);
        QPointer<frmKassa> window = new frmKassa(*program.api, nullptr);
        window->Form_Load();
        QCOMPARE(rowsOf(*window->lstKassa), kassa.lines);
        delete window;

        // The same rows for scripts, the password read from standard input.
        const PrintResult json = runPrint(
            {"zeit", "1", "0", "DEMO", "-", "127.0.0.1", port, "--format", "json"}, "demo\n");
        QCOMPARE(json.exitCode, 0);
        QJsonParseError parseError{};
        const QJsonObject document = QJsonDocument::fromJson(json.output, &parseError).object();
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QCOMPARE(document.value("columns").toVariant().toStringList(),
                 QStringList({"Nr", "E Ist", "E Soll", "Diff", "S Ist", "S Soll", "Diff"}));
        QStringList jsonRows;
        for (const QJsonValue& row : document.value("rows").toArray()) {
            jsonRows << row.toVariant().toStringList().join(';');
        }
        QCOMPARE(jsonRows, kDemoZeit);

        const PrintResult csv =
            runPrint({"kassa", "--format=csv", "1", "0", "DEMO", "-", "127.0.0.1", port}, "demo");
        QCOMPARE(csv.exitCode, 0);
        QCOMPARE(csv.output, "\xEF\xBB\xBFNr;Anzahl;FirstCNT;LastCNT\r\n" +
                                 kDemoKassa.join("\r\n").toUtf8() + "\r\n");
        QCOMPARE(runPrint({"kassa", "1", "0", "DEMO", "-", "127.0.0.1", port}).exitCode, 2);

        // A register named "x;y" (legal on the wire and in the server) stays one cell.
        QCOMPARE(server.runAdmin({"set-register", "--firma", "1", "--branch", "0", "--register",
                                  "x;y", "--count", "1", "--first", "10", "--last", "10"}),
                 0);
        const QStringList base{"kassa", "1", "0", "DEMO", "demo", "127.0.0.1", port, "--format"};
        QVERIFY(runPrint(base + QStringList{"text"}).lines.contains("\"x;y\";1;10;10"));
        QVERIFY(runPrint(base + QStringList{"csv"}).lines.contains("\"x;y\";1;10;10\r"));
        const QJsonArray rows = QJsonDocument::fromJson(runPrint(base + QStringList{"json"}).output)
                                    .object()
                                    .value("rows")
                                    .toArray();
        const QJsonArray oneCell{"x;y", "1", "10", "10"};
        QVERIFY(rows.contains(oneCell));
    }

    void printModeFailsAtOnceWithAMessage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << QStringList{"kassa", "1", "0", "DEMO", "falsch"}
                                        << "Passwort Falsch oder Benutzer nicht Aktiv.";
        QTest::newRow("inactive user") << QStringList{"zeit", "1", "0", "ALT", "alt"}
                                       << "Passwort Falsch oder Benutzer nicht Aktiv.";
        // The server does not tell an unknown user from a wrong password.
        QTest::newRow("unknown user") << QStringList{"kassa", "1", "0", "NIEMAND", "x"}
                                      << "Passwort Falsch oder Benutzer nicht Aktiv.";
        QTest::newRow("bar in the user code")
            << QStringList{"kassa", "1", "0", "DEMO|X", "demo"} << "Ungültiger Personalcode";
        QTest::newRow("rights group below 8")
            << QStringList{"kassa", "1", "0", "LESER", "leser"} << "Keine Berechtigung";
    }
    void printModeFailsAtOnceWithAMessage() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const PrintResult result =
            runPrint(arguments + QStringList{"127.0.0.1", QString::number(server.port())});
        QVERIFY(result.exitCode > 0);
        QVERIFY2(result.error.contains(message), qPrintable(result.error));
        QVERIFY(result.lines.isEmpty());
        QVERIFY(!result.error.contains(arguments.at(4)) || arguments.at(4).size() < 3);
    }

    void printModeWithoutServerFailsFast() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const QString port = QString::number(server.port());
        server.stop();
        const PrintResult result = runPrint({"kassa", "1", "0", "DEMO", "demo", "127.0.0.1", port});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.error.contains("nicht erreichbar"), qPrintable(result.error));
        QVERIFY(result.ms < 10000); // no retries with 10-second pauses
    }
};

QTEST_MAIN(TestMonitorsEndToEnd)
#include "tst_monitors_e2e.moc"
