#include "ServerProcess.h"

#include "objectclient/CacheValue.h"
#include "objectclient/TcpCacheFactory.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Root may write every file: as root, the server's processes run as nobody, so that a file can
// be read-only to them.
void runAsAnotherUserIfRoot(QProcess& process) {
    if (::geteuid() == 0) {
        process.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(126);
            }
        });
    }
}

} // namespace

// lorvex-server's own processes around its database files: a read-only file, refused admin
// commands, and what becomes of its memory.
class TestServerAdminEndToEnd : public QObject {
    Q_OBJECT

private slots:
    // In a directory the server may not write: an older file with a rollback journal, and one
    // written ahead of a log as the server makes them, whose log it cannot share there.
    void aReadOnlyDatabaseIsServedReadOnlyByAServerThatIsNeverDumped_data() {
        QTest::addColumn<QString>("journalMode");
        QTest::newRow("rollback journal") << "DELETE";
        QTest::newRow("written ahead of a log") << "WAL";
    }
    void aReadOnlyDatabaseIsServedReadOnlyByAServerThatIsNeverDumped() {
        QFETCH(QString, journalMode);
        QTemporaryDir dir;
        QTemporaryDir logDir;
        const QString file = dir.filePath("archiv.db");
        QCOMPARE(QProcess::execute(ServerProcess::executable(), {"--db", file, "seed-demo"}), 0);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "journal");
            db.setDatabaseName(file);
            QVERIFY(db.open() && QSqlQuery(db).exec("PRAGMA journal_mode=" + journalMode));
        }
        QSqlDatabase::removeDatabase("journal");
        const QByteArray before = contents(file);
        const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const auto runnable = readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        const QString program = dir.filePath("lorvex-server"); // the build tree may be closed
        QVERIFY(QFile::copy(ServerProcess::executable(), program));
        QVERIFY(QFile::setPermissions(program, runnable));
        QVERIFY(QFile::setPermissions(file, readable));
        QVERIFY(QFile::setPermissions(dir.path(), runnable));
        QProcess server;
        runAsAnotherUserIfRoot(server);
        server.setStandardErrorFile(logDir.filePath("log"));
        server.start(program, {"--db", file, "--listen", "127.0.0.1:0"});
        static const QRegularExpression listening("listening on 127\\.0\\.0\\.1:(\\d+)");
        QRegularExpressionMatch match;
        QTRY_VERIFY_WITH_TIMEOUT(
            (match = listening.match(contents(logDir.filePath("log")))).hasMatch(), 10000);
        const QString log = QString::fromUtf8(contents(logDir.filePath("log")));
        QVERIFY2(log.contains("read-only"), qPrintable(log));
        // Neither a core file nor another process of its user may read passwords from it; the
        // kernel gives the /proc files of a process that is not dumpable to root.
        const QString proc = QString("/proc/%1/").arg(server.processId());
        static const QRegularExpression noCore("Max core file size\\s+0\\s+0\\s");
        QVERIFY(noCore.match(contents(proc + "limits")).hasMatch());
        QCOMPARE(QFileInfo(proc + "status").ownerId(), 0u);

        TcpCacheFactory factory;
        QVERIFY(factory.connect(QString("cn_iptcp:127.0.0.1[%1]:LORVEX").arg(match.captured(1))));
        QVERIFY(factory.signIn("1", "DEMO", "demo"));
        factory.classAccess("LX.Windows")->call("Xecute", {"S FIRMA=1,FIL=0"});
        QVERIFY(
            !cacheValueToText(factory.classAccess("Telemetrie.Kassa")->call("NichtVerbuchtStatus"))
                 .isEmpty());

        QProcess write; // as the server's user: the store says why nothing was written
        runAsAnotherUserIfRoot(write);
        write.setProcessChannelMode(QProcess::MergedChannels);
        write.start(program, {"--db", file, "clear-registers", "--firma", "1", "--branch", "0"});
        QVERIFY(write.waitForFinished(30000));
        QCOMPARE(write.exitCode(), 1);
        QVERIFY(write.readAll().contains("is served read-only; nothing was written"));
        QCOMPARE(contents(file), before);
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
        QVERIFY(QFile::setPermissions(dir.path(), readable | QFile::WriteOwner | QFile::ExeOwner));
    }

    // A mistyped source or an injected database keyword: refused before anything is made.
    void refusedAdminCommandsCreateNothing() {
        ServerProcess server; // not serving: its database only
        QTemporaryDir dir;
        QCOMPARE(server.runAdmin({"--db", dir.filePath("tippfehler.db"), "copy", "--to",
                                  dir.filePath("ziel.db")}),
                 2);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), {});
        QCOMPARE(server.runAdmin({"--db",
                                  "postgresql://lx@127.0.0.1:9/lx?application_name=a%20"
                                  "dbname=b",
                                  "create-db"}),
                 2);
    }
};

QTEST_GUILESS_MAIN(TestServerAdminEndToEnd)
#include "tst_server_admin_e2e.moc"
