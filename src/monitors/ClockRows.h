#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// Turns a time-clock reply (five fields per clock, four clocks) into the list rows, each the
// cells Nr, E Ist, E Soll, Diff, S Ist, S Soll, Diff. A clock with a missing field or a value that
// is not a number in the user's format gets no row; the others keep their order.
class ClockRows {
public:
    static constexpr int kClocks = 4;
    static constexpr int kFieldsPerClock = 5;

    explicit ClockRows(QLocale locale = QLocale::system());

    QList<QStringList> rows(const QString& reply) const;

private:
    // Ist - Soll as text into result; false when either is not a number or it overflows.
    bool difference(const QString& ist, const QString& soll, QString& result) const;

    QLocale m_locale;
};
