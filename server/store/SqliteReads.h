#pragma once

#include <QString>

#include <string>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// The store's hottest reads, made on the SQLite connection underneath Qt's SQL layers: the
// telemetry replies, whose rows are appended as UTF-8 to one buffer (no value object per field
// or row), and the file's data version. Each statement is prepared once and reset after use,
// so it holds no read lock between calls. Every failure throws ServerError (Store).
class SqliteReads {
public:
    // db must be an open QSQLITE connection; it must outlive this object.
    explicit SqliteReads(const QSqlDatabase& db);
    ~SqliteReads();
    SqliteReads(const SqliteReads&) = delete;
    SqliteReads& operator=(const SqliteReads&) = delete;

    // Every field followed by "|"; a null string when the branch has no record.
    QString registerReply(qint64 firma, qint64 filiale);
    // All fields joined by "|"; a null string when the branch has no clock.
    QString clockReply(qint64 firma, qint64 filiale);
    // Changes whenever another connection to the file (another process included) commits.
    qint64 dataVersion();

private:
    sqlite3_stmt* prepare(const char* sql);
    // Runs a branch statement and joins its rows' fields: after every field, or between them.
    QString branchReply(sqlite3_stmt* statement, qint64 firma, qint64 filiale, bool separatorAfter);
    [[noreturn]] void fail(const char* what) const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_registers = nullptr;
    sqlite3_stmt* m_clocks = nullptr;
    sqlite3_stmt* m_dataVersion = nullptr;
    std::string m_buffer; // kept: a full reply reuses the room of the last one
};
