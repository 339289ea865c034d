#include "SqliteEngine.h"

#include "ServerError.h"
#include "SqliteReads.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>

namespace {

// A new database file is made here, before the driver opens it, so that it is never readable by
// others, not even for a moment (the driver's journal files take the same permissions).
bool createPrivateFile(const QString& path) {
    if (path.isEmpty() || path.startsWith(QLatin1Char(':')) || QFile::exists(path)) {
        return true;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

SqliteEngine::SqliteEngine(QString path, int busyTimeoutMs)
    : m_path(std::move(path))
    , m_busyTimeoutMs(busyTimeoutMs) {
}

SqliteEngine::~SqliteEngine() = default;

QString SqliteEngine::driverName() const {
    return QStringLiteral("QSQLITE");
}

void SqliteEngine::configure(QSqlDatabase& db) const {
    if (!createPrivateFile(m_path)) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: cannot create %1").arg(m_path));
    }
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
}

QStringList SqliteEngine::connectionSetup() const {
    // Write-ahead logging: an admin import in another process never blocks the readers.
    return {QStringLiteral("PRAGMA journal_mode=WAL")};
}

QStringList SqliteEngine::beginTransaction() const {
    // Deferred: a transaction that only finds the schema in place writes nothing and must not
    // wait for another process's write. SQLite lets one writer in at a time by itself.
    return {QStringLiteral("BEGIN")};
}

StoreEngine::Failure SqliteEngine::classify(const QSqlError& error) const {
    // SQLITE_BUSY and SQLITE_LOCKED: another writer holds the database.
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6") ? Failure::Busy
                                                                    : Failure::Other;
}

void SqliteEngine::attach(const QSqlDatabase& db) {
    m_reads = std::make_unique<SqliteReads>(db);
}

void SqliteEngine::detach() {
    m_reads.reset();
}

qint64 SqliteEngine::commitsByOthers() {
    return m_reads ? m_reads->dataVersion() : 0;
}

std::optional<QString> SqliteEngine::registerReply(qint64 firma, qint64 filiale) {
    return m_reads ? std::optional<QString>(m_reads->registerReply(firma, filiale)) : std::nullopt;
}

std::optional<QString> SqliteEngine::clockReply(qint64 firma, qint64 filiale) {
    return m_reads ? std::optional<QString>(m_reads->clockReply(firma, filiale)) : std::nullopt;
}
