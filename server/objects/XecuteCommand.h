#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// One parsed command of a server command line: "S name=value,..." or "D ^routine".
struct XecuteCommand {
    enum class Kind { Set, Do };

    Kind kind = Kind::Set;
    // Set: the assignments in order; a value is a qint64, a double or a QString.
    QList<QPair<QString, QVariant>> assignments;
    // Do: the routine name without "^", for example "%XTT".
    QString routine;
};
