#include "monitors/RegisterFold.h"

#include "monitors/KeyIndex.h"
#include "monitors/LenientNumber.h"
#include "monitors/ReplyFieldReader.h"

#include <QStringView>

#include <optional>
#include <vector>

namespace {

// A register while folding: views of its four cells and, once it repeats, the running sum.
// The sum is kept as a number: reading back its formatted text would lose the fraction in a
// locale with a decimal comma.
struct FoldedRegister {
    QStringView cells[4];
    double sum = 0.0;
    bool summed = false;
};

enum Cell { Nr, Anzahl, FirstCnt, LastCnt };

// A field the reply does not have (an incomplete last record) takes no part in the merge, so
// the register keeps its cell as it was.
void merge(FoldedRegister& row, const QStringView (&fields)[4], int count) {
    if (count > Anzahl) {
        if (!row.summed) {
            row.sum = leadingNumber(row.cells[Anzahl]);
            row.summed = true;
        }
        row.sum += leadingNumber(fields[Anzahl]);
    }
    // Counters compare as texts, code unit by code unit: the smaller first, the larger last.
    if (count > FirstCnt && row.cells[FirstCnt].compare(fields[FirstCnt]) > 0) {
        row.cells[FirstCnt] = fields[FirstCnt];
    }
    if (count > LastCnt && row.cells[LastCnt].compare(fields[LastCnt]) < 0) {
        row.cells[LastCnt] = fields[LastCnt];
    }
}

// nextField() gives the reply's fields in order and nothing after the last one.
template <typename NextField> std::vector<FoldedRegister> foldRecords(NextField nextField) {
    std::vector<FoldedRegister> table;
    KeyIndex rowOfKey;
    for (int record = 0; record < RegisterFold::kMaxRecords; ++record) {
        QStringView fields[4];
        int count = 0;
        for (; count < 4; ++count) {
            const std::optional<QStringView> field = nextField();
            if (!field) {
                break;
            }
            fields[count] = *field;
        }
        if (count == 0 || fields[Nr].isEmpty()) {
            break;
        }
        const auto [row, added] = rowOfKey.findOrAdd(fields[Nr]);
        if (added) {
            table.push_back(FoldedRegister{{fields[0], fields[1], fields[2], fields[3]}});
        } else {
            merge(table[static_cast<std::size_t>(row)], fields, count);
        }
        if (count < 4) {
            break; // the reply has ended
        }
    }
    return table;
}

} // namespace

QStringList RegisterRow::cells() const {
    return {nr, anzahl, firstCnt, lastCnt};
}

RegisterFold::RegisterFold(QLocale locale)
    : m_locale(std::move(locale)) {
}

QList<RegisterRow> RegisterFold::fold(const QStringList& fields) const {
    qsizetype next = 0;
    const std::vector<FoldedRegister> table = foldRecords([&]() -> std::optional<QStringView> {
        if (next >= fields.size()) {
            return std::nullopt;
        }
        return QStringView(fields.at(next++));
    });
    QList<RegisterRow> result;
    result.reserve(static_cast<qsizetype>(table.size()));
    for (const FoldedRegister& row : table) {
        result.append(
            RegisterRow{row.cells[Nr].toString(),
                        row.summed ? sumText(row.sum, m_locale) : row.cells[Anzahl].toString(),
                        row.cells[FirstCnt].toString(), row.cells[LastCnt].toString(),
                        row.summed ? row.sum : leadingNumber(row.cells[Anzahl])});
    }
    return result;
}

QList<QStringList> RegisterFold::rows(const QString& reply) const {
    ReplyFieldReader reader(reply);
    const std::vector<FoldedRegister> table = foldRecords([&] { return reader.next(); });
    QList<QStringList> result;
    result.reserve(static_cast<qsizetype>(table.size()));
    for (const FoldedRegister& row : table) {
        result.append(
            QStringList{row.cells[Nr].toString(),
                        row.summed ? sumText(row.sum, m_locale) : row.cells[Anzahl].toString(),
                        row.cells[FirstCnt].toString(), row.cells[LastCnt].toString()});
    }
    return result;
}
