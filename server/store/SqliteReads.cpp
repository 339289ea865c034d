#include "SqliteReads.h"

#include "ServerError.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

// Resets a statement when the read is over, also when it throws.
class ResetOnExit {
public:
    explicit ResetOnExit(sqlite3_stmt* statement)
        : m_statement(statement) {}
    ~ResetOnExit() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    sqlite3_stmt* m_statement;
};

} // namespace

SqliteReads::SqliteReads(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: the database is not an SQLite connection"));
    }
    m_db = *static_cast<sqlite3* const*>(handle.constData());
    try {
        m_registers = prepare("SELECT kasse, anzahl, first_cnt, last_cnt FROM tm_register"
                              " WHERE firma = ? AND filiale = ? ORDER BY seq");
        m_clocks = prepare("SELECT nr, e_ist, e_soll, s_ist, s_soll FROM tm_clock"
                           " WHERE firma = ? AND filiale = ? AND slot BETWEEN 1 AND 4"
                           " ORDER BY slot");
        m_dataVersion = prepare("PRAGMA data_version");
    } catch (...) {
        sqlite3_finalize(m_registers);
        sqlite3_finalize(m_clocks);
        throw;
    }
}

SqliteReads::~SqliteReads() {
    sqlite3_finalize(m_registers);
    sqlite3_finalize(m_clocks);
    sqlite3_finalize(m_dataVersion);
}

sqlite3_stmt* SqliteReads::prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
        fail("prepare");
    }
    return statement;
}

QString SqliteReads::registerReply(qint64 firma, qint64 filiale) {
    return branchReply(m_registers, firma, filiale, true);
}

QString SqliteReads::clockReply(qint64 firma, qint64 filiale) {
    return branchReply(m_clocks, firma, filiale, false);
}

QString SqliteReads::branchReply(sqlite3_stmt* statement, qint64 firma, qint64 filiale,
                                 bool separatorAfter) {
    const ResetOnExit reset(statement);
    sqlite3_bind_int64(statement, 1, firma);
    sqlite3_bind_int64(statement, 2, filiale);
    m_buffer.clear();
    const int columns = sqlite3_column_count(statement);
    int rows = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column) {
            if (!separatorAfter && (rows > 0 || column > 0)) {
                m_buffer += '|';
            }
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            if (text) {
                m_buffer.append(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
            }
            if (separatorAfter) {
                m_buffer += '|';
            }
        }
        ++rows;
    }
    if (step != SQLITE_DONE) {
        fail("query");
    }
    if (rows == 0) {
        return QString();
    }
    return QString::fromUtf8(m_buffer.data(), static_cast<qsizetype>(m_buffer.size()));
}

qint64 SqliteReads::dataVersion() {
    const ResetOnExit reset(m_dataVersion);
    if (sqlite3_step(m_dataVersion) != SQLITE_ROW) {
        fail("data_version");
    }
    return sqlite3_column_int64(m_dataVersion, 0);
}

void SqliteReads::fail(const char* what) const {
    throw ServerError(ServerErrorNumber::Store,
                      QStringLiteral("store: %1: %2")
                          .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(m_db))));
}
