#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A list's captions and cells, as the list shows them, turned into what other programs read.
namespace ListExport {

using Rows = QList<QStringList>;

// The cells of a row text as the list shows them: split at ";", surplus parts dropped,
// missing ones empty.
QStringList cellsOf(const QString& rowText, int columns);

// A CSV file that German spreadsheet programs open as it is: UTF-8 with a byte-order mark,
// ";" between the cells, CRLF after each line, a header line with the captions. A cell with
// ";", a quote or a line break is put in quotes, its quotes doubled.
QByteArray csv(const QStringList& headers, const Rows& rows);

// Tab-separated text for the clipboard, header line first; tabs and line breaks inside a cell
// become blanks, so every row stays one line.
QString tabSeparated(const QStringList& headers, const Rows& rows);

// {"columns": [...], "rows": [[...], ...]}: every cell a text, exactly as listed. Captions may
// repeat ("Diff"), so rows are arrays, not objects.
QByteArray json(const QStringList& headers, const Rows& rows);

} // namespace ListExport
