#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class TestDatabase;

// A real lorvex-server for end-to-end tests: started with a fresh database (TestDatabase: an
// SQLite file, or a PostgreSQL database when the tests run against one), the demo data (--demo)
// and an ephemeral port on 127.0.0.1.
//
//     ServerProcess server;
//     QVERIFY2(server.start(), qPrintable(server.errorText()));
//     factory.connect(server.connectString());           // "cn_iptcp:127.0.0.1[PORT]:LORVEX"
//     server.runAdmin({"set-clock", "--firma", "1", ...}); // admin command, same database
//     server.kill();                                       // a crash, for fault tests
//
// The destructor stops the server. Link lorvex_test_server.
class ServerProcess {
public:
    // extraArguments are added to the serve command line (for example "--simulate"); program
    // is the server executable (another build of it, for comparisons).
    explicit ServerProcess(QStringList extraArguments = {}, QString program = executable());
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the server and waits (at most timeoutMs) for its "listening on" line.
    bool start(int timeoutMs = 10000);
    // The port it listens on; 0 before start() succeeded.
    quint16 port() const { return m_port; }
    QString connectString(const QString& nameSpace = QStringLiteral("LORVEX")) const;
    // What --db gets: the SQLite file or the PostgreSQL URL.
    QString databaseArgument() const;
    // The SQLite file; empty under PostgreSQL (tests that need the file skip there).
    QString databasePath() const;
    // Every stored byte: the SQLite file, or a dump of the PostgreSQL database.
    QByteArray databaseContents() const;
    static bool usesPostgres();
    // The sessions' threads of every server a test starts: LORVEX_TEST_SERVING_THREADS, else 2.
    static QString servingThreads();
    // Serves other's database instead of a fresh one of its own (two servers on one
    // database). Call before start(); other need not have started.
    void shareDatabaseWith(const ServerProcess& other);
    // --db (of the server and of admin commands) lists hostPort after the database's own host,
    // with target_session_attrs=read-write: a primary and its standby. PostgreSQL only.
    void alsoListHost(const QString& hostPort) { m_alsoListedHost = hostPort; }
    // The server may hold at most this many descriptors (soft and hard limit); 0: as inherited.
    void setDescriptorLimit(int descriptors) { m_descriptorLimit = descriptors; }
    // The server runs on these CPUs only (a benchmark keeps them apart from its load generator's);
    // empty: wherever the system puts it. Call before start().
    void setCpus(const QList<int>& cpus) { m_cpus = cpus; }
    // Restricts the calling process (in a child: before exec) to the CPUs; false when refused.
    static bool restrictToCpus(const QList<int>& cpus);
    // The log goes to a pipe of 4 KiB that is read only when log() is called, as a terminal held
    // with Ctrl-S or a stuck journal would take it. Call before start().
    void readLogOnlyWhenAsked();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Its resident memory in KiB (VmRSS), 0 when it cannot be read.
    qint64 residentKiB() const;
    // The server's process id, for measuring what it uses; 0 when it is not running.
    qint64 processId() const { return m_process.processId(); }

    // Stops it and starts it again on the same port with the same database, as an admin would.
    bool restart(int timeoutMs = 10000);
    // Ends it politely (SIGTERM), then kills it if it has not ended within its own limit. True
    // when it ended by itself with status 0; otherwise a warning says how it ended.
    bool stop();
    // Ends it at once (SIGKILL), as a crash would.
    void kill();

    // Runs "lorvex-server --db <database> args..." and returns its exit code (-1 when it did not
    // finish); its output is kept in adminOutput().
    int runAdmin(const QStringList& args, const QByteArray& standardInput = {});
    QString adminOutput() const { return m_adminOutput; }
    // Starts the same admin command without waiting for it (several at once); null when the
    // database could not be made or the program did not start. Output and errors are merged.
    std::unique_ptr<QProcess> startAdmin(const QStringList& args);

    // The server's log (its stderr, kept in a file) so far.
    QString log() const;
    QString errorText() const { return m_errorText; }

    static QString executable();

private:
    QString logPath() const;

    QStringList m_extraArguments;
    QString m_program;
    QTemporaryDir m_dir;
    std::shared_ptr<TestDatabase> m_database;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_alsoListedHost;
    int m_descriptorLimit = 0;
    QList<int> m_cpus;
    int m_logPipe = -1;
    mutable QByteArray m_pipedLog;
    QString m_adminOutput;
    QString m_errorText;
};
