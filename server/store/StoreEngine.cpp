#include "StoreEngine.h"

#include "PostgresEngine.h"
#include "ServerError.h"
#include "SqliteEngine.h"

std::unique_ptr<StoreEngine> StoreEngine::forLocation(const QString& location, int busyTimeoutMs) {
    if (!PostgresLocation::isUrl(location)) {
        return std::make_unique<SqliteEngine>(location, busyTimeoutMs);
    }
    QString problem;
    std::optional<PostgresLocation> postgres = PostgresLocation::parse(location, problem);
    if (!postgres) {
        throw ServerError(ServerErrorNumber::Store, QStringLiteral("store: %1").arg(problem));
    }
    return std::make_unique<PostgresEngine>(std::move(*postgres), busyTimeoutMs);
}

std::optional<QString> StoreEngine::registerReply(qint64, qint64) {
    return std::nullopt;
}

std::optional<QString> StoreEngine::clockReply(qint64, qint64) {
    return std::nullopt;
}

std::optional<StoreEngine::FailureLedger> StoreEngine::failureLedger() const {
    return std::nullopt;
}
