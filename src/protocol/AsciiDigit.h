#pragma once

#include <QChar>

// 0 to 9 only: numbers on the wire, in commands and in the lists never use other scripts' digits
// (QChar::isDigit would take them).
inline bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
