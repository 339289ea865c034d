#pragma once

#include <QString>
#include <QVariant>

// A value as it crosses the wire: null, Boolean, integer (qint64), double or text.
// QVariant carries it; cacheValueToText gives the text form the client works with.
using CacheValue = QVariant;

// Null gives an empty text, a Boolean "1"/"0", an integer its plain decimal digits, a double the
// shortest text that reads back to the same value (with "." as decimal point), a text itself.
QString cacheValueToText(const CacheValue& value);
