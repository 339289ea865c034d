#pragma once

#include "StoreEngine.h"

#include <memory>

class SqliteReads;

// An SQLite file, written ahead of a log so that readers never wait for a writer. Meant for one
// server per file; other processes (admin commands) may write to it at the same time. A file the
// process may not write is opened read-only, in the journal mode it has; a write-ahead one whose
// log this process cannot share is read as it was when opened.
class SqliteEngine : public StoreEngine {
public:
    SqliteEngine(QString path, int busyTimeoutMs);
    ~SqliteEngine() override;

    QString driverName() const override;
    QString display() const override;
    void configure(QSqlDatabase& db) const override;
    QStringList connectionSetup() const override;
    QStringList schemaExtras() const override { return {}; }
    QStringList beginTransaction() const override;
    std::pair<QString, QString> noWaitBracket() const override;
    Failure classify(const QSqlError& error) const override;
    void attach(const QSqlDatabase& db) override;
    void detach() override;
    bool isReadOnly() const override { return m_readOnly; }
    bool isSnapshot() const override { return m_snapshot; }
    bool isConnected() override { return true; }
    qint64 commitsByOthers() override;
    std::optional<QString> registerReply(qint64 firma, qint64 filiale) override;
    std::optional<QString> clockReply(qint64 firma, qint64 filiale) override;

private:
    QString m_path;
    int m_busyTimeoutMs;
    bool m_readOnly;
    bool m_snapshot;
    std::unique_ptr<SqliteReads> m_reads;
};
