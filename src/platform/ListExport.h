#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A list's captions and cells, as the list shows them, turned into what other programs read.
namespace ListExport {

using Rows = QList<QStringList>;

// A CSV file that German spreadsheet programs open as it is: UTF-8 with a byte-order mark,
// ";" between the cells, CRLF after each line, a header line with the captions. A cell with
// ";", a quote or a line break is put in quotes, its quotes doubled. A cell a spreadsheet would
// run as a formula (see spreadsheetSafe) stays text.
QByteArray csv(const QStringList& headers, const Rows& rows);

// Tab-separated text for the clipboard, header line first; tabs and line breaks inside a cell
// become blanks, so every row stays one line. Formula cells stay text, as in csv().
QString tabSeparated(const QStringList& headers, const Rows& rows);

// The rows for a terminal, one line each, without a header: cells joined by ";", a cell with
// ";" or a quote quoted as in csv(). Control characters (ESC, line breaks, bidirectional
// overrides, ...) and the backslash are written as escapes ("\x1b", "\u{202e}", "\\"), so
// nothing from the server reaches the terminal raw.
QString terminalLines(const Rows& rows);

// A cell that starts with "=", "+", "-", "@", a tab or a carriage return and is not a plain
// number gets a leading "'", so that a spreadsheet shows it as text instead of running it.
// Numbers, negative ones included ("-1205", "-12,5"), stay as they are.
QString spreadsheetSafe(const QString& cell);

// {"columns": [...], "rows": [[...], ...]}: every cell a text, exactly as listed. Captions may
// repeat ("Diff"), so rows are arrays, not objects.
QByteArray json(const QStringList& headers, const Rows& rows);

} // namespace ListExport
