#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

// The lenient reading of a count: the number at the start of the text, with blanks anywhere
// ignored and "." as the decimal point whatever the user's format. A text that does not start
// with a number reads as 0, and so does one outside the range of a double.
double leadingNumber(QStringView text);

// A double as the user reads it: at most 15 significant digits, the user's decimal separator,
// no group separators, never "-0".
QString sumText(double value, const QLocale& locale);
