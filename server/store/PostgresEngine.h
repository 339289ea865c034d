#pragma once

#include "DatabaseProbe.h"
#include "PostgresLocation.h"
#include "PostgresReads.h"
#include "StatementWatchdog.h"
#include "StoreEngine.h"

#include <QHash>
#include <QPair>

#include <memory>

struct pg_conn;

// A PostgreSQL database that several servers may share. Each server listens for the
// notification the telemetry tables' triggers send on every change, whoever made it; writers of
// all servers and admin commands take turns through one advisory lock; failed sign-ins are
// counted in a table they all read.
class PostgresEngine : public StoreEngine {
public:
    // The channel of the telemetry tables' triggers.
    static constexpr const char* kChannel = "lorvex_telemetry";

    PostgresEngine(PostgresLocation location, int busyTimeoutMs);
    ~PostgresEngine() override;

    QString driverName() const override;
    QString display() const override { return m_location.display(); }
    void configure(QSqlDatabase& db) const override;
    QStringList connectionSetup() const override;
    QStringList schemaExtras() const override;
    QString schemaRevision() const override;
    QStringList beginTransaction() const override;
    QStringList beginBranchTransaction(qint64 firma, qint64 filiale) const override;
    Failure classify(const QSqlError& error) const override;
    void attach(const QSqlDatabase& db) override;
    void detach() override;
    bool isConnected() override;
    qint64 commitsByOthers() override;
    std::optional<qint64> commitsByOthersTo(qint64 firma, qint64 filiale) const override;
    std::optional<FailureLedger> failureLedger() const override;
    void callStarts() override;
    bool callEnds() override;
    int callDeadlineMs() const override { return m_watchdog->deadlineMs(); }
    bool answers() override { return m_probe->answered(); }
    std::optional<QString> registerReply(qint64 firma, qint64 filiale) override;
    std::optional<QString> clockReply(qint64 firma, qint64 filiale) override;

private:
    PostgresLocation m_location;
    int m_busyTimeoutMs;
    pg_conn* m_connection = nullptr;
    // Every notification and every gap in them; of those, the ones no branch was named for;
    // and per branch the ones that named it.
    qint64 m_notifications = 0;
    qint64 m_unplaced = 0;
    QHash<QPair<qint64, qint64>, qint64> m_branchChanges;
    bool m_goodbye = false; // the database said it ends the connection
    std::unique_ptr<StatementWatchdog> m_watchdog;
    std::unique_ptr<DatabaseProbe> m_probe;
    PostgresReads m_reads;
};
