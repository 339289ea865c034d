#include "platform/ListExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString csvCell(const QString& cell) {
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
    for (QString cell : cells) {
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

QStringList cellsOf(const QString& rowText, int columns) {
    QStringList cells = rowText.split(QLatin1Char(';'));
    cells.resize(columns);
    return cells;
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
