#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

class QSqlDatabase;
class QSqlError;

// What differs between the database engines under the store: how a connection is made and set
// up, the engine's own statements, how its errors read, and how the server learns of commits by
// other connections. Everything else in the store is SQL both engines understand.
class StoreEngine {
public:
    enum class Failure {
        Busy,     // another writer holds what was needed; worth trying again soon
        Lost,     // the connection to the database is gone
        ReadOnly, // the database may be read, not written
        Other,
    };

    // The engine for a --db value: a postgresql:// URL, else an SQLite file. Throws ServerError
    // (Store) when the value cannot be used.
    static std::unique_ptr<StoreEngine> forLocation(const QString& location, int busyTimeoutMs);

    virtual ~StoreEngine() = default;

    virtual QString driverName() const = 0;
    // The location as messages show it (never a password).
    virtual QString display() const = 0;
    // Everything the driver needs before it opens; throws ServerError when it cannot be done.
    virtual void configure(QSqlDatabase& db) const = 0;
    // Run on every new connection, outside any transaction.
    virtual QStringList connectionSetup() const = 0;
    // The engine's own part of the schema, run after the tables in the schema's transaction.
    virtual QStringList schemaExtras() const = 0;
    // Changes with schemaExtras(): a database stamped with another revision gets them again.
    virtual QString schemaRevision() const { return QStringLiteral("1"); }
    // Starts a write transaction. Writers of every process take turns, so that two imports at
    // the same time never interleave; a writer waits only as long as the busy timeout allows.
    virtual QStringList beginTransaction() const = 0;
    // Starts a write transaction that writes one branch's telemetry only: writers of other
    // branches need not wait for it (whole-database writers still do).
    virtual QStringList beginBranchTransaction(qint64 firma, qint64 filiale) const {
        Q_UNUSED(firma)
        Q_UNUSED(filiale)
        return beginTransaction();
    }
    // Statements around a write that must fail at once rather than wait for another writer:
    // the first stops the busy wait, the second restores it. Empty where a write of rows of its
    // own never waits for others (no lock on the whole database).
    virtual std::pair<QString, QString> noWaitBracket() const { return {}; }
    virtual Failure classify(const QSqlError& error) const = 0;
    // Whether the database is opened for reading only: every write fails (Failure::ReadOnly).
    virtual bool isReadOnly() const { return false; }
    // Whether the database is read as it was when opened: others' writes are not seen.
    virtual bool isSnapshot() const { return false; }

    // The connection was opened (again), or is about to be closed.
    virtual void attach(const QSqlDatabase& db) = 0;
    virtual void detach() = 0;
    // Whether the connection can still be used: reads, without waiting, what the database has
    // sent (news of commits, or of the connection's end).
    virtual bool isConnected() = 0;
    // A number that changes whenever another connection (another process included) may have
    // committed since the last call; every commit finished before the call is counted.
    virtual qint64 commitsByOthers() = 0;
    // The part of what commitsByOthers() counted that may concern one branch's telemetry: it
    // changes with every such commit (and with every one the engine cannot place) counted so
    // far. nullopt where the engine cannot tell branches apart.
    virtual std::optional<qint64> commitsByOthersTo(qint64 firma, qint64 filiale) const {
        Q_UNUSED(firma)
        Q_UNUSED(filiale)
        return std::nullopt;
    }

    // Around every call that waits for the database. Where the engine has a deadline for calls
    // (callDeadlineMs() > 0), a call past it finds its connection cut, and callEnds() says so.
    virtual void callStarts() {}
    virtual bool callEnds() { return false; }
    virtual int callDeadlineMs() const { return 0; }
    // Whether opening a new connection is worth a try now; never waits for the database.
    virtual bool answers() { return true; }

    // The telemetry replies by a faster way than the store's portable queries; nullopt where
    // the engine has none.
    virtual std::optional<QString> registerReply(qint64 firma, qint64 filiale);
    virtual std::optional<QString> clockReply(qint64 firma, qint64 filiale);

    // Failed sign-ins kept in the database, so that every server on it counts them together.
    // Empty where one server owns the database and counts them in memory.
    struct FailureLedger {
        QString read;  // name, name, forgetAfterMs -> rows (name, failures)
        QString add;   // name, forgetAfterMs
        QString clear; // name
        QString prune; // forgetAfterMs
        // name, spacingMs, spacingMs -> one row: milliseconds until the answer slot reserved
        // (one spacing after the name's last reserved slot, or after now)
        QString reserveSlot;
    };
    virtual std::optional<FailureLedger> failureLedger() const;
};
