#include "monitors/RegisterFold.h"

#include "monitors/LenientNumber.h"
#include "monitors/ReplyFields.h"

#include <QHash>

#include <algorithm>

QString RegisterRow::rowText() const {
    return nr + QLatin1Char(';') + anzahl + QLatin1Char(';') + firstCnt + QLatin1Char(';') +
           lastCnt;
}

RegisterFold::RegisterFold(QLocale locale)
    : m_locale(std::move(locale)) {
}

QList<RegisterRow> RegisterFold::fold(const QStringList& fields) const {
    QList<RegisterRow> table;
    QHash<QString, qsizetype> rowOfKey;
    rowOfKey.reserve(std::min<qsizetype>(fields.size() / 4 + 1, kMaxRecords));
    for (int record = 0; record < kMaxRecords; ++record) {
        const qsizetype base = qsizetype{record} * 4;
        if (base >= fields.size() || fields.at(base).isEmpty()) {
            break;
        }
        const QString& key = fields.at(base);
        const auto found = rowOfKey.constFind(key);
        if (found != rowOfKey.constEnd()) {
            merge(table[*found], fields, base);
            continue;
        }
        RegisterRow row;
        row.nr = key;
        row.anzahl = fields.value(base + 1);
        row.firstCnt = fields.value(base + 2);
        row.lastCnt = fields.value(base + 3);
        row.sum = leadingNumber(row.anzahl);
        rowOfKey.insert(key, table.size());
        table.append(row);
    }
    return table;
}

// A field the reply does not have (an incomplete last record) takes no part in the merge, so
// the row keeps its cell as it was.
void RegisterFold::merge(RegisterRow& row, const QStringList& fields, qsizetype base) const {
    if (base + 1 < fields.size()) {
        // The running sum is kept as a number: reading back its formatted text would lose
        // the fraction in a locale with a decimal comma.
        row.sum += leadingNumber(fields.at(base + 1));
        row.anzahl = sumText(row.sum, m_locale);
    }
    // Counters compare as texts, code unit by code unit: the smaller first, the larger last.
    if (base + 2 < fields.size() && row.firstCnt > fields.at(base + 2)) {
        row.firstCnt = fields.at(base + 2);
    }
    if (base + 3 < fields.size() && row.lastCnt < fields.at(base + 3)) {
        row.lastCnt = fields.at(base + 3);
    }
}

QStringList RegisterFold::rows(const QString& reply) const {
    QStringList result;
    const QList<RegisterRow> table = fold(cutReply(reply));
    result.reserve(table.size());
    for (const RegisterRow& row : table) {
        result.append(row.rowText());
    }
    return result;
}
