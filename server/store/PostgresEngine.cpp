#include "PostgresEngine.h"

#include "ServerError.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <libpq-fe.h>

namespace {

// Seconds a connection attempt may take: the server's sessions wait for it.
constexpr int kConnectTimeoutSeconds = 3;
// No statement of the server takes long; one that does is stopped rather than stall everyone:
// after ten times the wait for a lock (2 s while serving, longer for admin commands).
constexpr int kStatementTimeoutPerLockWait = 10;
// A call's own deadline: the database's statement timeout has fired by then, unless the
// database itself is stuck.
constexpr int kCallDeadlineBeyondStatementMs = 1000;
// The advisory lock every write transaction takes first ("LX" in ASCII).
constexpr int kWriteLock = 0x4c58;
// Branches whose notifications are counted apart; beyond, they are forgotten and everything
// counts as changed once.
constexpr qsizetype kMaxCountedBranches = 100000;

// An advisory lock key of 32 bits from a 64-bit number; two numbers that share one merely wait
// for each other.
qint32 lockKey(qint64 number) {
    return static_cast<qint32>(number ^ (number >> 32));
}

// The time of the database server in milliseconds: servers on several machines compare times
// of failed sign-ins on one clock.
const char kNowMs[] = "CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)";

// Messages the database sends outside any answer. A FATAL one is its goodbye (it is shutting
// down, or an administrator ended the connection): the connection is over even before libpq
// sees it closed. Notices are of no use to anyone reading the server's log.
void receiveNotice(void* goodbye, const PGresult* message) {
    const char* severity = PQresultErrorField(message, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity && (qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0)) {
        *static_cast<bool*>(goodbye) = true;
    }
}

} // namespace

PostgresEngine::PostgresEngine(PostgresLocation location, int busyTimeoutMs)
    : m_location(std::move(location))
    , m_busyTimeoutMs(busyTimeoutMs)
    , m_watchdog(std::make_unique<StatementWatchdog>(kStatementTimeoutPerLockWait * busyTimeoutMs +
                                                     kCallDeadlineBeyondStatementMs)) {
    DatabaseProbe::Parameters probe{{"host", m_location.hostList().toStdString()},
                                    {"port", m_location.portList().toStdString()},
                                    {"user", m_location.user.toStdString()},
                                    {"dbname", m_location.databaseName.toStdString()},
                                    {"connect_timeout", std::to_string(kConnectTimeoutSeconds)}};
    for (const auto& [keyword, value] : m_location.options) {
        probe.emplace_back(keyword.toStdString(), value.toStdString());
    }
    m_probe = std::make_unique<DatabaseProbe>(std::move(probe));
}

PostgresEngine::~PostgresEngine() = default;

void PostgresEngine::callStarts() {
    const int socket = m_connection ? PQsocket(m_connection) : -1;
    if (socket >= 0) {
        m_watchdog->arm(socket);
    }
}

bool PostgresEngine::callEnds() {
    return m_watchdog->disarm();
}

QString PostgresEngine::driverName() const {
    return QStringLiteral("QPSQL");
}

void PostgresEngine::configure(QSqlDatabase& db) const {
    // Several hosts: libpq tries them in turn. The ports go with the options, as Qt takes one.
    db.setHostName(m_location.hostList());
    db.setUserName(m_location.user);
    db.setDatabaseName(m_location.databaseName);
    // No password here: libpq reads PGPASSWORD or the password file itself.
    // A database host that vanishes without a word must not hold the server's thread for the
    // minutes TCP would wait: unacknowledged data and a silent peer end the connection soon.
    QStringList options{QStringLiteral("port=%1").arg(m_location.portList()),
                        QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds),
                        QStringLiteral("application_name=lorvex-server"),
                        QStringLiteral("tcp_user_timeout=%1").arg(kConnectTimeoutSeconds * 1000),
                        QStringLiteral("keepalives_idle=10"),
                        QStringLiteral("keepalives_interval=5"),
                        QStringLiteral("keepalives_count=2")};
    // Quoted as well, though PostgresLocation lets no quote, backslash or blank through: a value
    // stays one value whatever it holds.
    for (const auto& [keyword, value] : m_location.options) {
        QString quoted = value;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
        options.append(QStringLiteral("%1='%2'").arg(keyword, quoted));
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
}

QStringList PostgresEngine::connectionSetup() const {
    // Notices ("relation already exists, skipping") would only clutter the log.
    return {QStringLiteral("SET client_min_messages = warning"),
            QStringLiteral("SET lock_timeout = %1").arg(m_busyTimeoutMs),
            QStringLiteral("SET statement_timeout = %1")
                .arg(kStatementTimeoutPerLockWait * m_busyTimeoutMs),
            QStringLiteral("LISTEN %1").arg(QLatin1String(kChannel))};
}

QStringList PostgresEngine::schemaExtras() const {
    const QString channel = QLatin1String(kChannel);
    // Telemetry rows name their branch ("firma|filiale"), so that servers drop only that
    // branch's kept replies; the database sends one notification per branch and transaction,
    // however many rows changed. Anything else (users, a TRUNCATE) names nothing: everything.
    const QString anything =
        QStringLiteral("CREATE OR REPLACE FUNCTION lx_telemetry_changed() RETURNS trigger"
                       " LANGUAGE plpgsql AS $$BEGIN PERFORM pg_notify('%1', '');"
                       " RETURN NULL; END$$")
            .arg(channel);
    const QString branch =
        QStringLiteral("CREATE OR REPLACE FUNCTION lx_branch_changed() RETURNS trigger"
                       " LANGUAGE plpgsql AS $$BEGIN"
                       " IF TG_OP <> 'INSERT' THEN"
                       " PERFORM pg_notify('%1', OLD.firma || '|' || OLD.filiale); END IF;"
                       " IF TG_OP <> 'DELETE' THEN"
                       " PERFORM pg_notify('%1', NEW.firma || '|' || NEW.filiale); END IF;"
                       " RETURN NULL; END$$")
            .arg(channel);
    QStringList statements{anything, branch};
    for (const char* table : {"tm_register", "tm_clock"}) {
        const QString name = QLatin1String(table);
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1_changed ON %1").arg(name)
                   << QStringLiteral("CREATE OR REPLACE TRIGGER %1_rows_changed AFTER INSERT OR"
                                     " UPDATE OR DELETE ON %1 FOR EACH ROW EXECUTE FUNCTION"
                                     " lx_branch_changed()")
                          .arg(name)
                   << QStringLiteral("CREATE OR REPLACE TRIGGER %1_truncated AFTER TRUNCATE ON"
                                     " %1 FOR EACH STATEMENT EXECUTE FUNCTION"
                                     " lx_telemetry_changed()")
                          .arg(name);
    }
    // A changed user too: the sessions of that user look at the account again.
    statements << QStringLiteral("CREATE OR REPLACE TRIGGER lx_user_changed AFTER INSERT OR UPDATE"
                                 " OR DELETE OR TRUNCATE ON lx_user FOR EACH STATEMENT EXECUTE"
                                 " FUNCTION lx_telemetry_changed()")
               << QStringLiteral("CREATE TABLE IF NOT EXISTS lx_signin_failure ("
                                 " name VARCHAR(200) NOT NULL PRIMARY KEY, failures INTEGER NOT"
                                 " NULL, last_failure BIGINT NOT NULL)")
               // The answer slots of a guessed user, spaced out across all servers.
               << QStringLiteral("ALTER TABLE lx_signin_failure ADD COLUMN IF NOT EXISTS"
                                 " next_slot BIGINT NOT NULL DEFAULT 0");
    return statements;
}

QString PostgresEngine::schemaRevision() const {
    return QStringLiteral("branch-notifications, answer-slots");
}

QStringList PostgresEngine::beginTransaction() const {
    return {QStringLiteral("BEGIN"),
            QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kWriteLock)};
}

QStringList PostgresEngine::beginBranchTransaction(qint64 firma, qint64 filiale) const {
    // The whole-database lock shared (writers of other branches share it too), then the
    // branch's own (a separate key space: two 32-bit keys), in one round trip.
    return {QStringLiteral("BEGIN"),
            QStringLiteral("SELECT pg_advisory_xact_lock_shared(%1), pg_advisory_xact_lock(%2, %3)")
                .arg(kWriteLock)
                .arg(lockKey(firma))
                .arg(lockKey(filiale))};
}

StoreEngine::Failure PostgresEngine::classify(const QSqlError& error) const {
    const QString state = error.nativeErrorCode();
    // Lock timeout, serialisation failure, deadlock, and a row another writer inserted first.
    if (state == QLatin1String("55P03") || state == QLatin1String("40001") ||
        state == QLatin1String("40P01") || state == QLatin1String("23505")) {
        return Failure::Busy;
    }
    if (state == QLatin1String("25006")) { // a read-only transaction (a standby, for one)
        return Failure::ReadOnly;
    }
    // Connection exceptions, the server shutting down, or a connection libpq has given up.
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
        (m_connection && (PQstatus(m_connection) != CONNECTION_OK || m_goodbye)) ||
        error.type() == QSqlError::ConnectionError) {
        return Failure::Lost;
    }
    return Failure::Other;
}

void PostgresEngine::attach(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by the struct behind libpq's typedef.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "PGconn*") != 0 &&
                              qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: the database is not a PostgreSQL connection"));
    }
    m_connection = *static_cast<pg_conn* const*>(handle.constData());
    m_reads.attach(m_connection);
    m_goodbye = false;
    PQsetNoticeReceiver(m_connection, receiveNotice, &m_goodbye);
    // What happened while there was no connection is unknown.
    ++m_notifications;
    ++m_unplaced;
}

void PostgresEngine::detach() {
    m_connection = nullptr;
    m_reads.attach(nullptr);
    ++m_notifications;
    ++m_unplaced;
}

bool PostgresEngine::isConnected() {
    if (!m_connection) {
        return true; // not attached yet: the driver reports its own failures
    }
    // Reads what has arrived without waiting: notifications, or the server's goodbye.
    if (PQconsumeInput(m_connection) == 1) {
        while (PGnotify* notification = PQnotifies(m_connection)) {
            ++m_notifications;
            const QByteArray payload(notification->extra);
            const qsizetype bar = payload.indexOf('|');
            bool firmaRead = false;
            bool filialeRead = false;
            const qint64 firma = payload.left(bar).toLongLong(&firmaRead);
            const qint64 filiale = payload.mid(bar + 1).toLongLong(&filialeRead);
            if (bar > 0 && firmaRead && filialeRead &&
                (m_branchChanges.size() < kMaxCountedBranches ||
                 m_branchChanges.contains({firma, filiale}))) {
                ++m_branchChanges[{firma, filiale}];
            } else {
                ++m_unplaced;
            }
            PQfreemem(notification);
        }
    }
    return PQstatus(m_connection) == CONNECTION_OK && !m_goodbye;
}

qint64 PostgresEngine::commitsByOthers() {
    // One empty statement: the database sends every notification of a commit that was done
    // before it, ahead of its answer. Without it a notification could still be on its way when
    // a request comes in right after a writer's commit, and a kept reply would be served stale.
    bool confirmed = false;
    if (m_connection && isConnected()) {
        PGresult* result = PQexec(m_connection, "");
        confirmed = PQresultStatus(result) == PGRES_EMPTY_QUERY;
        PQclear(result);
    }
    if (!confirmed || !isConnected()) {
        // Nothing known: nothing kept may be served.
        ++m_notifications;
        ++m_unplaced;
    }
    return m_notifications;
}

std::optional<qint64> PostgresEngine::commitsByOthersTo(qint64 firma, qint64 filiale) const {
    return m_unplaced + m_branchChanges.value({firma, filiale});
}

std::optional<StoreEngine::FailureLedger> PostgresEngine::failureLedger() const {
    const QString now = QLatin1String(kNowMs);
    return FailureLedger{
        QStringLiteral("SELECT name, failures FROM lx_signin_failure"
                       " WHERE name IN (?, ?) AND last_failure > %1 - ?")
            .arg(now),
        QStringLiteral("INSERT INTO lx_signin_failure AS f (name, failures, last_failure)"
                       " VALUES (?, 1, %1) ON CONFLICT (name) DO UPDATE SET failures ="
                       " CASE WHEN f.last_failure > %1 - ? THEN f.failures + 1 ELSE 1 END,"
                       " last_failure = %1")
            .arg(now),
        QStringLiteral("DELETE FROM lx_signin_failure WHERE name = ?"),
        QStringLiteral("DELETE FROM lx_signin_failure WHERE last_failure < %1 - ?").arg(now),
        QStringLiteral("INSERT INTO lx_signin_failure AS f (name, failures, last_failure,"
                       " next_slot) VALUES (?, 0, %1, %1 + ?) ON CONFLICT (name) DO UPDATE SET"
                       " next_slot = GREATEST(f.next_slot, %1) + ? RETURNING next_slot - %1")
            .arg(now)};
}

std::optional<QString> PostgresEngine::registerReply(qint64 firma, qint64 filiale) {
    return m_reads.registerReply(firma, filiale);
}

std::optional<QString> PostgresEngine::clockReply(qint64 firma, qint64 filiale) {
    return m_reads.clockReply(firma, filiale);
}
