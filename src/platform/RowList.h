#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The multi-column list as the program uses it: each row one text, its cells joined by ";".
// Positions count from 0. insertAt/removeAt throw std::out_of_range for a position the list
// does not have (the caller decides whether that matters).
class RowList {
public:
    virtual ~RowList() = default;
    virtual void insertAt(const QString& rowText, int position) = 0;
    virtual void removeAt(int position) = 0;
    virtual void clear() = 0;
    virtual void append(const QString& rowText) = 0;
    // Appends a row given as its cells, which may hold ";". A list whose rows are one text
    // (the program log) takes them joined.
    virtual void appendCells(const QStringList& cells) { append(cells.join(QLatin1Char(';'))); }
    virtual int rowCount() const = 0;
    virtual QString rowText(int position) const = 0;
    // After a refresh: nothing selected, scrolled to the top. Optional for a list.
    virtual void resetView() {}
    // Marks the row as needing the user's attention, with the reason (empty: no mark) and the
    // columns whose values are the reason. Optional for a list; the row's text stays as it is.
    virtual void markRow(int position, const QString& reason, const QList<int>& columns) {
        Q_UNUSED(position);
        Q_UNUSED(reason);
        Q_UNUSED(columns);
    }
    // The values of a cell over the latest refreshes, oldest first, drawn as a small line in
    // the cell. Optional for a list.
    virtual void showTrend(int position, int column, const QList<double>& values) {
        Q_UNUSED(position);
        Q_UNUSED(column);
        Q_UNUSED(values);
    }
};
