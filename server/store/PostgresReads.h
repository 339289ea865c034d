#pragma once

#include <QString>

#include <optional>
#include <string>

struct pg_conn;

// The telemetry replies read through libpq on the store's own connection, beneath Qt's driver:
// the rows' text goes straight into the reply, not through a QVariant per field. Statements are
// prepared once per connection. Anything unusual (no connection, an error) gives nullopt, and
// the store's portable query then runs and reports it.
class PostgresReads {
public:
    // A new connection (or none): the statements are prepared on it when first used.
    void attach(pg_conn* connection);

    std::optional<QString> registerReply(qint64 firma, qint64 filiale);
    std::optional<QString> clockReply(qint64 firma, qint64 filiale);

private:
    std::optional<QString> branchReply(const char* statement, qint64 firma, qint64 filiale,
                                       bool separatorAfter);
    bool prepare();

    pg_conn* m_connection = nullptr;
    bool m_prepared = false;
    std::string m_buffer;
};
