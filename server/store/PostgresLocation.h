#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// Where a PostgreSQL database is, from a --db value "postgresql://USER@HOST[:PORT]/DBNAME"
// ("postgres://" as well). Several hosts may be listed ("HOST1[:PORT1],HOST2[:PORT2]"), a
// primary and its standbys: with ?target_session_attrs=read-write libpq connects to whichever
// of them takes writes, so a server finds a promoted standby by itself. A password is never taken
// from it: a command line can be read by every user of the machine. libpq takes it from PGPASSWORD
// or the password file (~/.pgpass). A few connection keywords of libpq may follow as a query
// ("?sslmode=verify-full"), each with a value free of blanks, quotes, backslashes, ";" and control
// characters: those could make libpq read another keyword (a second dbname or host) than the URL
// shows.
struct PostgresLocation {
    QString user;
    // In the order given; at least one.
    QList<QPair<QString, int>> hosts;
    QString databaseName;
    QList<QPair<QString, QString>> options; // libpq keyword, value

    static bool isUrl(const QString& text);
    // nullopt with a one-line problem when text is no usable URL.
    static std::optional<PostgresLocation> parse(const QString& text, QString& problem);
    // The location as the log and messages show it.
    QString display() const;
    // The hosts and their ports as libpq's host and port keywords take them ("a,b", "1,2").
    QString hostList() const;
    QString portList() const;
};
