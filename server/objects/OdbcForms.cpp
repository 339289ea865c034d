#include "OdbcForms.h"

#include <QStringList>

namespace OdbcForms {

QString personName(const QString& logical) {
    const qsizetype comma = logical.indexOf(QLatin1Char(','));
    if (comma < 0) {
        return logical.trimmed();
    }
    const QString last = logical.left(comma).trimmed();
    const QString first = logical.mid(comma + 1).trimmed();
    if (first.isEmpty()) {
        return last;
    }
    if (last.isEmpty()) {
        return first;
    }
    return first + QLatin1Char(' ') + last;
}

QString departmentName(const QString& logical) {
    QStringList parts;
    for (const QString& part : logical.split(QLatin1Char('^'))) {
        const QString trimmed = part.trimmed();
        if (!trimmed.isEmpty()) {
            parts.append(trimmed);
        }
    }
    return parts.join(QStringLiteral(", "));
}

QString email(const QString& logical) {
    const QString trimmed = logical.trimmed();
    const qsizetype at = trimmed.lastIndexOf(QLatin1Char('@'));
    if (at < 0) {
        return trimmed;
    }
    return trimmed.left(at + 1) + trimmed.mid(at + 1).toLower();
}

} // namespace OdbcForms
