#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

// One cash register after folding: its four cells and the running sum behind "Anzahl".
struct RegisterRow {
    QString nr;
    QString anzahl;
    QString firstCnt;
    QString lastCnt;
    double sum = 0.0;

    // Nr, Anzahl, FirstCNT, LastCNT
    QStringList cells() const;
};

// Folds the records of a register reply (four fields each) into one row per register, in the
// order in which the registers first appear. Linear in the number of records; the fields are
// read as views into the reply, and a count is read as a number only when its register repeats.
class RegisterFold {
public:
    // Records read from one reply at most (record numbers are 16-bit in the reply format).
    static constexpr int kMaxRecords = 8192;

    explicit RegisterFold(QLocale locale = QLocale::system());

    QList<RegisterRow> fold(const QStringList& fields) const;
    // The list rows of a reply as their cells, ready to append. A cell may hold any text the
    // reply carries, ";" included.
    QList<QStringList> rows(const QString& reply) const;

private:
    QLocale m_locale;
};
