#include "platform/ListExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

bool isPlainNumber(const QString& cell) {
    // Digits with an optional sign and grouping or decimal marks in either convention.
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)*$"));
    return number.match(cell).hasMatch();
}

bool isTerminalControl(char32_t c) {
    // C0 and C1 controls, DEL, the line and paragraph separators and the bidirectional
    // embeddings, overrides and isolates that reorder what follows them.
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e ||
           c == 0x200f || c == 0x061c;
}

QString escapedForTerminal(const QString& cell) {
    QString result;
    result.reserve(cell.size());
    for (const char32_t c : cell.toUcs4()) {
        if (c == U'\\') {
            result += QStringLiteral("\\\\");
        } else if (c < 0x100 && isTerminalControl(c)) {
            result += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        } else if (isTerminalControl(c)) {
            result += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0'));
        } else {
            result += QString::fromUcs4(&c, 1);
        }
    }
    return result;
}

QString csvCell(const QString& given) {
    const QString cell = ListExport::spreadsheetSafe(given);
    static const QString special = QStringLiteral(";\"\r\n");
    const bool quote =
        std::any_of(cell.begin(), cell.end(), [](QChar c) { return special.contains(c); });
    if (!quote) {
        return cell;
    }
    QString doubled = cell;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString csvLine(const QStringList& cells) {
    QStringList quoted;
    quoted.reserve(cells.size());
    for (const QString& cell : cells) {
        quoted << csvCell(cell);
    }
    return quoted.join(QLatin1Char(';')) + QStringLiteral("\r\n");
}

QString tabLine(const QStringList& cells) {
    QStringList flat;
    flat.reserve(cells.size());
    for (const QString& given : cells) {
        QString cell = ListExport::spreadsheetSafe(given);
        for (QChar& c : cell) {
            if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                c = QLatin1Char(' ');
            }
        }
        flat << cell;
    }
    return flat.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace

namespace ListExport {

QString spreadsheetSafe(const QString& cell) {
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (cell.isEmpty() || !starts.contains(cell.front()) || isPlainNumber(cell)) {
        return cell;
    }
    return QLatin1Char('\'') + cell;
}

QString terminalLines(const Rows& rows) {
    QString text;
    for (const QStringList& row : rows) {
        QStringList shown;
        shown.reserve(row.size());
        for (const QString& cell : row) {
            const bool quote = cell.contains(QLatin1Char(';')) || cell.contains(QLatin1Char('"'));
            QString escaped = escapedForTerminal(cell);
            if (quote) {
                escaped = QLatin1Char('"') +
                          escaped.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                          QLatin1Char('"');
            }
            shown << escaped;
        }
        text += shown.join(QLatin1Char(';')) + QLatin1Char('\n');
    }
    return text;
}

QByteArray csv(const QStringList& headers, const Rows& rows) {
    QString text = csvLine(headers);
    for (const QStringList& row : rows) {
        text += csvLine(row);
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString tabSeparated(const QStringList& headers, const Rows& rows) {
    QString text = tabLine(headers);
    for (const QStringList& row : rows) {
        text += tabLine(row);
    }
    return text;
}

QByteArray json(const QStringList& headers, const Rows& rows) {
    QJsonArray rowArray;
    for (const QStringList& row : rows) {
        rowArray.append(QJsonArray::fromStringList(row));
    }
    QJsonObject document;
    document.insert(QStringLiteral("columns"), QJsonArray::fromStringList(headers));
    document.insert(QStringLiteral("rows"), rowArray);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace ListExport
