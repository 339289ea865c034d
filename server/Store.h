#pragma once

#include "StoreRecords.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

class QSqlQuery;
class SqliteReads;

// The server's tables in an SQL database (an SQLite file). The schema is created when missing.
// Only prepared statements with bound values and SQL that PostgreSQL understands as well.
// Every failure throws ServerError with ServerErrorNumber::Store.
class Store {
public:
    // An admin command may wait a while for a running server's write; the server itself must
    // not keep its sessions waiting.
    static constexpr int kAdminBusyTimeoutMs = 5000;
    static constexpr int kServingBusyTimeoutMs = 200;

    // Opens (and creates, readable by its owner only, when missing) the database file at path.
    // A database of the first schema, which kept passwords in clear text, is converted in the
    // same transaction that checks the schema: every password becomes its hash.
    // Readers never wait for a writer (write-ahead log); a write waits for another process's
    // write at most busyTimeoutMs and then fails with ServerError (StoreBusy).
    explicit Store(const QString& path, int busyTimeoutMs = kAdminBusyTimeoutMs);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::optional<UserRecord> user(qint64 firma, const QString& code) const;
    std::optional<DepartmentRecord> department(qint64 firma, const QString& abtNr) const;
    std::optional<BaseDataRecord> baseData(qint64 firma, const QString& pnr) const;
    // In the order of their sequence numbers.
    QList<RegisterRecord> registers(qint64 firma, qint64 filiale) const;
    // In slot order, at most four.
    QList<ClockRecord> clocks(qint64 firma, qint64 filiale) const;
    // The branch's register records as the telemetry reply gives them, every field followed by
    // "|"; a null string when there is none.
    QString registerReply(qint64 firma, qint64 filiale) const;
    // The branch's clocks as the telemetry reply gives them, all fields joined by "|"; a null
    // string when there is none.
    QString clockReply(qint64 firma, qint64 filiale) const;
    // Every (firma, filiale) that has register records or clocks.
    QList<QPair<qint64, qint64>> branches() const;
    bool hasUsers() const;
    // Passwords turned from clear text into hashes when this store was opened.
    int convertedPasswords() const { return m_convertedPasswords; }

    // Insert or replace by primary key.
    void putUser(const UserRecord& user);
    void putDepartment(const DepartmentRecord& department);
    void putBaseData(const BaseDataRecord& baseData);
    void putRegister(const RegisterRecord& record);
    void putClock(const ClockRecord& clock);
    // Appends after the branch's last record; returns the sequence number given.
    int appendRegister(RegisterRecord record);
    void clearRegisters(qint64 firma, qint64 filiale);
    void clearClocks(qint64 firma, qint64 filiale);

    // Runs work in one transaction: all of it is stored, or nothing when it throws.
    void inTransaction(const std::function<void()>& work);

    // What a reply built from the store depends on. It changes with every write through this
    // store (the generation) and with every commit by another connection to the same file,
    // another process included (SQLite's data_version). Equal stamps: nothing has changed.
    struct ChangeStamp {
        quint64 generation = 0;
        qint64 dataVersion = 0;
        bool operator==(const ChangeStamp&) const = default;
    };
    ChangeStamp changeStamp() const;

    // For moving a whole database: each table ordered by its primary key (texts in the engine's
    // collation), read table by table; register records a branch at a time, through branches()
    // and registers().
    QList<UserRecord> allUsers() const;
    QList<DepartmentRecord> allDepartments() const;
    QList<BaseDataRecord> allBaseData() const;
    // Every slot, not only 1 to 4.
    QList<ClockRecord> allClocks() const;
    // The rows of each table that holds data (the schema's own table not among them).
    QList<QPair<QString, qint64>> rowCounts() const;
    // Deletes every row of the tables rowCounts() counts.
    void clearAllTables();

private:
    // The statement prepared once for this connection and kept; it is reset when used again.
    QSqlQuery& prepare(const QString& sql) const;
    void exec(QSqlQuery& query) const;
    void createSchema();
    void convertClearTextPasswords();
    // UPDATE, and INSERT when no row was there: portable where UPSERT syntax is not.
    // updateSql binds the fields, then the keys; insertSql the keys, then the fields.
    void updateOrInsert(const QString& updateSql, const QString& insertSql,
                        const QVariantList& keys, const QVariantList& fields);

    QString m_connectionName;
    int m_convertedPasswords = 0;
    mutable std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_statements;
    mutable quint64 m_generation = 0;
    std::unique_ptr<SqliteReads> m_reads;
};
