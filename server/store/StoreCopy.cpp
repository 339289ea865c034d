#include "StoreCopy.h"

#include "PostgresLocation.h"
#include "Store.h"

#include <QFileInfo>
#include <QHostAddress>

#include <algorithm>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace {

// A row as texts, its key first: the comparison needs no type of its own per table.
using Row = QStringList;

struct TableShape {
    QString name;
    QStringList columns;
    int keyColumns;
};

const TableShape kUsers{
    QStringLiteral("lx_user"),
    {"firma", "code", "password_hash", "aktiv", "pname", "pnr", "abtnr", "dw", "bergrp"},
    2};
const TableShape kDepartments{
    QStringLiteral("lx_department"), {"firma", "abtnr", "abtbez", "habtnr"}, 2};
const TableShape kBaseData{QStringLiteral("lx_base_data"), {"firma", "pnr", "fax", "email"}, 2};
const TableShape kRegisters{QStringLiteral("tm_register"),
                            {"firma", "filiale", "seq", "kasse", "anzahl", "first_cnt", "last_cnt"},
                            3};
const TableShape kClocks{QStringLiteral("tm_clock"),
                         {"firma", "filiale", "slot", "nr", "e_ist", "e_soll", "s_ist", "s_soll"},
                         3};

Row row(const UserRecord& r) {
    return {QString::number(r.firma),
            r.code,
            r.passwordHash,
            r.aktiv,
            r.pname,
            r.pnr,
            r.abtNr,
            r.dw,
            r.berGrp};
}
Row row(const DepartmentRecord& r) {
    return {QString::number(r.firma), r.abtNr, r.abtbez, r.hAbtNr};
}
Row row(const BaseDataRecord& r) {
    return {QString::number(r.firma), r.pnr, r.fax, r.email};
}
Row row(const RegisterRecord& r) {
    return {QString::number(r.firma),
            QString::number(r.filiale),
            QString::number(r.seq),
            r.kasse,
            r.anzahl,
            r.firstCnt,
            r.lastCnt};
}
Row row(const ClockRecord& r) {
    return {QString::number(r.firma),
            QString::number(r.filiale),
            QString::number(r.slot),
            r.nr,
            r.eIst,
            r.eSoll,
            r.sIst,
            r.sSoll};
}

template <typename Record> QList<Row> rows(const QList<Record>& records) {
    QList<Row> result;
    result.reserve(records.size());
    for (const Record& record : records) {
        result.append(row(record));
    }
    return result;
}

class Differences {
public:
    explicit Differences(int maxCount)
        : m_maxCount(maxCount) {}
    bool full() const { return m_items.size() >= m_maxCount; }
    void add(const QString& text) {
        if (!full()) {
            m_items.append(text);
        }
    }
    QStringList items() const { return m_items; }

private:
    int m_maxCount;
    QStringList m_items;
};

// Both sides sorted by the same comparison of their key texts, then walked side by side: the
// engines order texts by different collations, so their own order cannot be trusted to match.
void compareRows(const TableShape& table, QList<Row> source, QList<Row> target,
                 Differences& differences) {
    const auto byKey = [&table](const Row& a, const Row& b) {
        for (int c = 0; c < table.keyColumns; ++c) {
            if (a[c] != b[c]) {
                return a[c] < b[c];
            }
        }
        return false;
    };
    std::sort(source.begin(), source.end(), byKey);
    std::sort(target.begin(), target.end(), byKey);
    const auto named = [&](const Row& r) {
        return QStringLiteral("%1 %2").arg(table.name,
                                           r.mid(0, table.keyColumns).join(QStringLiteral("||")));
    };
    qsizetype s = 0;
    qsizetype t = 0;
    while ((s < source.size() || t < target.size()) && !differences.full()) {
        if (t == target.size() || (s < source.size() && byKey(source[s], target[t]))) {
            differences.add(named(source[s++]) + QStringLiteral(": missing in the target"));
        } else if (s == source.size() || byKey(target[t], source[s])) {
            differences.add(named(target[t++]) + QStringLiteral(": only in the target"));
        } else {
            QStringList columns;
            for (int c = table.keyColumns; c < table.columns.size(); ++c) {
                if (source[s][c] != target[t][c]) {
                    columns.append(table.columns[c]);
                }
            }
            if (!columns.isEmpty()) {
                differences.add(named(source[s]) + QStringLiteral(": differs in ") +
                                columns.join(QStringLiteral(", ")));
            }
            ++s;
            ++t;
        }
    }
}

// The servers a location names; every name of this machine counts as one.
QString serverOf(const PostgresLocation& location) {
    QStringList servers;
    for (const auto& [name, port] : location.hosts) {
        const QString host = name.toLower();
        const bool local = host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
        servers << QStringLiteral("%1:%2").arg(local ? QStringLiteral("loopback") : host).arg(port);
    }
    return servers.join(QLatin1Char(','));
}

bool sameFile(const QString& first, const QString& second) {
    const QFileInfo a(first);
    const QFileInfo b(second);
    if (!a.exists() || !b.exists()) {
        return false; // a file that is not there yet cannot be the other one
    }
    if (a.canonicalFilePath() == b.canonicalFilePath()) {
        return true;
    }
#if defined(Q_OS_UNIX)
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(first).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#else
    return false;
#endif
}

} // namespace

StoreCopy::StoreCopy(const Store& source, Store& target)
    : m_source(source)
    , m_target(target) {
}

bool StoreCopy::copy(bool replace) {
    bool refused = false;
    m_target.inTransaction([&] {
        if (replace) {
            m_target.clearAllTables();
        } else {
            const QList<QPair<QString, qint64>> counts = m_target.rowCounts();
            refused = std::any_of(counts.begin(), counts.end(),
                                  [](const auto& count) { return count.second > 0; });
            if (refused) {
                return;
            }
        }
        for (const UserRecord& user : m_source.allUsers()) {
            m_target.putUser(user);
        }
        for (const DepartmentRecord& department : m_source.allDepartments()) {
            m_target.putDepartment(department);
        }
        for (const BaseDataRecord& baseData : m_source.allBaseData()) {
            m_target.putBaseData(baseData);
        }
        for (const auto& [firma, filiale] : m_source.branches()) {
            for (const RegisterRecord& record : m_source.registers(firma, filiale)) {
                m_target.putRegister(record);
            }
        }
        for (const ClockRecord& clock : m_source.allClocks()) {
            m_target.putClock(clock);
        }
    });
    return !refused;
}

QStringList StoreCopy::differences(int maxCount) const {
    Differences found(maxCount);
    compareRows(kUsers, rows(m_source.allUsers()), rows(m_target.allUsers()), found);
    compareRows(kDepartments, rows(m_source.allDepartments()), rows(m_target.allDepartments()),
                found);
    compareRows(kBaseData, rows(m_source.allBaseData()), rows(m_target.allBaseData()), found);
    QList<QPair<qint64, qint64>> branches = m_source.branches() + m_target.branches();
    std::sort(branches.begin(), branches.end());
    branches.erase(std::unique(branches.begin(), branches.end()), branches.end());
    for (const auto& [firma, filiale] : std::as_const(branches)) {
        if (found.full()) {
            break;
        }
        compareRows(kRegisters, rows(m_source.registers(firma, filiale)),
                    rows(m_target.registers(firma, filiale)), found);
    }
    compareRows(kClocks, rows(m_source.allClocks()), rows(m_target.allClocks()), found);
    return found.items();
}

bool StoreCopy::sameDatabase(const QString& first, const QString& second) {
    if (PostgresLocation::isUrl(first) != PostgresLocation::isUrl(second)) {
        return false;
    }
    if (!PostgresLocation::isUrl(first)) {
        return sameFile(first, second);
    }
    QString problem;
    const std::optional<PostgresLocation> a = PostgresLocation::parse(first, problem);
    const std::optional<PostgresLocation> b = PostgresLocation::parse(second, problem);
    return a && b && serverOf(*a) == serverOf(*b) && a->databaseName == b->databaseName;
}
