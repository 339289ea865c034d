#pragma once

#include "monitors/RowAttention.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

// What tells the two monitors apart behind their windows: where they log, which server class
// and class method they read, how a reply becomes list rows, and whether the list is reset
// (no selection, scrolled to the top) after rows were listed; also the list's column captions,
// which rows stand out, and the name its own settings are kept under.
struct MonitorKind {
    QString logPart;
    QString className;
    QString methodName;
    // A reply's rows as their cells.
    std::function<QList<QStringList>(const QString& reply, const QLocale& locale)> rowsOf;
    bool resetViewAfterRows = false;
    QStringList columns;
    RowAttention::Rule attention = RowAttention::Rule::Registers;
    QString settingsName;
    // The columns whose values are followed as trend lines.
    QList<int> trendColumns;

    static MonitorKind kassa();
    static MonitorKind zeiterfassung();
};
