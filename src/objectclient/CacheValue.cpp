#include "objectclient/CacheValue.h"

#include <QLocale>

QString cacheValueToText(const CacheValue& value) {
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toString();
    case QMetaType::Double:
    case QMetaType::Float:
        // Fixed notation: a counter that arrives as a double must read "100000000", not "1e+08".
        return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}
