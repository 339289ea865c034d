#include "AdminInput.h"

#include "protocol/Limits.h"

#include <QHash>

namespace {

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

// The longest value each column takes (the schema's VARCHAR lengths); telemetry fields take 32.
int columnLength(const QString& what, bool telemetry) {
    static const QHash<QString, int> lengths{
        {"--code", 64},       {"--name", 128},  {"--title", 128}, {"--email", 128},
        {"--fax", 64},        {"--active", 8},  {"--pnr", 32},    {"--department", 32},
        {"--extension", 32},  {"--number", 32}, {"--main", 32},   {"the password", 1024},
        {"--password", 1024},
    };
    return telemetry ? 32 : lengths.value(what, 128);
}

} // namespace

void checkField(const QString& what, const QString& value, bool telemetry) {
    const int length = columnLength(what, telemetry);
    if (value.size() > length) {
        throw InputError{QStringLiteral("%1 is longer than %2 characters").arg(what).arg(length)};
    }
    if (hasControlCharacter(value)) {
        throw InputError{QStringLiteral("%1 must not hold a control character").arg(what)};
    }
    if (telemetry && value.contains(QLatin1Char('|'))) {
        throw InputError{QStringLiteral("%1 must not hold \"|\"").arg(what)};
    }
}

void checkRegisterReply(const QList<RegisterRecord>& records) {
    if (records.size() > kMaxRegisterRecords) {
        throw InputError{QStringLiteral("a branch takes at most %1 register records, not %2")
                             .arg(kMaxRegisterRecords)
                             .arg(records.size())};
    }
    qsizetype bytes = 0;
    for (const RegisterRecord& record : records) {
        for (const QString* field :
             {&record.kasse, &record.anzahl, &record.firstCnt, &record.lastCnt}) {
            bytes += field->toUtf8().size() + 1;
        }
    }
    if (bytes > protocol::MaxTextBytes) {
        throw InputError{QStringLiteral("the branch's reply would take %1 bytes; at most %2 can be "
                                        "sent")
                             .arg(bytes)
                             .arg(protocol::MaxTextBytes)};
    }
}

QList<RegisterRecord> registerRecords(const QStringList& lines, qint64 firma, qint64 filiale) {
    QList<RegisterRecord> records;
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.size() != 4 || fields.first().isEmpty()) {
            throw InputError{QStringLiteral("record %1: register|count|first|last expected")
                                 .arg(records.size() + 1)};
        }
        for (const QString& field : fields) {
            checkField(QStringLiteral("record %1").arg(records.size() + 1), field, true);
        }
        records.append({firma, filiale, static_cast<int>(records.size()) + 1, fields[0], fields[1],
                        fields[2], fields[3]});
        if (records.size() > kMaxRegisterRecords) {
            break; // refused below, without reading the rest
        }
    }
    checkRegisterReply(records);
    return records;
}

QList<ClockRecord> clockRecords(const QStringList& lines, qint64 firma, qint64 filiale) {
    QList<ClockRecord> clocks;
    for (const QString& line : lines) {
        if (clocks.size() == 4) {
            throw InputError{QStringLiteral("a branch has at most four clocks")};
        }
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.size() != 5) {
            throw InputError{QStringLiteral("record %1: nr|e-ist|e-soll|s-ist|s-soll expected")
                                 .arg(clocks.size() + 1)};
        }
        for (const QString& field : fields) {
            checkField(QStringLiteral("record %1").arg(clocks.size() + 1), field, true);
        }
        clocks.append({firma, filiale, static_cast<int>(clocks.size()) + 1, fields[0], fields[1],
                       fields[2], fields[3], fields[4]});
    }
    return clocks;
}
