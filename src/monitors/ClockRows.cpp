#include "monitors/ClockRows.h"

#include "monitors/Decimal.h"
#include "monitors/ReplyFields.h"

#include <algorithm>

ClockRows::ClockRows(QLocale locale)
    : m_locale(std::move(locale)) {
}

QList<QStringList> ClockRows::rows(const QString& reply) const {
    QStringList fields = cutReply(reply);
    const qsizetype used = std::min<qsizetype>(fields.size(), kClocks * kFieldsPerClock);
    for (qsizetype i = 0; i < used; ++i) {
        if (fields.at(i).isEmpty()) {
            fields[i] = QStringLiteral("0");
        }
    }

    QList<QStringList> result;
    for (int clock = 0; clock < kClocks; ++clock) {
        const qsizetype base = qsizetype{clock} * kFieldsPerClock;
        if (base + kFieldsPerClock > fields.size()) {
            continue;
        }
        const QString& nr = fields.at(base);
        const QString& eIst = fields.at(base + 1);
        const QString& eSoll = fields.at(base + 2);
        const QString& sIst = fields.at(base + 3);
        const QString& sSoll = fields.at(base + 4);
        QString eDiff;
        QString sDiff;
        if (!difference(eIst, eSoll, eDiff) || !difference(sIst, sSoll, sDiff)) {
            continue;
        }
        result.append(QStringList{nr, eIst, eSoll, eDiff, sIst, sSoll, sDiff});
    }
    return result;
}

bool ClockRows::difference(const QString& ist, const QString& soll, QString& result) const {
    const std::optional<Decimal> a = Decimal::parse(ist, m_locale);
    const std::optional<Decimal> b = Decimal::parse(soll, m_locale);
    if (!a || !b) {
        return false;
    }
    const std::optional<Decimal> d = a->minus(*b);
    if (!d) {
        return false;
    }
    result = d->toString(m_locale);
    return true;
}
