#include "PostgresReads.h"

#include <libpq-fe.h>

namespace {

constexpr const char* kRegisters = "lx_register_reply";
constexpr const char* kClocks = "lx_clock_reply";

} // namespace

void PostgresReads::attach(pg_conn* connection) {
    m_connection = connection;
    m_prepared = false;
}

std::optional<QString> PostgresReads::registerReply(qint64 firma, qint64 filiale) {
    return branchReply(kRegisters, firma, filiale, true);
}

std::optional<QString> PostgresReads::clockReply(qint64 firma, qint64 filiale) {
    return branchReply(kClocks, firma, filiale, false);
}

bool PostgresReads::prepare() {
    const std::pair<const char*, const char*> statements[] = {
        {kRegisters, "SELECT kasse, anzahl, first_cnt, last_cnt FROM tm_register"
                     " WHERE firma = $1::bigint AND filiale = $2::bigint ORDER BY seq"},
        {kClocks, "SELECT nr, e_ist, e_soll, s_ist, s_soll FROM tm_clock"
                  " WHERE firma = $1::bigint AND filiale = $2::bigint AND slot BETWEEN 1 AND 4"
                  " ORDER BY slot"}};
    for (const auto& [name, sql] : statements) {
        PGresult* result = PQprepare(m_connection, name, sql, 2, nullptr);
        const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        if (!done) {
            return false;
        }
    }
    m_prepared = true;
    return true;
}

std::optional<QString> PostgresReads::branchReply(const char* statement, qint64 firma,
                                                  qint64 filiale, bool separatorAfter) {
    if (!m_connection || PQstatus(m_connection) != CONNECTION_OK ||
        PQtransactionStatus(m_connection) != PQTRANS_IDLE || (!m_prepared && !prepare())) {
        return std::nullopt;
    }
    const std::string firmaText = std::to_string(firma);
    const std::string filialeText = std::to_string(filiale);
    const char* values[] = {firmaText.c_str(), filialeText.c_str()};
    PGresult* result = PQexecPrepared(m_connection, statement, 2, values, nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        PQclear(result);
        return std::nullopt;
    }
    const int rows = PQntuples(result);
    const int columns = PQnfields(result);
    m_buffer.clear();
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (!separatorAfter && (row > 0 || column > 0)) {
                m_buffer += '|';
            }
            m_buffer.append(PQgetvalue(result, row, column),
                            static_cast<size_t>(PQgetlength(result, row, column)));
            if (separatorAfter) {
                m_buffer += '|';
            }
        }
    }
    PQclear(result);
    if (rows == 0) {
        return QString();
    }
    return QString::fromUtf8(m_buffer.data(), static_cast<qsizetype>(m_buffer.size()));
}
