#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// The database of a test server, with the demo data: a fresh SQLite file, or, when the tests
// run against PostgreSQL (PostgresCluster::forTests()), a fresh database of its own in that
// cluster, dropped again by the destructor. Either is a copy of a demo database seeded once per
// test program: the demo passwords are hashed slowly on purpose, and tests start many servers.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    static bool usesPostgres();

    // Makes the database (once); false with errorText() when that failed. When the demo copy
    // could not be made it stays empty, and a server started with --demo seeds it.
    bool create();
    // What lorvex-server's --db gets: the file path or the PostgreSQL URL.
    QString argument() const;
    // The SQLite file; empty under PostgreSQL.
    QString filePath() const;
    // The PostgreSQL database's name; empty under SQLite.
    QString postgresName() const { return m_postgresName; }
    // The environment for lorvex-server processes on it (the PostgreSQL password).
    QProcessEnvironment environment() const;
    // Every stored byte: the file and its write-ahead log, or a dump of the PostgreSQL database.
    QByteArray contents() const;
    QString errorText() const { return m_errorText; }

private:
    QTemporaryDir m_dir;
    QString m_postgresName;
    bool m_created = false;
    QString m_errorText;
};
