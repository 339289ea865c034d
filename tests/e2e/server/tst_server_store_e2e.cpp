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
#include <QScopeGuard>
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

// A server of its own with the demo data, and a monitor signed in that watches branch 1's Kassa.
struct WatchedServer {
    ServerProcess server;
    TcpCacheFactory monitor;
    CacheObjectPtr windows;
    CacheObjectPtr kassa;

    bool start() {
        if (!server.start() || !monitor.connect(server.connectString()) ||
            !monitor.signIn("1", "DEMO", "demo")) {
            return false;
        }
        windows = monitor.classAccess("LX.Windows");
        windows->call("Xecute", {"S FIRMA=1,FIL=1"});
        kassa = monitor.classAccess("Telemetrie.Kassa");
        return true;
    }
    QString registers() const { return text(kassa->call("NichtVerbuchtStatus")); }
};

// The first reply a call gets within 20 s, retried while it fails; empty when none came.
QString servedAgain(const std::function<QString()>& call) {
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        try {
            return call();
        } catch (const CacheError&) {
            QTest::qWait(200);
        }
    }
    return {};
}

// lorvex-server and its database: admin writes served at once, copies, kept replies, concurrent
// imports, several servers on one database, a killed server and a restarted database.
class TestServerStoreEndToEnd : public ServerEndToEndTest {
    Q_OBJECT

private slots:
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
            QSKIP("SQLite's writer lock is held in tst_servernet");
        }
        WatchedServer watched;
        QVERIFY2(watched.start(), qPrintable(watched.server.errorText()));
        ServerProcess& server = watched.server;
        const auto registers = [&] { return watched.registers(); };
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
            registers();
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(write.exec("COMMIT"));
        }
        QSqlDatabase::removeDatabase("writer");
        QCOMPARE(registers(), "99|1|2|3|");
    }

    // Writers and kept replies go by branch: an import into one branch neither waits for a
    // writer of another nor drops that branch's kept reply. (A change written with the triggers
    // off, which no server hears of, shows which reply was kept.)
    void writersAndKeptRepliesGoByBranch() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("SQLite has one writer and one change counter for the whole file");
        }
        WatchedServer watched;
        QVERIFY2(watched.start(), qPrintable(watched.server.errorText()));
        ServerProcess& server = watched.server;
        const auto registers = [&] { return watched.registers(); };
        const QString before = registers();
        const QString database = QUrl(server.databaseArgument()).path().mid(1);
        {
            QSqlDatabase other = PostgresCluster::forTests()->connect(database, "writer");
            QVERIFY(other.isOpen());
            QSqlQuery write(other);
            QVERIFY(write.exec("SET session_replication_role = replica"));
            QVERIFY(write.exec("UPDATE tm_register SET anzahl = '77' WHERE firma = 1 AND"
                               " filiale = 1 AND seq = 1"));
            QVERIFY(write.exec("SET session_replication_role = origin"));
            // A writer of branch 1 in the middle of its transaction, as the server's feed takes
            // it: the whole-database lock shared, the branch's own.
            QVERIFY(write.exec("BEGIN"));
            QVERIFY(write.exec("SELECT pg_advisory_xact_lock_shared(19544),"
                               " pg_advisory_xact_lock(1, 1)"));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(server.runAdmin({"import-registers", "--firma", "1", "--branch", "0", "-"},
                                     "5|1|2|3\n6|4|5|6\n"),
                     0);
            QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(registers(), before);
            QVERIFY(write.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("writer");
        QCOMPARE(server.runAdmin({"set-register", "--firma", "1", "--branch", "1", "--record", "2",
                                  "--count", "9"}),
                 0);
        const QString after = registers();
        QVERIFY2(after != before && after.startsWith(before.section('|', 0, 0) + "|77|"),
                 qPrintable(after));
    }

    // A primary and its standbys listed in --db: the first host that answers and takes writes
    // is used, here past a host where nothing listens.
    void aListOfHostsFindsTheOneThatTakesWrites() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("a list of hosts is PostgreSQL's");
        }
        QString url = m_server.databaseArgument();
        url.insert(url.indexOf('@') + 1, "127.0.0.1:1,");
        QProcess admin;
        admin.setProcessChannelMode(QProcess::MergedChannels);
        admin.setProcessEnvironment(PostgresCluster::forTests()->environment());
        admin.start(ServerProcess::executable(),
                    {"--db", url + "?target_session_attrs=read-write", "set-clock", "--firma", "1",
                     "--branch", "1", "--slot", "4", "--number", "4", "--e-ist", "5", "--e-soll",
                     "6", "--s-ist", "7", "--s-soll", "8"});
        QVERIFY(admin.waitForFinished(30000));
        QVERIFY2(admin.exitCode() == 0, admin.readAll().constData());
        m_factory.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=1"});
        QVERIFY(text(m_factory.classAccess("Telemetrie.Zeiterfassung")->call("Zaehlerstand"))
                    .endsWith("|4|5|6|7|8"));
    }

    // A resume token signs its user in again without the password, on every server of the
    // database, once, and for nobody else; a new password ends it.
    void aResumeTokenHoldsForItsUserOnEveryServer() {
        ServerProcess second;
        if (ServerProcess::usesPostgres()) {
            second.shareDatabaseWith(m_server);
            QVERIFY2(second.start(), qPrintable(second.errorText()));
        }
        const quint16 there = ServerProcess::usesPostgres() ? second.port() : m_server.port();
        QCOMPARE(m_server.runAdmin({"set-user", "--firma", "1", "--code", "WIEDER",
                                    "--password-stdin", "--name", "Wieder,Willi", "--rights", "9"},
                                   "Kennwort-1\n"),
                 0);
        const auto signIn = [](quint16 port, const char* company, const char* user,
                               const char* password, const QString& token) {
            RawPeer peer;
            peer.connect(port);
            peer.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
            peer.readResponse();
            peer.sendRequest(protocol::Request::signIn(company, user, password, token));
            return peer.readResponse().value_or(protocol::Response::failure(0, -1, "no reply"));
        };
        const auto fresh = [&] { return signIn(m_server.port(), "1", "WIEDER", "Kennwort-1", {}); };
        const protocol::Response first = fresh();
        QVERIFY(first.value.toBool());
        QCOMPARE(first.resume.size(), 43);

        // The token alone signs in on the other server (the password sent is wrong), and hands
        // out the next one; the used one is gone.
        const protocol::Response moved = signIn(there, "1", "WIEDER", "falsch", first.resume);
        QVERIFY(moved.value.toBool());
        QVERIFY(moved.resume.size() == 43 && moved.resume != first.resume);
        QVERIFY(!signIn(there, "1", "WIEDER", "falsch", first.resume).value.toBool());
        QVERIFY(!signIn(there, "1", "DEMO", "falsch", fresh().resume).value.toBool());
        QVERIFY(!signIn(there, "2", "WIEDER", "falsch", fresh().resume).value.toBool());
        const QString beforeChange = fresh().resume;
        QCOMPARE(
            m_server.runAdmin({"set-user", "--firma", "1", "--code", "WIEDER", "--password-stdin"},
                              "Kennwort-2\n"),
            0);
        QVERIFY(!signIn(there, "1", "WIEDER", "Kennwort-1", beforeChange).value.toBool());
        QVERIFY(!m_server.log().contains(first.resume) && !second.log().contains(first.resume));
    }

    // The primary gone and its standby promoted: the server finds the new primary by itself,
    // with everything written before, and admin commands given the same hosts write there.
    void aPromotedStandbyIsFoundByItself() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("a standby is PostgreSQL's");
        }
        const PostgresCluster* cluster = PostgresCluster::forTests();
        QString error;
        const QString standby = cluster->startStandby(&error);
        QVERIFY2(!standby.isEmpty(), qPrintable(error));
        WatchedServer watched;
        watched.server.alsoListHost(standby);
        auto backToOne = qScopeGuard([cluster] {
            cluster->dropStandby();
            cluster->resume();
        });
        QVERIFY2(watched.start(), qPrintable(watched.server.errorText()));
        const auto registers = [&] { return watched.registers(); };
        const auto setRegister = [&](const char* kasse) {
            return watched.server.runAdmin({"set-register", "--firma", "1", "--branch", "1",
                                            "--register", kasse, "--count", "1", "--first", "5",
                                            "--last", "5"});
        };
        QCOMPARE(setRegister("91"), 0);
        const QString before = registers();
        QVERIFY(before.contains("91|1|5|5|"));

        QVERIFY2(cluster->pause(&error), qPrintable(error));
        QVERIFY2(cluster->promoteStandby(&error), qPrintable(error));
        QCOMPARE(servedAgain(registers), before);
        QCOMPARE(setRegister("92"), 0);
        QVERIFY(afterStoreErrors(registers).contains("92|1|5|5|"));
    }

    // The database restarted under a running server: the server reconnects by itself, its
    // sessions go on, and writes made after the restart reach its kept replies again.
    void theServerOutlivesARestartOfItsDatabase() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("an SQLite file cannot be restarted");
        }
        WatchedServer watched;
        QVERIFY2(watched.start(), qPrintable(watched.server.errorText()));
        ServerProcess& server = watched.server;
        const qint64 processId = server.processId();
        const auto registers = [&] { return watched.registers(); };
        const QString before = registers();

        QString error;
        QVERIFY2(PostgresCluster::forTests()->restart(&error), qPrintable(error));
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
        QVERIFY(watched.monitor.isConnected());

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

    // A database whose every process is stopped: a request that needs it fails with the store
    // error once the call's deadline has passed, and from then on everything that needs no
    // database (a new connection's hello, a signed-in session's variables) is answered at once,
    // while what needs it fails at once. The database is found again when it goes on.
    void aStuckDatabaseHoldsOnlyWhatNeedsIt() {
        if (!ServerProcess::usesPostgres()) {
            QSKIP("an SQLite file does not hang");
        }
        WatchedServer watched;
        QVERIFY2(watched.start(), qPrintable(watched.server.errorText()));
        ServerProcess& server = watched.server;
        CacheObjectPtr windows = watched.windows;
        const auto registers = [&] { return watched.registers(); };
        const QString before = registers();

        QString error;
        QVERIFY2(PostgresCluster::forTests()->hang(&error), qPrintable(error));
        auto goOn = qScopeGuard([] { PostgresCluster::forTests()->unhang(); });
        const auto storeFailure = [&](const QString& what) {
            try {
                registers();
            } catch (const CacheError& refused) {
                return refused.number() == number(protocol::ErrorCode::StoreFailure);
            }
            qWarning("%s: a reply without a database", qPrintable(what));
            return false;
        };
        QElapsedTimer waited;
        waited.start();
        QVERIFY(storeFailure("first"));
        // The serving deadline (3 s), with room for a busy machine.
        QVERIFY2(waited.elapsed() < 6000, qPrintable(QString::number(waited.elapsed())));
        waited.restart();
        TcpCacheFactory newcomer;
        QVERIFY(newcomer.connect(server.connectString()));
        windows->call("Xecute", {"S FIL=2"});
        QVERIFY(storeFailure("second"));
        QVERIFY2(waited.elapsed() < 1500, qPrintable(QString::number(waited.elapsed())));
        // A user verified before signs in against the account read then; nobody else does.
        QVERIFY(!newcomer.signIn("1", "DEMO", "falsch"));
        QVERIFY(newcomer.signIn("1", "DEMO", "demo"));
        QCOMPARE(errorOf([&] { newcomer.signIn("1", "NIEMAND", "demo"); }),
                 number(protocol::ErrorCode::StoreFailure));
        QTest::qWait(1500); // the probe of the stuck database has been sent meanwhile

        goOn.dismiss();
        QVERIFY2(PostgresCluster::forTests()->unhang(&error), qPrintable(error));
        windows->call("Xecute", {"S FIL=1"});
        const QString back = servedAgain(registers);
        const QString log = server.log();
        if (back != before) {
            qWarning("%s", qPrintable(log));
        }
        QCOMPARE(back, before);
        QVERIFY2(log.contains("does not answer") && log.contains("answers again"), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestServerStoreEndToEnd)
#include "tst_server_store_e2e.moc"
