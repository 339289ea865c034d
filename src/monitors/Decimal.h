#pragma once

#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// An exact decimal number: a 96-bit unsigned mantissa, a sign and a scale of 0 to 28 (the
// value is mantissa / 10^scale). Used where counters must be subtracted without the rounding
// of binary floating point.
class Decimal {
public:
    static constexpr int kMaxScale = 28;
    using Mantissa = std::array<std::uint32_t, 3>; // least significant limb first

    Decimal() = default;

    // The strict reading in the user's number format: optional blanks around, an optional
    // sign, digits with at most one decimal separator, nothing else. No group separators,
    // no exponent. Fails on anything else and on values the type cannot hold.
    static std::optional<Decimal> parse(const QString& text, const QLocale& locale);

    // this - other, exact where the result fits; digits beyond the 96-bit mantissa are
    // rounded away (halves to even) as far as the scale allows. Fails only on overflow.
    std::optional<Decimal> minus(const Decimal& other) const;

    // round(value * 10^power), halves to even, when it fits a 64-bit integer. power >= 0.
    std::optional<std::int64_t> roundedTimesPowerOfTen(int power) const;

    // Digits, the user's decimal separator and minus sign; the scale's trailing zeros stay.
    QString toString(const QLocale& locale) const;

    bool isNegative() const { return m_negative; }
    int scale() const { return m_scale; }
    const Mantissa& mantissa() const { return m_mantissa; }

private:
    Decimal(bool negative, Mantissa mantissa, int scale);

    Mantissa m_mantissa{};
    int m_scale = 0;
    bool m_negative = false;
};
