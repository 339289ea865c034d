#include "Store.h"

#include "PasswordHash.h"
#include "SecretBytes.h"
#include "ServerError.h"
#include "StoreEngine.h"
#include "StoreSchema.h"

#include <QAtomicInteger>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace {

QAtomicInteger<int> s_connectionCounter;

// A null QString would be bound as SQL NULL; the columns hold empty texts instead.
QVariant bindable(const QVariant& value) {
    if (value.typeId() == QMetaType::QString && value.toString().isNull()) {
        return QString(QLatin1String(""));
    }
    return value;
}

QString text(const QSqlQuery& query, int column) {
    return query.value(column).toString();
}

// Resets a kept statement when its caller is done with it, so that it holds no read lock on
// the file between requests (a writer in another process would have to wait for it).
class ResetWhenDone {
public:
    explicit ResetWhenDone(QSqlQuery& query)
        : m_query(query) {}
    ~ResetWhenDone() { m_query.finish(); }
    ResetWhenDone(const ResetWhenDone&) = delete;
    ResetWhenDone& operator=(const ResetWhenDone&) = delete;

private:
    QSqlQuery& m_query;
};

// Qt's PostgreSQL driver warns about every statement it cannot free on a connection that is
// gone; those statements went with their connection, so there is nothing to say.
QtMessageHandler s_previousHandler = nullptr;

void dropFreeStatementWarnings(QtMsgType type, const QMessageLogContext& context,
                               const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("Unable to free statement"))) {
        return;
    }
    if (s_previousHandler) {
        s_previousHandler(type, context, message);
    }
}

template <typename Statements> void destroyQuietly(Statements& statements) {
    // The handler is the process's: stores closed on several threads at once take turns.
    static QMutex handlerSwap;
    const QMutexLocker lock(&handlerSwap);
    s_previousHandler = qInstallMessageHandler(dropFreeStatementWarnings);
    statements.clear();
    qInstallMessageHandler(s_previousHandler);
}

} // namespace

Store::Store(const QString& location, int busyTimeoutMs)
    : m_location(location)
    , m_busyTimeoutMs(busyTimeoutMs)
    , m_engine(StoreEngine::forLocation(location, busyTimeoutMs))
    , m_ledger(m_engine->failureLedger())
    , m_connectionName(
          QStringLiteral("lorvex-store-%1").arg(s_connectionCounter.fetchAndAddRelaxed(1))) {
    QSqlDatabase db = QSqlDatabase::addDatabase(m_engine->driverName(), m_connectionName);
    try {
        if (!db.isValid()) {
            throw ServerError(ServerErrorNumber::Store,
                              QStringLiteral("store: the Qt SQL driver %1 is not installed")
                                  .arg(m_engine->driverName()));
        }
        m_engine->configure(db);
        openConnection();
        createSchema();
        m_engine->attach(db);
    } catch (...) {
        m_statements.clear();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

Store::~Store() {
    // Statements go before the connection they were prepared on.
    m_engine->detach();
    destroyQuietly(m_statements);
    destroyQuietly(m_retired);
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString Store::display() const {
    return m_engine->display();
}

void Store::openConnection() const {
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.open()) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: cannot open %1: %2")
                              .arg(m_engine->display(), db.lastError().text().simplified()));
    }
    for (const QString& statement : m_engine->connectionSetup()) {
        QSqlQuery query(db);
        callStarts();
        const bool done = query.exec(statement);
        callEnds(QStringLiteral("connection setup"));
        if (!done && m_engine->classify(query.lastError()) == StoreEngine::Failure::ReadOnly) {
            // A standby cannot even be listened to: say what it is, not what failed on it.
            throw ServerError(
                ServerErrorNumber::Store,
                QStringLiteral("store: %1 is a standby that only reads (it is in recovery): give "
                               "--db the primary, or list every host with "
                               "?target_session_attrs=read-write so that the server finds the "
                               "primary by itself")
                    .arg(m_engine->display()));
        }
        if (!done) {
            fail(statement.section(QLatin1Char(' '), 0, 1).toLower(), query.lastError());
        }
    }
}

// Outside a transaction only: a transaction cut off with its connection is over, and what came
// after it must not run without it.
void Store::reconnectIfLost() const {
    if (m_inTransaction || (!m_mustReconnect && m_engine->isConnected())) {
        return;
    }
    if (!m_mustReconnect) {
        noteAway(QStringLiteral("the connection was lost"));
    }
    m_mustReconnect = true; // until an attempt succeeds
    if (m_lastReconnect.isValid() && m_lastReconnect.elapsed() < m_reconnectPauseMs) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: no connection to %1; trying again shortly")
                              .arg(m_engine->display()));
    }
    // After a call that overran or an attempt that failed, the database is asked away from this
    // thread first: a stuck database costs no connect timeout here.
    if (m_askBeforeReconnect && !m_engine->answers()) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: %1 does not answer; trying again shortly")
                              .arg(m_engine->display()));
    }
    m_lastReconnect.start();
    destroyQuietly(m_retired);
    m_retired = std::move(m_statements);
    m_statements.clear();
    m_engine->detach();
    ++m_generation;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.close();
    try {
        openConnection();
    } catch (const ServerError& error) {
        m_reconnectPauseMs = std::min(2 * m_reconnectPauseMs, kLongestReconnectPauseMs);
        m_askBeforeReconnect = true;
        if (m_awaySince.isValid() && m_healthLog) {
            m_healthLog(QStringLiteral("%1; next attempt in %2 s")
                            .arg(error.text())
                            .arg(m_reconnectPauseMs / 1000));
        }
        noteAway(error.text());
        throw;
    }
    m_reconnectPauseMs = kReconnectPauseMs;
    m_engine->attach(db);
    m_mustReconnect = false;
    m_askBeforeReconnect = false;
    if (m_awaySince.isValid()) {
        if (m_healthLog) {
            m_healthLog(QStringLiteral("the database %1 answers again, after %2 s")
                            .arg(m_engine->display())
                            .arg(double(m_awaySince.elapsed()) / 1000.0, 0, 'f', 1));
        }
        m_awaySince.invalidate();
    }
}

void Store::noteAway(const QString& reason) const {
    if (m_awaySince.isValid()) {
        return;
    }
    m_awaySince.start();
    if (m_healthLog) {
        m_healthLog(QStringLiteral("the database %1 does not answer (%2); requests that need it "
                                   "fail with a store error until it answers again")
                        .arg(m_engine->display(), reason));
    }
}

void Store::callEnds(const QString& what) const {
    if (!m_engine->callEnds()) {
        return;
    }
    m_mustReconnect = true;
    m_askBeforeReconnect = true;
    ++m_generation;
    const QString overran = QStringLiteral("%1 did not answer within %2 ms")
                                .arg(m_engine->display())
                                .arg(m_engine->callDeadlineMs());
    noteAway(QStringLiteral("a call waited longer than %1 ms").arg(m_engine->callDeadlineMs()));
    throw ServerError(ServerErrorNumber::Store,
                      QStringLiteral("store: %1: %2; a new connection is made once it answers")
                          .arg(what, overran));
}

bool Store::schemaIsCurrent() const {
    // Asked outside a transaction and without a lock: a command that finds the schema in place
    // writes nothing and waits for nobody.
    QHash<QString, QString> meta;
    readRows(
        QStringLiteral("SELECT name, value FROM lx_meta WHERE name IN (?, ?)"),
        {QStringLiteral("schema_version"), QStringLiteral("engine_schema")},
        [&meta](const QSqlQuery& row) { meta.insert(text(row, 0), text(row, 1)); }, false);
    return meta.value(QStringLiteral("schema_version")) == QLatin1String(StoreSchema::kVersion) &&
           meta.value(QStringLiteral("engine_schema")) == schemaRevision();
}

QString Store::schemaRevision() const {
    return m_engine->schemaRevision() + QStringLiteral(", ") +
           QLatin1String(StoreSchema::kTablesRevision);
}

void Store::createSchema() {
    const QStringList tables = QSqlDatabase::database(m_connectionName, false).tables();
    if (tables.contains(QStringLiteral("lx_meta")) && schemaIsCurrent()) {
        return;
    }
    const bool firstSchema =
        tables.contains(QStringLiteral("lx_user")) && !tables.contains(QStringLiteral("lx_meta"));
    inTransaction([this, firstSchema] {
        if (firstSchema) {
            execDirect(
                QStringLiteral("ALTER TABLE lx_user RENAME COLUMN passwort TO password_hash"));
        }
        for (const QString& statement : StoreSchema::createStatements()) {
            execDirect(statement);
        }
        for (const QString& statement : m_engine->schemaExtras()) {
            execDirect(statement);
        }
        if (firstSchema) {
            convertClearTextPasswords();
        }
        const QString name = QStringLiteral("schema_version");
        if (!firstRow<QString>(QStringLiteral("SELECT value FROM lx_meta WHERE name = ?"), {name},
                               [](const QSqlQuery& row) { return text(row, 0); })) {
            run(QStringLiteral("INSERT INTO lx_meta (name, value) VALUES (?, ?)"),
                {name, QString::fromLatin1(StoreSchema::kVersion)});
        }
        run(QStringLiteral("DELETE FROM lx_meta WHERE name = ?"),
            {QStringLiteral("engine_schema")});
        run(QStringLiteral("INSERT INTO lx_meta (name, value) VALUES (?, ?)"),
            {QStringLiteral("engine_schema"), schemaRevision()});
    });
}

void Store::convertClearTextPasswords() {
    const QList<UserRecord> clearText =
        rowsOf<UserRecord>(QStringLiteral("SELECT firma, code, password_hash FROM lx_user"), {},
                           [](const QSqlQuery& row) {
                               UserRecord user;
                               user.firma = row.value(0).toLongLong();
                               user.code = text(row, 1);
                               user.passwordHash = text(row, 2); // still the clear text here
                               return user;
                           });
    for (const UserRecord& user : clearText) {
        run(QStringLiteral("UPDATE lx_user SET password_hash = ? WHERE firma = ? AND code = ?"),
            {QString::fromLatin1(PasswordHash::make(user.passwordHash)), user.firma, user.code});
        ++m_convertedPasswords;
    }
}

QSqlQuery& Store::prepare(const QString& sql) const {
    reconnectIfLost();
    std::unique_ptr<QSqlQuery>& kept = m_statements[sql];
    if (!kept) {
        auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        query->setForwardOnly(true); // rows are read once: no copy of every row kept
        callStarts();
        const bool prepared = query->prepare(sql);
        if (!prepared) {
            const QSqlError error = query->lastError();
            m_statements.erase(sql);
            callEnds(QStringLiteral("prepare"));
            fail(QStringLiteral("prepare"), error);
        }
        callEnds(QStringLiteral("prepare"));
        kept = std::move(query);
    }
    return *kept;
}

void Store::exec(QSqlQuery& query, bool changesReplies) const {
    callStarts();
    const bool done = query.exec();
    callEnds(QStringLiteral("query"));
    if (changesReplies && !query.isSelect()) {
        ++m_generation; // a write, or a statement that may have written
    }
    if (!done) {
        fail(QStringLiteral("query"), query.lastError());
    }
}

void Store::readRows(const QString& sql, const QVariantList& values,
                     const std::function<void(const QSqlQuery&)>& eachRow,
                     bool changesReplies) const {
    QSqlQuery& query = prepare(sql);
    const ResetWhenDone done(query);
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    exec(query, changesReplies);
    while (query.next()) {
        eachRow(query);
    }
}

void Store::run(const QString& sql, const QVariantList& values, bool changesReplies) const {
    readRows(
        sql, values, [](const QSqlQuery&) {}, changesReplies);
}

template <typename Row, typename Map>
QList<Row> Store::rowsOf(const QString& sql, const QVariantList& values, Map map) const {
    QList<Row> rows;
    readRows(sql, values, [&rows, &map](const QSqlQuery& row) { rows.append(map(row)); });
    return rows;
}

template <typename Row, typename Map>
std::optional<Row> Store::firstRow(const QString& sql, const QVariantList& values, Map map) const {
    std::optional<Row> first;
    readRows(sql, values, [&first, &map](const QSqlQuery& row) {
        if (!first) {
            first = map(row);
        }
    });
    return first;
}

qint64 Store::count(const QString& sql, const QVariantList& values) const {
    return firstRow<qint64>(sql, values,
                            [](const QSqlQuery& row) { return row.value(0).toLongLong(); })
        .value_or(0);
}

void Store::execDirect(const QString& sql) const {
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    const QString what = sql.section(QLatin1Char(' '), 0, 1).toLower();
    callStarts();
    const bool done = query.exec(sql);
    callEnds(what);
    if (!done) {
        fail(what, query.lastError());
    }
}

void Store::fail(const QString& what, const QSqlError& error) const {
    switch (m_engine->classify(error)) {
    case StoreEngine::Failure::Busy:
        throw ServerError(ServerErrorNumber::StoreBusy,
                          QStringLiteral("store busy: %1: another connection to the database "
                                         "holds a lock it needs; nothing changed, try again")
                              .arg(what));
    case StoreEngine::Failure::Lost:
        noteAway(error.text().simplified());
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: %1: the connection to %2 was lost (%3); it is "
                                         "opened again with the next request")
                              .arg(what, m_engine->display(), error.text().simplified()));
    case StoreEngine::Failure::ReadOnly:
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: %1: %2 is served read-only; nothing was written")
                              .arg(what, m_engine->display()));
    case StoreEngine::Failure::Other:
        break;
    }
    throw ServerError(ServerErrorNumber::Store,
                      QStringLiteral("store: %1: %2").arg(what, error.text()));
}

Store::ChangeStamp Store::changeStamp() const {
    const std::optional<quint64> arrivals =
        m_arrivals ? std::optional<quint64>(m_arrivals->arrivalsSoFar()) : std::nullopt;
    if (arrivals && m_othersCheckedAt == arrivals) {
        return ChangeStamp{m_generation, m_othersSeen};
    }
    callStarts();
    const qint64 others = m_engine->commitsByOthers();
    if (m_engine->callEnds()) {
        // The count already says "changed"; the next statement finds the connection cut.
        m_mustReconnect = true;
        m_askBeforeReconnect = true;
        noteAway(QStringLiteral("a call waited longer than %1 ms").arg(m_engine->callDeadlineMs()));
    }
    if (arrivals) {
        m_othersCheckedAt = arrivals;
        m_othersSeen = others;
    }
    return ChangeStamp{m_generation, others};
}

Store::ChangeStamp Store::changeStampOf(qint64 firma, qint64 filiale) const {
    ChangeStamp stamp = changeStamp();
    if (const std::optional<qint64> branch = m_engine->commitsByOthersTo(firma, filiale)) {
        stamp.dataVersion = *branch;
    }
    return stamp;
}

void Store::inTransaction(const std::function<void()>& work) {
    beginWith(m_engine->beginTransaction(), work);
}

void Store::inBranchTransaction(qint64 firma, qint64 filiale, const std::function<void()>& work) {
    beginWith(m_engine->beginBranchTransaction(firma, filiale), work);
}

void Store::beginWith(const QStringList& begin, const std::function<void()>& work) {
    reconnectIfLost();
    execDirect(begin.first());
    m_inTransaction = true;
    try {
        for (qsizetype i = 1; i < begin.size(); ++i) {
            execDirect(begin.at(i));
        }
        work();
        m_inTransaction = false;
        execDirect(QStringLiteral("COMMIT"));
    } catch (...) {
        m_inTransaction = false;
        ++m_generation;
        QSqlQuery rollback(QSqlDatabase::database(m_connectionName, false));
        callStarts();
        rollback.exec(QStringLiteral("ROLLBACK")); // after a failed COMMIT as well
        if (m_engine->callEnds()) {
            m_mustReconnect = true;
            m_askBeforeReconnect = true;
        }
        throw;
    }
    ++m_generation;
}

std::optional<UserRecord> Store::user(qint64 firma, const QString& code) const {
    return firstRow<UserRecord>(
        QStringLiteral("SELECT password_hash, aktiv, pname, pnr, abtnr, dw, bergrp FROM lx_user"
                       " WHERE firma = ? AND code = ?"),
        {firma, code}, [&](const QSqlQuery& row) {
            return UserRecord{firma,        code,         text(row, 0), text(row, 1), text(row, 2),
                              text(row, 3), text(row, 4), text(row, 5), text(row, 6)};
        });
}

std::optional<DepartmentRecord> Store::department(qint64 firma, const QString& abtNr) const {
    return firstRow<DepartmentRecord>(
        QStringLiteral("SELECT abtbez, habtnr FROM lx_department WHERE firma = ? AND abtnr = ?"),
        {firma, abtNr}, [&](const QSqlQuery& row) {
            return DepartmentRecord{firma, abtNr, text(row, 0), text(row, 1)};
        });
}

std::optional<BaseDataRecord> Store::baseData(qint64 firma, const QString& pnr) const {
    return firstRow<BaseDataRecord>(
        QStringLiteral("SELECT fax, email FROM lx_base_data WHERE firma = ? AND pnr = ?"),
        {firma, pnr}, [&](const QSqlQuery& row) {
            return BaseDataRecord{firma, pnr, text(row, 0), text(row, 1)};
        });
}

QList<RegisterRecord> Store::registers(qint64 firma, qint64 filiale) const {
    return rowsOf<RegisterRecord>(
        QStringLiteral("SELECT seq, kasse, anzahl, first_cnt, last_cnt FROM tm_register"
                       " WHERE firma = ? AND filiale = ? ORDER BY seq"),
        {firma, filiale}, [&](const QSqlQuery& row) {
            return RegisterRecord{firma,        filiale,      row.value(0).toInt(), text(row, 1),
                                  text(row, 2), text(row, 3), text(row, 4)};
        });
}

QList<ClockRecord> Store::clocks(qint64 firma, qint64 filiale) const {
    return rowsOf<ClockRecord>(
        QStringLiteral("SELECT slot, nr, e_ist, e_soll, s_ist, s_soll FROM tm_clock"
                       " WHERE firma = ? AND filiale = ? AND slot BETWEEN 1 AND 4 ORDER BY slot"),
        {firma, filiale}, [&](const QSqlQuery& row) {
            return ClockRecord{firma,        filiale,      row.value(0).toInt(), text(row, 1),
                               text(row, 2), text(row, 3), text(row, 4),         text(row, 5)};
        });
}

std::optional<QString> Store::fastReply(bool registers, qint64 firma, qint64 filiale) const {
    reconnectIfLost();
    callStarts();
    std::optional<QString> reply =
        registers ? m_engine->registerReply(firma, filiale) : m_engine->clockReply(firma, filiale);
    callEnds(QStringLiteral("query"));
    return reply;
}

QString Store::registerReply(qint64 firma, qint64 filiale) const {
    if (std::optional<QString> fast = fastReply(true, firma, filiale)) {
        return *fast;
    }
    QString reply;
    for (const RegisterRecord& record : registers(firma, filiale)) {
        for (const QString* field :
             {&record.kasse, &record.anzahl, &record.firstCnt, &record.lastCnt}) {
            reply += *field;
            reply += QLatin1Char('|');
        }
    }
    return reply;
}

QString Store::clockReply(qint64 firma, qint64 filiale) const {
    if (std::optional<QString> fast = fastReply(false, firma, filiale)) {
        return *fast;
    }
    QStringList fields;
    for (const ClockRecord& clock : clocks(firma, filiale)) {
        fields << clock.nr << clock.eIst << clock.eSoll << clock.sIst << clock.sSoll;
    }
    return fields.isEmpty() ? QString() : fields.join(QLatin1Char('|'));
}

QList<QPair<qint64, qint64>> Store::branches() const {
    return rowsOf<QPair<qint64, qint64>>(
        QStringLiteral("SELECT firma, filiale FROM tm_register UNION SELECT firma, filiale FROM"
                       " tm_clock ORDER BY 1, 2"),
        {}, [](const QSqlQuery& row) {
            return qMakePair(row.value(0).toLongLong(), row.value(1).toLongLong());
        });
}

bool Store::hasUsers() const {
    return count(QStringLiteral("SELECT COUNT(*) FROM lx_user")) > 0;
}

void Store::updateOrInsert(const QString& updateSql, const QString& insertSql,
                           const QVariantList& keys, const QVariantList& fields) {
    QSqlQuery& update = prepare(updateSql);
    const ResetWhenDone updateDone(update);
    for (const QVariant& value : fields + keys) {
        update.addBindValue(bindable(value));
    }
    exec(update);
    if (update.numRowsAffected() > 0) {
        return;
    }
    QSqlQuery& insert = prepare(insertSql);
    const ResetWhenDone insertDone(insert);
    for (const QVariant& value : keys + fields) {
        insert.addBindValue(bindable(value));
    }
    exec(insert);
}

void Store::putUser(const UserRecord& user) {
    updateOrInsert(
        QStringLiteral("UPDATE lx_user SET password_hash = ?, aktiv = ?, pname = ?, pnr = ?,"
                       " abtnr = ?, dw = ?, bergrp = ? WHERE firma = ? AND code = ?"),
        QStringLiteral("INSERT INTO lx_user (firma, code, password_hash, aktiv, pname, pnr,"
                       " abtnr, dw, bergrp) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {user.firma, user.code},
        {user.passwordHash, user.aktiv, user.pname, user.pnr, user.abtNr, user.dw, user.berGrp});
}

void Store::putDepartment(const DepartmentRecord& department) {
    updateOrInsert(QStringLiteral("UPDATE lx_department SET abtbez = ?, habtnr = ?"
                                  " WHERE firma = ? AND abtnr = ?"),
                   QStringLiteral("INSERT INTO lx_department (firma, abtnr, abtbez, habtnr)"
                                  " VALUES (?, ?, ?, ?)"),
                   {department.firma, department.abtNr}, {department.abtbez, department.hAbtNr});
}

void Store::putBaseData(const BaseDataRecord& baseData) {
    updateOrInsert(
        QStringLiteral("UPDATE lx_base_data SET fax = ?, email = ? WHERE firma = ? AND pnr = ?"),
        QStringLiteral("INSERT INTO lx_base_data (firma, pnr, fax, email) VALUES (?, ?, ?, ?)"),
        {baseData.firma, baseData.pnr}, {baseData.fax, baseData.email});
}

void Store::putRegister(const RegisterRecord& record) {
    updateOrInsert(QStringLiteral("UPDATE tm_register SET kasse = ?, anzahl = ?, first_cnt = ?,"
                                  " last_cnt = ? WHERE firma = ? AND filiale = ? AND seq = ?"),
                   QStringLiteral("INSERT INTO tm_register (firma, filiale, seq, kasse, anzahl,"
                                  " first_cnt, last_cnt) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {record.firma, record.filiale, record.seq},
                   {record.kasse, record.anzahl, record.firstCnt, record.lastCnt});
}

void Store::putClock(const ClockRecord& clock) {
    updateOrInsert(QStringLiteral("UPDATE tm_clock SET nr = ?, e_ist = ?, e_soll = ?, s_ist = ?,"
                                  " s_soll = ? WHERE firma = ? AND filiale = ? AND slot = ?"),
                   QStringLiteral("INSERT INTO tm_clock (firma, filiale, slot, nr, e_ist, e_soll,"
                                  " s_ist, s_soll) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                   {clock.firma, clock.filiale, clock.slot},
                   {clock.nr, clock.eIst, clock.eSoll, clock.sIst, clock.sSoll});
}

int Store::appendRegister(RegisterRecord record) {
    record.seq = int(count(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM tm_register"
                                          " WHERE firma = ? AND filiale = ?"),
                           {record.firma, record.filiale})) +
                 1;
    putRegister(record);
    return record.seq;
}

void Store::clearRegisters(qint64 firma, qint64 filiale) {
    run(QStringLiteral("DELETE FROM tm_register WHERE firma = ? AND filiale = ?"),
        {firma, filiale});
}

void Store::insertRows(const QString& table, const QString& columns, int columnCount,
                       const QList<QVariantList>& rows) {
    // A few hundred rows a statement: far below the bound values either engine allows.
    constexpr qsizetype kRowsPerInsert = 500;
    const QString oneRow =
        QStringLiteral("(%1)").arg(QStringList(columnCount, QStringLiteral("?")).join(u", "));
    for (qsizetype first = 0; first < rows.size(); first += kRowsPerInsert) {
        const qsizetype count = std::min(kRowsPerInsert, rows.size() - first);
        QVariantList values;
        values.reserve(count * columnCount);
        for (qsizetype i = first; i < first + count; ++i) {
            for (const QVariant& value : rows.at(i)) {
                values.append(bindable(value));
            }
        }
        run(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(table, columns, QStringList(count, oneRow).join(u", ")),
            values);
    }
}

void Store::replaceRegisters(qint64 firma, qint64 filiale, const QList<RegisterRecord>& records) {
    clearRegisters(firma, filiale);
    QList<QVariantList> rows;
    rows.reserve(records.size());
    for (const RegisterRecord& record : records) {
        rows.append({record.firma, record.filiale, record.seq, record.kasse, record.anzahl,
                     record.firstCnt, record.lastCnt});
    }
    insertRows(QStringLiteral("tm_register"),
               QStringLiteral("firma, filiale, seq, kasse, anzahl, first_cnt, last_cnt"), 7, rows);
}

void Store::replaceClocks(qint64 firma, qint64 filiale, const QList<ClockRecord>& clocks) {
    clearClocks(firma, filiale);
    QList<QVariantList> rows;
    rows.reserve(clocks.size());
    for (const ClockRecord& clock : clocks) {
        rows.append({clock.firma, clock.filiale, clock.slot, clock.nr, clock.eIst, clock.eSoll,
                     clock.sIst, clock.sSoll});
    }
    insertRows(QStringLiteral("tm_clock"),
               QStringLiteral("firma, filiale, slot, nr, e_ist, e_soll, s_ist, s_soll"), 8, rows);
}

void Store::clearClocks(qint64 firma, qint64 filiale) {
    run(QStringLiteral("DELETE FROM tm_clock WHERE firma = ? AND filiale = ?"), {firma, filiale});
}

bool Store::sharesSignInFailures() const {
    return m_ledger.has_value();
}

QHash<QString, int> Store::recentSignInFailures(const QString& first, const QString& second,
                                                qint64 forgetAfterMs) const {
    QHash<QString, int> failures;
    if (!m_ledger) {
        return failures;
    }
    readRows(
        m_ledger->read, {first, second, forgetAfterMs},
        [&failures](const QSqlQuery& row) { failures.insert(text(row, 0), row.value(1).toInt()); },
        false);
    return failures;
}

void Store::addSignInFailure(const QString& name, qint64 forgetAfterMs) {
    if (m_ledger) {
        run(m_ledger->add, {name, forgetAfterMs}, false);
    }
}

void Store::clearSignInFailures(const QString& name) {
    if (m_ledger) {
        run(m_ledger->clear, {name}, false);
    }
}

void Store::forgetOldSignInFailures(qint64 forgetAfterMs) {
    if (m_ledger) {
        run(m_ledger->prune, {forgetAfterMs}, false);
    }
}

qint64 Store::reserveSignInSlot(const QString& name, qint64 spacingMs) {
    qint64 wait = 0;
    if (m_ledger) {
        readRows(
            m_ledger->reserveSlot, {name, spacingMs, spacingMs},
            [&wait](const QSqlQuery& row) { wait = row.value(0).toLongLong(); }, false);
    }
    return std::max<qint64>(0, wait);
}

void Store::withoutWaiting(const std::function<void()>& write) const {
    const auto [stopWaiting, waitAgain] = m_engine->noWaitBracket();
    if (stopWaiting.isEmpty()) {
        write();
        return;
    }
    run(stopWaiting, {}, false);
    try {
        write();
    } catch (...) {
        run(waitAgain, {}, false);
        throw;
    }
    run(waitAgain, {}, false);
}

void Store::addResumeToken(const ResumeRecord& record) {
    withoutWaiting([&] {
        run(QStringLiteral("INSERT INTO lx_resume (token_hash, firma, code, account, expires)"
                           " VALUES (?, ?, ?, ?, ?)"),
            {record.tokenHash, record.firma, record.code, record.account, record.expires}, false);
    });
}

std::optional<ResumeRecord> Store::takeResumeToken(const QString& tokenHash) {
    std::optional<ResumeRecord> taken;
    // One statement: of two servers handed the same token, one gets it.
    withoutWaiting([&] {
        readRows(
            QStringLiteral("DELETE FROM lx_resume WHERE token_hash = ?"
                           " RETURNING firma, code, account, expires"),
            {tokenHash},
            [&](const QSqlQuery& row) {
                taken = ResumeRecord{tokenHash, row.value(0).toLongLong(), text(row, 1),
                                     text(row, 2), row.value(3).toLongLong()};
            },
            false);
    });
    return taken;
}

void Store::forgetExpiredResumeTokens(qint64 nowSeconds) {
    withoutWaiting([&] {
        run(QStringLiteral("DELETE FROM lx_resume WHERE expires < ?"), {nowSeconds}, false);
    });
}

QByteArray Store::resumeKey() {
    const QString name = QStringLiteral("resume_key");
    const auto read = [&] {
        return firstRow<QString>(QStringLiteral("SELECT value FROM lx_meta WHERE name = ?"), {name},
                                 [](const QSqlQuery& row) { return text(row, 0); });
    };
    std::optional<QString> key = read();
    if (!key) {
        // Servers starting together may both make one; the first stored is everybody's.
        run(QStringLiteral("INSERT INTO lx_meta (name, value) VALUES (?, ?)"
                           " ON CONFLICT (name) DO NOTHING"),
            {name, QString::fromLatin1(SecretBytes::random(32).toHex())}, false);
        key = read();
    }
    return key ? QByteArray::fromHex(key->toLatin1()) : QByteArray();
}

QList<UserRecord> Store::allUsers() const {
    return rowsOf<UserRecord>(
        QStringLiteral("SELECT firma, code, password_hash, aktiv, pname, pnr, abtnr, dw, bergrp"
                       " FROM lx_user ORDER BY firma, code"),
        {}, [](const QSqlQuery& row) {
            return UserRecord{row.value(0).toLongLong(),
                              text(row, 1),
                              text(row, 2),
                              text(row, 3),
                              text(row, 4),
                              text(row, 5),
                              text(row, 6),
                              text(row, 7),
                              text(row, 8)};
        });
}

QList<DepartmentRecord> Store::allDepartments() const {
    return rowsOf<DepartmentRecord>(
        QStringLiteral(
            "SELECT firma, abtnr, abtbez, habtnr FROM lx_department ORDER BY firma, abtnr"),
        {}, [](const QSqlQuery& row) {
            return DepartmentRecord{row.value(0).toLongLong(), text(row, 1), text(row, 2),
                                    text(row, 3)};
        });
}

QList<BaseDataRecord> Store::allBaseData() const {
    return rowsOf<BaseDataRecord>(
        QStringLiteral("SELECT firma, pnr, fax, email FROM lx_base_data ORDER BY firma, pnr"), {},
        [](const QSqlQuery& row) {
            return BaseDataRecord{row.value(0).toLongLong(), text(row, 1), text(row, 2),
                                  text(row, 3)};
        });
}

QList<ClockRecord> Store::allClocks() const {
    return rowsOf<ClockRecord>(
        QStringLiteral("SELECT firma, filiale, slot, nr, e_ist, e_soll, s_ist, s_soll"
                       " FROM tm_clock ORDER BY firma, filiale, slot"),
        {}, [](const QSqlQuery& row) {
            return ClockRecord{row.value(0).toLongLong(),
                               row.value(1).toLongLong(),
                               row.value(2).toInt(),
                               text(row, 3),
                               text(row, 4),
                               text(row, 5),
                               text(row, 6),
                               text(row, 7)};
        });
}

QList<QPair<QString, qint64>> Store::rowCounts() const {
    QList<QPair<QString, qint64>> counts;
    for (const QString& name : StoreSchema::dataTables()) {
        counts.append({name, count(QStringLiteral("SELECT COUNT(*) FROM %1").arg(name))});
    }
    return counts;
}

void Store::clearAllTables() {
    for (const QString& table : StoreSchema::dataTables()) {
        run(QStringLiteral("DELETE FROM %1").arg(table));
    }
}
