#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QString>

// The PostgreSQL cluster the tests run against, when there is one: LORVEX_TEST_POSTGRES_DIR
// names the folder scripts/pg-test-cluster.sh started it in (its files url and password), or
// LORVEX_TEST_POSTGRES holds the base URL "postgresql://USER@HOST:PORT" with the password in
// PGPASSWORD. Without either, forTests() is null and the tests use SQLite files.
class PostgresCluster {
public:
    static const PostgresCluster* forTests();

    // "postgresql://USER@HOST:PORT/database", as lorvex-server's --db takes it.
    QString url(const QString& database) const;
    // The environment for programs that connect to it: PGPASSWORD set.
    QProcessEnvironment environment() const;

    // Runs one SQL statement in a connection of its own to database; false with error filled
    // when it failed.
    bool execute(const QString& sql, QString* error = nullptr,
                 const QString& database = QStringLiteral("postgres")) const;
    // A connection of the caller's own (removed with QSqlDatabase::removeDatabase(name)),
    // for holding a lock or reading what a server wrote. Check isOpen().
    QSqlDatabase connect(const QString& database, const QString& connectionName) const;
    // Everything stored in database as pg_dump writes it; empty when that failed.
    QByteArray dump(const QString& database) const;
    // Stops the cluster (fast: sessions are cut) and starts it again on the same port. Only for
    // a cluster of scripts/pg-test-cluster.sh.
    bool restart(QString* error = nullptr) const;
    // Stops it, keeping its data, and starts it again: the database away for a while.
    bool pause(QString* error = nullptr) const;
    bool resume(QString* error = nullptr) const;
    // Stops every process of it with SIGSTOP, and lets them go on: a database that is stuck.
    bool hang(QString* error = nullptr) const;
    bool unhang(QString* error = nullptr) const;
    // A streaming standby of it: "HOST:PORT", empty with error filled when it failed to start.
    // promoteStandby makes it a primary; dropStandby stops and removes it.
    QString startStandby(QString* error = nullptr) const;
    bool promoteStandby(QString* error = nullptr) const;
    bool dropStandby(QString* error = nullptr) const;

private:
    PostgresCluster() = default;
    bool runScript(const QString& action, QString* error) const;

    QString m_baseUrl;
    QString m_password;
    QString m_directory; // empty when the cluster is not ours
};
