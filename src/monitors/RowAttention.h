#pragma once

#include "monitors/AttentionLimits.h"

#include <QHash>
#include <QLocale>
#include <QStringList>
#include <QTime>

// Decides which rows of a monitor need the user's attention and says why, in German, one
// reason per row (empty: the row does not stand out). Time clocks stand out when either
// difference is not 0. Cash registers stand out when "Anzahl" reaches the count limit, or when
// their "LastCNT" has not moved for the set time while transactions are open; for that it
// remembers, per register of the latest reply, how long its counter has stood still.
class RowAttention {
public:
    enum class Rule { Registers, Clocks };
    // Why a row stands out (empty: it does not) and the columns whose values are the reason.
    struct Mark {
        QString reason;
        QList<int> columns;
    };

    explicit RowAttention(Rule rule, QLocale locale = QLocale::system());

    void setLimits(const AttentionLimits& limits) { m_limits = limits; }
    const AttentionLimits& limits() const { return m_limits; }

    // The reasons for the rows just listed (each row its cells), assessed at
    // the given time of day. Refreshes come at most about a minute apart, so the time between
    // two calls is taken across midnight.
    QList<Mark> assess(const QList<QStringList>& rows, const QTime& now);

private:
    struct Still {
        QString lastCounter;
        qint64 stillMs = 0;
    };

    Mark registerMark(const QStringList& cells, qint64 elapsedMs,
                      QHash<QString, Still>& seen) const;
    Mark clockMark(const QStringList& cells) const;
    double countOf(const QString& text) const;

    Rule m_rule;
    QLocale m_locale;
    AttentionLimits m_limits;
    QHash<QString, Still> m_still;
    QTime m_lastAssessed;
};
