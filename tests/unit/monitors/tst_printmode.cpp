#include "FakeCache.h"
#include "FakePlatform.h"
#include "shell/PrintMode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// The print mode refuses a wrong call before it touches the server, and says why.
class TestPrintMode : public QObject {
    Q_OBJECT
private slots:
    void wrongCallsAreRefusedWithoutServerAccess_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << QStringList{} << "Aufruf: lorvex-monitor --print";
        QTest::newRow("too few") << QStringList{"kassa", "1", "0", "DEMO"} << "Aufruf:";
        QTest::newRow("too many") << QStringList{"kassa", "1",    "0",  "U", "P",
                                                 "S",     "1972", "NS", "X"}
                                  << "Aufruf:";
        QTest::newRow("unknown monitor")
            << QStringList{"lager", "1", "0", "U", "P"} << "Unbekannter Monitor \"lager\"";
        QTest::newRow("blank in a field")
            << QStringList{"zeit", "1", "0", "U", "P W"} << "Leerzeichen";
        QTest::newRow("empty field") << QStringList{"zeit", "1", "", "U", "P"} << "leer";
        QTest::newRow("company not a number")
            << QStringList{"kassa", "A", "0", "U", "P"} << "FIRMA und FILIALE müssen Zahlen sein";
        QTest::newRow("branch with a command")
            << QStringList{"kassa", "1", "0,X=1", "U", "P"} << "FIRMA und FILIALE";
        QTest::newRow("unknown format")
            << QStringList{"kassa", "1", "0", "U", "P", "--format", "xml"} << "--format";
        QTest::newRow("format without value")
            << QStringList{"kassa", "1", "0", "U", "P", "--format"} << "--format";
        QTest::newRow("format twice")
            << QStringList{"kassa", "--format=csv", "1", "0", "U", "P", "--format", "json"}
            << "--format";
        QTest::newRow("password from empty input")
            << QStringList{"kassa", "1", "0", "U", "-"} << "Kein Passwort";
    }
    void wrongCallsAreRefusedWithoutServerAccess() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        FakePlatform desktop;
        FakeCacheServer server;
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        PrintMode mode(desktop.platform, server.creator(), outStream, errStream);
        QCOMPARE(mode.run(arguments), PrintMode::ExitUsage);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(out.isEmpty());
        QCOMPARE(server.factoriesCreated, 0);
        QCOMPARE(desktop.messages.shown.size(), 0);
    }

    void monitorNameIgnoresCase() {
        FakePlatform desktop;
        FakeCacheServer server;
        server.connectResult = false;
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        PrintMode mode(desktop.platform, server.creator(), outStream, errStream);
        // Accepted as a call; fails at the connection at once, without further tries.
        QCOMPARE(mode.run({"KASSA", "1", "0", "U", "P"}), PrintMode::ExitFailed);
        QCOMPARE(server.callsStartingWith("connect").size(), 1);
        // So is the full command line of the window program, namespace included.
        QCOMPARE(mode.run({"zeit", "1", "0", "U", "P", "127.0.0.1", "1972", "LORVEX"}),
                 PrintMode::ExitFailed);
        QCOMPARE(server.callsStartingWith("connect").size(), 2);
        QCOMPARE(desktop.time.nowMs(), QTime(12, 0).msecsSinceStartOfDay());
        QVERIFY(out.isEmpty());
        QVERIFY2(err.contains("Anmeldung fehlgeschlagen"), qPrintable(err));
    }

    // Cells travel as cells from the reply to every format: a ";" in a register name stays in
    // its cell, a formula stays text in CSV, and nothing from the server reaches a terminal raw.
    void cellsReachEveryFormatWhole_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("text") << "text"
                              << QByteArray("\"x;y\";1;10;10\n"
                                            "e\\x1b[2Jz\\x0aneu;2;=1+2;-1205\n"
                                            "\"\\u{202e}\\\\ \"\"q\"\"\";1;1;1\n");
        QTest::newRow("csv") << "csv"
                             << QByteArray("\xEF\xBB\xBFNr;Anzahl;FirstCNT;LastCNT\r\n"
                                           "\"x;y\";1;10;10\r\n"
                                           "\"e\x1b[2Jz\nneu\";2;'=1+2;-1205\r\n"
                                           "\"\xE2\x80\xAE\\ \"\"q\"\"\";1;1;1\r\n");
        QTest::newRow("json") << "json"
                              << QByteArray("[\"x;y\",\"1\",\"10\",\"10\"]"
                                            "[\"e\\u001b[2Jz\\nneu\",\"2\",\"=1+2\",\"-1205\"]"
                                            "[\"\xE2\x80\xAE\\\\ \\\"q\\\"\",\"1\",\"1\",\"1\"]");
    }
    void cellsReachEveryFormatWhole() {
        QFETCH(QString, format);
        QFETCH(QByteArray, expected);
        FakePlatform desktop;
        FakeCacheServer server;
        server.addObject("LX.ParPersEdv", "1||U",
                         {{"Passwort", "P"},
                          {"AKTIV", "J"},
                          {"PNAME", "N"},
                          {"PNR", "7"},
                          {"AbtNr", "1"},
                          {"DW", ""},
                          {"BERGRP", "9"}});
        server.addObject("LX.ParPersAbt", "1||1", {{"abtbez", ""}, {"AbtNr", "1"}, {"HAbtNr", ""}});
        server.addObject("LX.PersBasis", "1||7", {{"fax", ""}, {"EMAIL", ""}});
        server.onCall = [](const QString& cls, const QString& method,
                           const QList<CacheValue>& args) {
            if (cls == "Telemetrie.Kassa") {
                return CacheValue(QString("x;y|1|10|10|e\x1b[2Jz\nneu|2|=1+2|-1205|"
                                          "\u202e\\ \"q\"|1|1|1"));
            }
            return method == "Xecute" ? CacheValue(QString()) : args.value(0);
        };
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        PrintMode mode(desktop.platform, server.creator(), outStream, errStream, QLocale::c());
        QCOMPARE(mode.run({"kassa", "1", "0", "U", "P", "--format", format}), PrintMode::ExitOk);
        QByteArray written = out.toUtf8();
        if (format == "csv") {
            written.prepend("\xEF\xBB\xBF"); // the stream's byte-order mark
        }
        if (format == "json") {
            QByteArray rows;
            const QJsonArray array =
                QJsonDocument::fromJson(written).object().value("rows").toArray();
            for (const QJsonValue& row : array) {
                rows += QJsonDocument(row.toArray()).toJson(QJsonDocument::Compact);
            }
            written = rows;
        }
        QCOMPARE(written, expected);
    }
};

QTEST_APPLESS_MAIN(TestPrintMode)
#include "tst_printmode.moc"
