#pragma once

#include "RequestArrivals.h"
#include "StoreEngine.h"
#include "StoreRecords.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

class QSqlError;
class QSqlQuery;

// The server's tables in an SQL database: an SQLite file, or a PostgreSQL database that several
// servers may share. The schema is created when missing. Only prepared statements with bound
// values and SQL both engines understand; what differs lives in StoreEngine. Every failure
// throws ServerError with ServerErrorNumber::Store (StoreBusy where another writer held on).
// A PostgreSQL connection that is lost (the database restarted) is opened again by the next
// call that comes outside a transaction; the call that found it lost fails.
class Store {
public:
    // An admin command may wait a while for a running server's write; the server itself must
    // not keep its sessions waiting.
    static constexpr int kAdminBusyTimeoutMs = 5000;
    static constexpr int kServingBusyTimeoutMs = 200;

    // Between two attempts to open a lost connection again: sessions get an error at once
    // instead of each waiting for a database that is not there. The pause doubles with every
    // failed attempt up to the longest, since an attempt may wait for a silent host.
    static constexpr int kReconnectPauseMs = 1000;
    static constexpr int kLongestReconnectPauseMs = 8000;

    // Opens the database at location: a postgresql:// URL, else an SQLite file (created,
    // readable by its owner only, when missing). A database of the first schema, which kept
    // passwords in clear text, is converted in the same transaction that checks the schema:
    // every password becomes its hash. Readers never wait for a writer; a write waits for
    // another process's write at most busyTimeoutMs and then fails with ServerError (StoreBusy).
    explicit Store(const QString& location, int busyTimeoutMs = kAdminBusyTimeoutMs);
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
    // The branch's records or clocks become these (their firma, filiale and seq or slot as
    // given), written in as few statements as the engine allows, not one per row.
    void replaceRegisters(qint64 firma, qint64 filiale, const QList<RegisterRecord>& records);
    void replaceClocks(qint64 firma, qint64 filiale, const QList<ClockRecord>& clocks);

    // Runs work in one transaction: all of it is stored, or nothing when it throws. Writers of
    // every process on the database take turns.
    void inTransaction(const std::function<void()>& work);
    // The same for work that writes nothing but the telemetry of one branch: writers of other
    // branches do not wait for it.
    void inBranchTransaction(qint64 firma, qint64 filiale, const std::function<void()>& work);

    // Failed sign-ins counted in the database for every server on it; false where the server
    // counts them alone, in memory. Names are the throttle's keys; times are milliseconds.
    bool sharesSignInFailures() const;
    // The recent failures of two names (a user's and an address's), by name; absent: none.
    QHash<QString, int> recentSignInFailures(const QString& first, const QString& second,
                                             qint64 forgetAfterMs) const;
    void addSignInFailure(const QString& name, qint64 forgetAfterMs);
    void clearSignInFailures(const QString& name);
    void forgetOldSignInFailures(qint64 forgetAfterMs);
    // Reserves the name's next answer slot, spacingMs after its last one (or after now), for
    // every server on the database; returns the milliseconds until it (0 where not shared).
    qint64 reserveSignInSlot(const QString& name, qint64 spacingMs);

    // Resume tokens, for every server on the database. takeResumeToken removes the token it
    // returns, so that it serves once; expired ones are removed by forgetExpiredResumeTokens.
    // None of them waits for another process's write: they fail with StoreBusy instead.
    void addResumeToken(const ResumeRecord& record);
    std::optional<ResumeRecord> takeResumeToken(const QString& tokenHash);
    void forgetExpiredResumeTokens(qint64 nowSeconds);
    // The database's key for the tokens' hashes, made by the first server that asks.
    QByteArray resumeKey();

    // Where the store is, as messages show it.
    QString display() const;
    // As given when opened: another Store may be opened on the same database with them.
    QString location() const { return m_location; }
    int busyTimeoutMs() const { return m_busyTimeoutMs; }
    // Where the store says that its database stopped answering, and when it answers again.
    void setHealthLog(std::function<void(const QString&)> log) { m_healthLog = std::move(log); }
    // A database this process may only read (an SQLite file it may not write) is served so:
    // reads work, every write throws ServerError (Store) saying so.
    bool isReadOnly() const { return m_engine->isReadOnly(); }
    // Read as it was when opened (a read-only SQLite file whose log cannot be shared): others'
    // writes are not seen until it is opened again.
    bool isSnapshot() const { return m_engine->isSnapshot(); }

    // What a reply built from the store depends on. It changes with every write through this
    // store (the generation) and with every commit by another connection to the same database,
    // another process or server included (the engine's count). Equal stamps: nothing changed.
    struct ChangeStamp {
        quint64 generation = 0;
        qint64 dataVersion = 0;
        bool operator==(const ChangeStamp&) const = default;
    };
    ChangeStamp changeStamp() const;
    // What a reply of one branch's telemetry depends on: like changeStamp(), but commits by
    // others to other branches leave it alone where the engine can tell (PostgreSQL).
    ChangeStamp changeStampOf(qint64 firma, qint64 filiale) const;
    // Where requests are counted as they arrive (or null: every stamp asks the database).
    void setRequestArrivals(const RequestArrivals* arrivals) { m_arrivals = arrivals; }

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
    // changesReplies: false for statements that never touch what a telemetry reply shows.
    void exec(QSqlQuery& query, bool changesReplies = true) const;
    // Runs the kept statement with values bound in order and hands each row to eachRow; the
    // statement is reset afterwards, so that it holds no read lock between requests.
    void readRows(const QString& sql, const QVariantList& values,
                  const std::function<void(const QSqlQuery&)>& eachRow,
                  bool changesReplies = true) const;
    // A statement that gives no rows.
    void run(const QString& sql, const QVariantList& values = {}, bool changesReplies = true) const;
    template <typename Row, typename Map>
    QList<Row> rowsOf(const QString& sql, const QVariantList& values, Map map) const;
    template <typename Row, typename Map>
    std::optional<Row> firstRow(const QString& sql, const QVariantList& values, Map map) const;
    // The first column of the first row as a number, 0 without a row.
    qint64 count(const QString& sql, const QVariantList& values = {}) const;
    // A statement run as it is, not prepared (schema, transactions, connection settings).
    void execDirect(const QString& sql) const;
    [[noreturn]] void fail(const QString& what, const QSqlError& error) const;
    void openConnection() const;
    // Around each call that waits for the database: one past the engine's deadline throws
    // ServerError (Store), and its connection is made anew once the database answers.
    void callStarts() const { m_engine->callStarts(); }
    void callEnds(const QString& what) const;
    // The database is away (reason says why), from now or from earlier.
    void noteAway(const QString& reason) const;
    void reconnectIfLost() const;
    void createSchema();
    // Whether the schema and the engine's part of it are this program's already.
    bool schemaIsCurrent() const;
    // What lx_meta's engine_schema says of a current schema: the engine's extras and the
    // tables' revision.
    QString schemaRevision() const;
    // A telemetry reply by the engine's faster way, within the call's deadline; nullopt where
    // the engine has none (or declined), so that the portable query runs.
    std::optional<QString> fastReply(bool registers, qint64 firma, qint64 filiale) const;
    // Runs write so that it fails at once (StoreBusy) where it would wait for another writer.
    void withoutWaiting(const std::function<void()>& write) const;
    void beginWith(const QStringList& begin, const std::function<void()>& work);
    // INSERT of many rows in statements of at most kRowsPerInsert rows each.
    void insertRows(const QString& table, const QString& columns, int columnCount,
                    const QList<QVariantList>& rows);
    void convertClearTextPasswords();
    // UPDATE, and INSERT when no row was there: portable where UPSERT syntax is not.
    // updateSql binds the fields, then the keys; insertSql the keys, then the fields.
    void updateOrInsert(const QString& updateSql, const QString& insertSql,
                        const QVariantList& keys, const QVariantList& fields);

    QString m_location;
    int m_busyTimeoutMs;
    std::unique_ptr<StoreEngine> m_engine;
    std::optional<StoreEngine::FailureLedger> m_ledger;
    QString m_connectionName;
    int m_convertedPasswords = 0;
    using Statements = std::unordered_map<QString, std::unique_ptr<QSqlQuery>>;
    mutable Statements m_statements;
    // The statements of the connection before the last reconnect: a caller may still hold one.
    mutable Statements m_retired;
    mutable quint64 m_generation = 0;
    const RequestArrivals* m_arrivals = nullptr;
    mutable std::optional<quint64> m_othersCheckedAt; // arrivals at the last check
    mutable qint64 m_othersSeen = 0;
    bool m_inTransaction = false;
    mutable QElapsedTimer m_lastReconnect;
    mutable int m_reconnectPauseMs = kReconnectPauseMs;
    mutable bool m_mustReconnect = false;
    mutable bool m_askBeforeReconnect = false; // the database may be stuck: probe first
    std::function<void(const QString&)> m_healthLog;
    mutable QElapsedTimer m_awaySince; // valid while the database is away
};
