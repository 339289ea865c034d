#include "AdminCommands.h"

#include "AdminInput.h"
#include "DemoData.h"
#include "ImportFeed.h"
#include "PasswordHash.h"
#include "PostgresLocation.h"
#include "Store.h"
#include "StoreCopy.h"
#include "UserReadiness.h"
#include "ValueText.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace {

// A copy that differs names this many differences at most: enough to see what went wrong.
constexpr int kShownDifferences = 10;

} // namespace

AdminCommands::AdminCommands(Store& store, const QString& database, QTextStream& out,
                             QTextStream& err, QTextStream& input)
    : m_store(store)
    , m_database(database)
    , m_out(out)
    , m_err(err)
    , m_input(input) {
}

int AdminCommands::run(const QString& command, const QMap<QString, QString>& options,
                       const QStringList& files) {
    m_options = options;
    try {
        if (command == QLatin1String("create-db")) {
            m_out << "database ready\n";
            return 0; // opening the store has created the schema
        }
        if (command == QLatin1String("seed-demo")) {
            DemoData::seed(m_store);
            m_out << "demo data written\n";
            return 0;
        }
        if (command == QLatin1String("set-user")) {
            return setUser();
        }
        if (command == QLatin1String("set-department")) {
            return setDepartment();
        }
        if (command == QLatin1String("set-base-data")) {
            return setBaseData();
        }
        if (command == QLatin1String("set-register")) {
            return setRegister();
        }
        if (command == QLatin1String("clear-registers")) {
            return clearRegisters();
        }
        if (command == QLatin1String("set-clock")) {
            return setClock();
        }
        if (command == QLatin1String("import-registers")) {
            return importRegisters(files.value(0));
        }
        if (command == QLatin1String("import-clocks")) {
            return importClocks(files.value(0));
        }
        if (command == QLatin1String("feed")) {
            return feed();
        }
        if (command == QLatin1String("copy")) {
            return copyDatabase();
        }
        throw InputError{QStringLiteral("unknown command \"%1\"").arg(command)};
    } catch (const InputError& error) {
        m_err << command << ": " << error.text << "\n";
        m_err.flush();
        return 2;
    }
}

QString AdminCommands::refusalBeforeOpening(const QString& command, const QString& database) {
    if (command == QLatin1String("copy") && !PostgresLocation::isUrl(database) &&
        !QFileInfo::exists(database)) {
        return QStringLiteral("%1 does not exist; nothing copied").arg(escapedControls(database));
    }
    return {};
}

qint64 AdminCommands::wholeNumberOption(const QString& name) const {
    const auto it = m_options.constFind(name);
    if (it == m_options.constEnd()) {
        throw InputError{QStringLiteral("--%1 is required").arg(name)};
    }
    const std::optional<qint64> number = wholeNumber(it.value());
    if (!number || *number < 0) {
        throw InputError{QStringLiteral("--%1 must be a whole number not below 0").arg(name)};
    }
    return *number;
}

QString AdminCommands::requiredText(const QString& name) const {
    const QString value = m_options.value(name);
    if (value.isEmpty()) {
        throw InputError{QStringLiteral("--%1 is required").arg(name)};
    }
    checkField(QStringLiteral("--") + name, value, false);
    return value;
}

QString AdminCommands::fieldOption(const QString& name, const QString& current,
                                   bool telemetry) const {
    const auto it = m_options.constFind(name);
    if (it == m_options.constEnd()) {
        return current;
    }
    checkField(QStringLiteral("--") + name, it.value(), telemetry);
    return it.value();
}

int AdminCommands::setUser() {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const QString code = requiredText(QStringLiteral("code"));
    const std::optional<UserRecord> existing = m_store.user(firma, code);
    UserRecord user = existing.value_or(
        UserRecord{firma, code, {}, QStringLiteral("J"), {}, {}, {}, {}, QStringLiteral("0")});
    std::optional<QString> password;
    if (m_options.contains(QStringLiteral("password-stdin"))) {
        if (m_options.contains(QStringLiteral("password"))) {
            throw InputError{QStringLiteral("--password and --password-stdin exclude each other")};
        }
        password = m_input.readLine();
        checkField(QStringLiteral("the password"), *password, false);
    } else if (m_options.contains(QStringLiteral("password"))) {
        password = fieldOption(QStringLiteral("password"), {}, false);
    } else if (!existing) {
        throw InputError{QStringLiteral("a new user needs --password or --password-stdin")};
    }
    if (password && password->isEmpty()) {
        // The sign-in dialog would let such a user in with an empty field.
        throw InputError{QStringLiteral("the password must not be empty")};
    }
    user.aktiv = fieldOption(QStringLiteral("active"), user.aktiv, false);
    if (user.aktiv != QLatin1String("J") && user.aktiv != QLatin1String("N")) {
        throw InputError{QStringLiteral("--active must be J or N")};
    }
    user.pname = fieldOption(QStringLiteral("name"), user.pname, false);
    if (m_options.contains(QStringLiteral("rights"))) {
        user.berGrp = QString::number(wholeNumberOption(QStringLiteral("rights")));
    }
    user.abtNr = fieldOption(QStringLiteral("department"), user.abtNr, false);
    user.pnr = fieldOption(QStringLiteral("pnr"), user.pnr, false);
    user.dw = fieldOption(QStringLiteral("extension"), user.dw, false);
    const bool touchesBaseData =
        m_options.contains(QStringLiteral("fax")) || m_options.contains(QStringLiteral("email"));
    if (touchesBaseData && user.pnr.isEmpty()) {
        throw InputError{QStringLiteral("--fax and --email need the user's --pnr")};
    }
    BaseDataRecord baseData =
        m_store.baseData(firma, user.pnr).value_or(BaseDataRecord{firma, user.pnr, {}, {}});
    baseData.fax = fieldOption(QStringLiteral("fax"), baseData.fax, false);
    baseData.email = fieldOption(QStringLiteral("email"), baseData.email, false);
    if (password) {
        // Hashed last, once everything else has been checked: a hash takes a tenth of a second.
        user.passwordHash = QString::fromLatin1(PasswordHash::make(*password));
    }
    m_store.inTransaction([&] {
        m_store.putUser(user);
        if (touchesBaseData) {
            m_store.putBaseData(baseData);
        }
    });
    m_out << (existing ? "user changed: " : "user added: ") << firma << "||" << code << "\n";
    // Written all the same: the missing rows may well follow in the next command.
    const QStringList gaps = UserReadiness::gaps(m_store, user, m_database);
    if (!gaps.isEmpty()) {
        m_err << "set-user: warning: the monitor cannot work with " << firma << "||" << code
              << " yet:\n";
        for (const QString& gap : gaps) {
            m_err << "  - " << gap << "\n";
        }
        m_err.flush();
    }
    return 0;
}

template <typename Record>
int AdminCommands::setKeyedRow(
    const QString& keyOption, std::optional<Record> (Store::*read)(qint64, const QString&) const,
    void (Store::*write)(const Record&),
    std::initializer_list<std::pair<const char*, QString Record::*>> fields, const char* written) {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const QString key = requiredText(keyOption);
    Record record = (m_store.*read)(firma, key).value_or(Record{firma, key, {}, {}});
    for (const auto& [option, field] : fields) {
        record.*field = fieldOption(QString::fromLatin1(option), record.*field, false);
    }
    m_store.inTransaction([&] { (m_store.*write)(record); });
    m_out << written << ": " << firma << "||" << key << "\n";
    return 0;
}

int AdminCommands::setDepartment() {
    return setKeyedRow<DepartmentRecord>(
        QStringLiteral("number"), &Store::department, &Store::putDepartment,
        {{"title", &DepartmentRecord::abtbez}, {"main", &DepartmentRecord::hAbtNr}},
        "department written");
}

int AdminCommands::setBaseData() {
    return setKeyedRow<BaseDataRecord>(
        QStringLiteral("pnr"), &Store::baseData, &Store::putBaseData,
        {{"fax", &BaseDataRecord::fax}, {"email", &BaseDataRecord::email}}, "base data written");
}

int AdminCommands::setRegister() {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const qint64 filiale = wholeNumberOption(QStringLiteral("branch"));
    std::optional<int> seq;
    if (m_options.contains(QStringLiteral("record"))) {
        const qint64 given = wholeNumberOption(QStringLiteral("record"));
        if (given < 1 || given > 1'000'000) {
            throw InputError{QStringLiteral("--record must be between 1 and 1000000")};
        }
        seq = static_cast<int>(given);
    }
    RegisterRecord record;
    // Read, check and write in one transaction: another writer cannot slip in between.
    m_store.inBranchTransaction(firma, filiale, [&] {
        QList<RegisterRecord> branch = m_store.registers(firma, filiale);
        const auto same = std::find_if(branch.begin(), branch.end(), [&](const auto& existing) {
            return seq && existing.seq == *seq;
        });
        // A record that exists changes only in the fields given.
        const bool exists = same != branch.end();
        record = exists ? *same
                        : RegisterRecord{firma, filiale, seq.value_or(0), {}, QStringLiteral("0"),
                                         {},    {}};
        record.kasse = exists ? fieldOption(QStringLiteral("register"), record.kasse, true)
                              : requiredText(QStringLiteral("register"));
        checkField(QStringLiteral("--register"), record.kasse, true);
        record.anzahl = fieldOption(QStringLiteral("count"), record.anzahl, true);
        record.firstCnt = fieldOption(QStringLiteral("first"), record.firstCnt, true);
        record.lastCnt =
            fieldOption(QStringLiteral("last"), exists ? record.lastCnt : record.firstCnt, true);
        if (exists) {
            *same = record;
        } else {
            branch.append(record);
        }
        checkRegisterReply(branch);
        if (seq) {
            m_store.putRegister(record);
        } else {
            record.seq = m_store.appendRegister(record);
        }
    });
    m_out << "register record " << record.seq << " written\n";
    return 0;
}

int AdminCommands::clearRegisters() {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const qint64 filiale = wholeNumberOption(QStringLiteral("branch"));
    m_store.inBranchTransaction(firma, filiale, [&] { m_store.clearRegisters(firma, filiale); });
    m_out << "registers cleared\n";
    return 0;
}

int AdminCommands::setClock() {
    ClockRecord clock;
    clock.firma = wholeNumberOption(QStringLiteral("firma"));
    clock.filiale = wholeNumberOption(QStringLiteral("branch"));
    const qint64 slot = wholeNumberOption(QStringLiteral("slot"));
    if (slot < 1 || slot > 4) {
        throw InputError{QStringLiteral("--slot must be 1, 2, 3 or 4")};
    }
    clock.slot = static_cast<int>(slot);
    clock.nr = fieldOption(QStringLiteral("number"), QString::number(slot), true);
    clock.eIst = fieldOption(QStringLiteral("e-ist"), QStringLiteral("0"), true);
    clock.eSoll = fieldOption(QStringLiteral("e-soll"), QStringLiteral("0"), true);
    clock.sIst = fieldOption(QStringLiteral("s-ist"), QStringLiteral("0"), true);
    clock.sSoll = fieldOption(QStringLiteral("s-soll"), QStringLiteral("0"), true);
    m_store.inBranchTransaction(clock.firma, clock.filiale, [&] { m_store.putClock(clock); });
    m_out << "clock " << clock.slot << " written\n";
    return 0;
}

QByteArray AdminCommands::fileBytes(const QString& file) const {
    if (file == QLatin1String("-")) {
        // The stream would decode, putting U+FFFD in place of bytes that are no UTF-8; its
        // device gives them as they came. A stream on a string holds decoded text already.
        QIODevice* device = m_input.device();
        return device ? device->readAll() : m_input.readAll().toUtf8();
    }
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly)) {
        throw InputError{
            QStringLiteral("cannot read %1: %2").arg(escapedControls(file), source.errorString())};
    }
    return source.readAll();
}

QStringList AdminCommands::fileLines(const QString& file) const {
    const QString name =
        file == QLatin1String("-") ? QStringLiteral("standard input") : escapedControls(file);
    QStringList lines;
    int lineNumber = 0;
    for (const QByteArray& bytes : fileBytes(file).split('\n')) {
        ++lineNumber;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = utf8.decode(bytes);
        if (utf8.hasError()) {
            throw InputError{QStringLiteral("%1, line %2: not UTF-8 text; nothing imported")
                                 .arg(name)
                                 .arg(lineNumber)};
        }
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#'))) {
            lines.append(trimmed);
        }
    }
    // An empty file is more often a failed export than a branch closed down.
    if (lines.isEmpty() && !m_options.contains(QStringLiteral("allow-empty"))) {
        throw InputError{QStringLiteral("%1 holds no record; the branch keeps its records "
                                        "(--allow-empty removes them)")
                             .arg(name)};
    }
    return lines;
}

int AdminCommands::importRegisters(const QString& file) {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const qint64 filiale = wholeNumberOption(QStringLiteral("branch"));
    const QList<RegisterRecord> records = registerRecords(fileLines(file), firma, filiale);
    m_store.inBranchTransaction(firma, filiale,
                                [&] { m_store.replaceRegisters(firma, filiale, records); });
    m_out << records.size() << " register records imported\n";
    return 0;
}

int AdminCommands::importClocks(const QString& file) {
    const qint64 firma = wholeNumberOption(QStringLiteral("firma"));
    const qint64 filiale = wholeNumberOption(QStringLiteral("branch"));
    const QList<ClockRecord> clocks = clockRecords(fileLines(file), firma, filiale);
    m_store.inBranchTransaction(firma, filiale,
                                [&] { m_store.replaceClocks(firma, filiale, clocks); });
    m_out << clocks.size() << " clocks imported\n";
    return 0;
}

int AdminCommands::feed() {
    // Line by line from the device: the feeder waits for each answer, so nothing may be read
    // ahead (a stream reads in blocks). A stream on a string (tests) has no device.
    QIODevice* device = m_input.device();
    const auto nextLine = [this, device]() -> std::optional<QString> {
        if (!device) {
            QString line;
            return m_input.readLineInto(&line) ? std::optional<QString>(line) : std::nullopt;
        }
        const QByteArray bytes = device->readLine();
        if (bytes.isEmpty()) {
            return std::nullopt;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return QString(utf8.decode(bytes));
    };
    return ImportFeed(m_store, nextLine, m_out).run();
}

int AdminCommands::copyDatabase() {
    const QString target = m_options.value(QStringLiteral("to"));
    if (target.isEmpty()) {
        throw InputError{QStringLiteral("--to is required")};
    }
    if (StoreCopy::sameDatabase(m_database, target)) {
        throw InputError{
            QStringLiteral("%1 is the database to copy from").arg(escapedControls(target))};
    }
    // A mistyped --db opens a new, empty database: copying that would only empty a target.
    const QList<QPair<QString, qint64>> counts = m_store.rowCounts();
    if (std::all_of(counts.begin(), counts.end(),
                    [](const auto& count) { return count.second == 0; })) {
        throw InputError{QStringLiteral("%1 holds no row; nothing to copy").arg(m_store.display())};
    }
    // The source is read in one transaction, for the copy and the comparison alike: the other
    // writers wait for it (PostgreSQL) or it keeps reading one snapshot (SQLite), so the copy is
    // of one moment and the comparison meets the same rows.
    std::unique_ptr<Store> copied;
    QStringList differences;
    m_store.inTransaction([&] {
        {
            Store targetStore(target, Store::kAdminBusyTimeoutMs);
            if (!StoreCopy(m_store, targetStore)
                     .copy(m_options.contains(QStringLiteral("replace")))) {
                throw InputError{
                    QStringLiteral("%1 already holds rows; nothing copied (--replace empties "
                                   "it first)")
                        .arg(targetStore.display())};
            }
        }
        // Read back through a connection of its own: what is compared is what was committed.
        copied = std::make_unique<Store>(target, Store::kAdminBusyTimeoutMs);
        differences = StoreCopy(m_store, *copied).differences(kShownDifferences);
    });
    if (!differences.isEmpty()) {
        m_err << "copy: " << copied->display() << " differs from the database copied:\n";
        for (const QString& difference : differences) {
            m_err << "  " << difference << "\n";
        }
        m_err.flush();
        return 1;
    }
    m_out << "copied to " << copied->display() << ":\n";
    for (const auto& [table, rows] : copied->rowCounts()) {
        m_out << "  " << table.leftJustified(14) << rows << " rows\n";
    }
    m_out << "identical\n";
    return 0;
}
