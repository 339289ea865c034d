#include "monitors/RowAttention.h"

#include "monitors/ClockOfDay.h"
#include "monitors/Decimal.h"
#include "monitors/LenientNumber.h"

#include <algorithm>

namespace {

bool isNonZero(const QString& text, const QLocale& locale) {
    const std::optional<Decimal> value = Decimal::parse(text, locale);
    if (!value) {
        return false;
    }
    const Decimal::Mantissa& digits = value->mantissa();
    return std::any_of(digits.begin(), digits.end(), [](std::uint32_t limb) { return limb != 0; });
}

} // namespace

RowAttention::RowAttention(Rule rule, QLocale locale)
    : m_rule(rule)
    , m_locale(std::move(locale)) {
}

QList<RowAttention::Mark> RowAttention::assess(const QList<QStringList>& rows, const QTime& now) {
    qint64 elapsedMs = 0;
    if (m_lastAssessed.isValid() && now.isValid()) {
        elapsedMs = msSince(m_lastAssessed, now);
    }
    m_lastAssessed = now;

    QList<Mark> marks;
    marks.reserve(rows.size());
    // Only the registers of this reply are remembered, so the memory stays as small as the list.
    QHash<QString, Still> seen;
    for (const QStringList& cells : rows) {
        marks << (m_rule == Rule::Registers ? registerMark(cells, elapsedMs, seen)
                                            : clockMark(cells));
    }
    if (m_rule == Rule::Registers) {
        m_still = std::move(seen);
    }
    return marks;
}

RowAttention::Mark RowAttention::registerMark(const QStringList& cells, qint64 elapsedMs,
                                              QHash<QString, Still>& seen) const {
    const QString key = cells.value(0);
    const QString anzahl = cells.value(1);
    const QString lastCounter = cells.value(3);
    const double count = countOf(anzahl);

    Still still{lastCounter, 0};
    const auto before = m_still.constFind(key);
    if (count > 0 && before != m_still.constEnd() && before->lastCounter == lastCounter) {
        still.stillMs = before->stillMs + elapsedMs;
    }
    seen.insert(key, still);

    QStringList why;
    Mark mark;
    if (count >= m_limits.count) {
        mark.columns << 1;
        why << QStringLiteral("%1 nicht verbuchte Vorgänge (Grenze %2)")
                   .arg(anzahl.trimmed(), m_locale.toString(m_limits.count));
    }
    const qint64 limitMs = static_cast<qint64>(m_limits.stillMinutes) * 60 * 1000;
    if (count > 0 && m_limits.stillMinutes > 0 && still.stillMs >= limitMs) {
        mark.columns << 3;
        why << QStringLiteral("LastCNT %1 seit %2 min unverändert, Vorgänge offen")
                   .arg(lastCounter)
                   .arg(still.stillMs / 60000);
    }
    mark.reason = why.join(QLatin1Char('\n'));
    return mark;
}

RowAttention::Mark RowAttention::clockMark(const QStringList& cells) const {
    QStringList why;
    Mark mark;
    if (isNonZero(cells.value(3), m_locale)) {
        mark.columns << 3;
        why << QStringLiteral("Diff E Ist - E Soll ist %1, nicht 0").arg(cells.value(3));
    }
    if (isNonZero(cells.value(6), m_locale)) {
        mark.columns << 6;
        why << QStringLiteral("Diff S Ist - S Soll ist %1, nicht 0").arg(cells.value(6));
    }
    mark.reason = why.join(QLatin1Char('\n'));
    return mark;
}

double RowAttention::countOf(const QString& text) const {
    // A sum is shown in the user's format, a single record's count as received.
    bool ok = false;
    const double value = m_locale.toDouble(text.trimmed(), &ok);
    return ok ? value : leadingNumber(text);
}
