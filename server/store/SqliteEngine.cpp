#include "SqliteEngine.h"

#include "ServerError.h"
#include "SqliteReads.h"
#include "ValueText.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QUrl>

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

// An existing file this process may not write, or one in a directory where it may not make the
// journal beside it: SQLite can neither switch it to write-ahead logging nor write it.
bool mayNotWrite(const QString& path) {
    const QFileInfo file(path);
    return !path.isEmpty() && !path.startsWith(QLatin1Char(':')) && file.exists() &&
           (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable());
}

// The file format's write version (byte 18 of the header): 2 for write-ahead logging.
bool isWriteAheadFile(const QString& path) {
    QFile file(path);
    const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(19) : QByteArray();
    return header.size() == 19 && header.at(18) == 2;
}

} // namespace

SqliteEngine::SqliteEngine(QString path, int busyTimeoutMs)
    : m_path(std::move(path))
    , m_busyTimeoutMs(busyTimeoutMs)
    , m_readOnly(mayNotWrite(m_path))
    // A reader of a write-ahead file shares a memory file with its writers, beside the file. Where
    // the directory does not let this process make it and no writer has, SQLite can read the
    // file only when told that it never changes.
    , m_snapshot(m_readOnly && isWriteAheadFile(m_path) &&
                 !QFileInfo(QFileInfo(m_path).absolutePath()).isWritable() &&
                 !QFile::exists(m_path + QStringLiteral("-shm"))) {
}

SqliteEngine::~SqliteEngine() = default;

QString SqliteEngine::driverName() const {
    return QStringLiteral("QSQLITE");
}

void SqliteEngine::configure(QSqlDatabase& db) const {
    if (!createPrivateFile(m_path)) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: cannot create %1").arg(display()));
    }
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs);
    if (m_readOnly) {
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    }
    if (m_snapshot) {
        options += QStringLiteral(";QSQLITE_OPEN_URI");
        QUrl url = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
        url.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    } else {
        db.setDatabaseName(m_path);
    }
    db.setConnectOptions(options);
}

QString SqliteEngine::display() const {
    return escapedControls(m_path);
}

QStringList SqliteEngine::connectionSetup() const {
    if (m_readOnly) {
        return {}; // served in the journal mode it has: switching would be a write
    }
    // Write-ahead logging: an admin import in another process never blocks the readers.
    return {QStringLiteral("PRAGMA journal_mode=WAL")};
}

QStringList SqliteEngine::beginTransaction() const {
    // Deferred: a transaction that only finds the schema in place writes nothing and must not
    // wait for another process's write. SQLite lets one writer in at a time by itself.
    return {QStringLiteral("BEGIN")};
}

StoreEngine::Failure SqliteEngine::classify(const QSqlError& error) const {
    // The driver reports extended result codes; their low byte is the primary one.
    // SQLITE_BUSY and SQLITE_LOCKED: another writer holds the database. SQLITE_READONLY: the
    // file is served read-only.
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5:
    case 6:
        return Failure::Busy;
    case 8:
        return Failure::ReadOnly;
    default:
        return Failure::Other;
    }
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

std::pair<QString, QString> SqliteEngine::noWaitBracket() const {
    return {QStringLiteral("PRAGMA busy_timeout = 0"),
            QStringLiteral("PRAGMA busy_timeout = %1").arg(m_busyTimeoutMs)};
}
