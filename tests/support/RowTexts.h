#pragma once

#include <QList>
#include <QStringList>

// Rows written the short way in tests: "1;2;3" for the cells 1, 2 and 3. Only for rows whose
// cells hold no ";".
inline QList<QStringList> cellRows(const QStringList& rowTexts) {
    QList<QStringList> rows;
    for (const QString& text : rowTexts) {
        rows << text.split(QLatin1Char(';'));
    }
    return rows;
}

inline QStringList rowTexts(const QList<QStringList>& rows) {
    QStringList texts;
    for (const QStringList& cells : rows) {
        texts << cells.join(QLatin1Char(';'));
    }
    return texts;
}
