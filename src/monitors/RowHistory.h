#pragma once

#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <deque>

// The values of some columns of each row (by its "Nr") from every refresh since the window
// opened, for the trend lines. Bounded twice: at most `length` values per row and column, and
// at most kMaxRows rows (the row seen longest ago goes first). A row missing from a reply
// keeps its values until it comes back or the history goes with its window. Values are kept
// as float: 4 bytes each, so a full history of 8,192 registers with 1,440 values is 47 MB,
// and the default of 360 values for 20 registers is under 30 KB.
class RowHistory {
public:
    static constexpr int kDefaultLength = 360;
    static constexpr int kMinLength = 10;
    static constexpr int kMaxLength = 1440;
    static constexpr int kMaxRows = 8192;

    RowHistory(QList<int> columns, QLocale locale = QLocale::system());

    // Takes one value per followed column from each row (its cells; the first is the row's
    // key); a cell that is not a number adds nothing.
    void record(const QList<QStringList>& rows);
    // The values of one followed column (its index in `columns`) of the row, oldest first.
    QList<double> values(const QString& key, int series) const;
    void setLength(int length);
    int length() const { return m_length; }
    qsizetype rowCount() const { return m_rows.size(); }

private:
    struct Row {
        QList<std::deque<float>> series;
        quint64 lastSeen = 0;
    };
    void dropOldestRow();

    QList<int> m_columns;
    QLocale m_locale;
    int m_length = kDefaultLength;
    QHash<QString, Row> m_rows;
    quint64 m_records = 0;
};
