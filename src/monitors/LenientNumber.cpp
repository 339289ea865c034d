#include "monitors/LenientNumber.h"

#include "protocol/AsciiDigit.h"

#include <QByteArray>

#include <cmath>
#include <optional>

namespace {

bool isIgnoredBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

// The common case, plain digits with an optional sign: up to 15 digits the whole number is
// exact in a double, so it equals what the parser below gives.
std::optional<double> plainInteger(QStringView text) {
    constexpr qsizetype kExactDigits = 15;
    const bool negative = !text.isEmpty() && text.front() == QLatin1Char('-');
    const QStringView digits = negative ? text.sliced(1) : text;
    if (digits.isEmpty() || digits.size() > kExactDigits) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : digits) {
        if (!isAsciiDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -static_cast<double>(value) : static_cast<double>(value);
}

} // namespace

double leadingNumber(QStringView text) {
    if (const std::optional<double> value = plainInteger(text)) {
        return *value;
    }
    // Collect the blank-free prefix that forms a number, then let the C-locale parser read it.
    QString compact;
    compact.reserve(text.size());
    for (QChar c : text) {
        if (!isIgnoredBlank(c)) {
            compact.append(c);
        }
    }

    QByteArray number;
    qsizetype pos = 0;
    const qsizetype size = compact.size();
    if (pos < size && (compact[pos] == QLatin1Char('-') || compact[pos] == QLatin1Char('+'))) {
        number.append(compact[pos].toLatin1());
        ++pos;
    }
    bool anyDigit = false;
    while (pos < size && isAsciiDigit(compact[pos])) {
        number.append(compact[pos++].toLatin1());
        anyDigit = true;
    }
    if (pos < size && compact[pos] == QLatin1Char('.')) {
        number.append('.');
        ++pos;
        while (pos < size && isAsciiDigit(compact[pos])) {
            number.append(compact[pos++].toLatin1());
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    // An exponent counts only when digits follow it ("5e" reads as 5).
    if (pos < size && QStringLiteral("eEdD").contains(compact[pos])) {
        qsizetype expPos = pos + 1;
        QByteArray exponent("e");
        if (expPos < size &&
            (compact[expPos] == QLatin1Char('-') || compact[expPos] == QLatin1Char('+'))) {
            exponent.append(compact[expPos++].toLatin1());
        }
        bool expDigit = false;
        while (expPos < size && isAsciiDigit(compact[expPos])) {
            exponent.append(compact[expPos++].toLatin1());
            expDigit = true;
        }
        if (expDigit) {
            number.append(exponent);
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}

QString sumText(double value, const QLocale& locale) {
    QLocale format(locale);
    format.setNumberOptions(QLocale::OmitGroupSeparator);
    // Adding +0.0 turns a negative zero into zero.
    return format.toString(value + 0.0, 'g', 15);
}
