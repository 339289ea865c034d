#include "monitors/Decimal.h"

#include "protocol/AsciiDigit.h"

#include <algorithm>
#include <limits>

namespace {

// Unsigned scratch arithmetic wide enough for a 96-bit mantissa scaled by 10^28.
constexpr int kWideLimbs = 7;
using Wide = std::array<std::uint32_t, kWideLimbs>;

Wide widen(const Decimal::Mantissa& m) {
    Wide w{};
    std::copy(m.begin(), m.end(), w.begin());
    return w;
}

bool isZero(const Wide& w) {
    return std::all_of(w.begin(), w.end(), [](std::uint32_t limb) { return limb == 0; });
}

bool fits96(const Wide& w) {
    return std::all_of(w.begin() + 3, w.end(), [](std::uint32_t limb) { return limb == 0; });
}

// w = w * factor + addend; returns false when the result no longer fits.
bool multiplyAdd(Wide& w, std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : w) {
        const std::uint64_t product = std::uint64_t{limb} * factor + carry;
        limb = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
    return carry == 0;
}

// w = w / divisor; returns the remainder.
std::uint32_t divide(Wide& w, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (int i = kWideLimbs - 1; i >= 0; --i) {
        const std::uint64_t current = (remainder << 32) | w[static_cast<std::size_t>(i)];
        w[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(current / divisor);
        remainder = current % divisor;
    }
    return static_cast<std::uint32_t>(remainder);
}

int compare(const Wide& a, const Wide& b) {
    for (int i = kWideLimbs - 1; i >= 0; --i) {
        const auto index = static_cast<std::size_t>(i);
        if (a[index] != b[index]) {
            return a[index] < b[index] ? -1 : 1;
        }
    }
    return 0;
}

Wide add(const Wide& a, const Wide& b) {
    Wide sum{};
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < sum.size(); ++i) {
        const std::uint64_t s = std::uint64_t{a[i]} + b[i] + carry;
        sum[i] = static_cast<std::uint32_t>(s);
        carry = s >> 32;
    }
    return sum; // operands stay far below the top limb, so no carry is lost
}

// a - b for a >= b.
Wide subtract(const Wide& a, const Wide& b) {
    Wide difference{};
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < difference.size(); ++i) {
        std::int64_t d = std::int64_t{a[i]} - b[i] - borrow;
        borrow = d < 0 ? 1 : 0;
        if (d < 0) {
            d += std::int64_t{1} << 32;
        }
        difference[i] = static_cast<std::uint32_t>(d);
    }
    return difference;
}

// Divides w by 10^digits, rounding halves to the even neighbour.
void divideRounded(Wide& w, int digits) {
    if (digits <= 0) {
        return;
    }
    bool sticky = false;
    std::uint32_t last = 0;
    for (int i = 0; i < digits; ++i) {
        sticky = sticky || last != 0;
        last = divide(w, 10);
    }
    if (last > 5 || (last == 5 && (sticky || (w[0] & 1u) != 0))) {
        multiplyAdd(w, 1, 1);
    }
}

// Drops as few fraction digits as needed (rounding once, from the exact value) until the
// magnitude fits 96 bits; false if it never does.
bool reduceToFit(Wide& w, int& scale) {
    if (fits96(w)) {
        return true;
    }
    for (int dropped = 1; dropped <= scale; ++dropped) {
        Wide candidate = w;
        divideRounded(candidate, dropped);
        if (fits96(candidate)) {
            w = candidate;
            scale -= dropped;
            return true;
        }
    }
    return false;
}

Decimal::Mantissa narrow(const Wide& w) {
    return {w[0], w[1], w[2]};
}

} // namespace

Decimal::Decimal(bool negative, Mantissa mantissa, int scale)
    : m_mantissa(mantissa)
    , m_scale(scale)
    , m_negative(negative && mantissa != Mantissa{}) {
}

std::optional<Decimal> Decimal::parse(const QString& text, const QLocale& locale) {
    const QString body = text.trimmed();
    qsizetype pos = 0;
    bool negative = false;
    const QString minus = locale.negativeSign();
    const QString plus = locale.positiveSign();
    if (body.startsWith(minus) || body.startsWith(QLatin1Char('-'))) {
        negative = true;
        pos = body.startsWith(minus) ? minus.size() : 1;
    } else if (body.startsWith(plus) || body.startsWith(QLatin1Char('+'))) {
        pos = body.startsWith(plus) ? plus.size() : 1;
    }

    const QString point = locale.decimalPoint();
    Wide w{};
    int digits = 0;
    int scale = 0;
    bool afterPoint = false;
    while (pos < body.size()) {
        if (!afterPoint && !point.isEmpty() && QStringView(body).sliced(pos).startsWith(point)) {
            afterPoint = true;
            pos += point.size();
            continue;
        }
        const QChar c = body[pos];
        if (!isAsciiDigit(c)) {
            return std::nullopt;
        }
        if (!multiplyAdd(w, 10, static_cast<std::uint32_t>(c.unicode() - '0')) || !fits96(w)) {
            return std::nullopt;
        }
        ++digits;
        if (afterPoint && ++scale > kMaxScale) {
            return std::nullopt;
        }
        ++pos;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return Decimal(negative, narrow(w), scale);
}

std::optional<Decimal> Decimal::minus(const Decimal& other) const {
    int scale = std::max(m_scale, other.m_scale);
    Wide a = widen(m_mantissa);
    Wide b = widen(other.m_mantissa);
    for (int i = m_scale; i < scale; ++i) {
        multiplyAdd(a, 10, 0);
    }
    for (int i = other.m_scale; i < scale; ++i) {
        multiplyAdd(b, 10, 0);
    }
    // a - b with signs: equal signs subtract magnitudes, different signs add them.
    const bool bNegated = !other.m_negative;
    Wide magnitude{};
    bool negative = false;
    if (m_negative == bNegated) {
        magnitude = add(a, b);
        negative = m_negative;
    } else if (compare(a, b) >= 0) {
        magnitude = subtract(a, b);
        negative = m_negative;
    } else {
        magnitude = subtract(b, a);
        negative = bNegated;
    }
    if (!reduceToFit(magnitude, scale)) {
        return std::nullopt;
    }
    return Decimal(negative, narrow(magnitude), scale);
}

std::optional<std::int64_t> Decimal::roundedTimesPowerOfTen(int power) const {
    Wide w = widen(m_mantissa);
    if (power >= m_scale) {
        for (int i = m_scale; i < power; ++i) {
            if (!multiplyAdd(w, 10, 0)) {
                return std::nullopt;
            }
        }
    } else {
        divideRounded(w, m_scale - power);
    }
    if (!std::all_of(w.begin() + 2, w.end(), [](std::uint32_t limb) { return limb == 0; })) {
        return std::nullopt;
    }
    const std::uint64_t value = (std::uint64_t{w[1]} << 32) | w[0];
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    const auto magnitude = static_cast<std::int64_t>(value);
    return m_negative ? -magnitude : magnitude;
}

QString Decimal::toString(const QLocale& locale) const {
    Wide w = widen(m_mantissa);
    QString digits;
    do {
        digits.prepend(QChar(static_cast<char16_t>(u'0' + divide(w, 10))));
    } while (!isZero(w));
    if (digits.size() <= m_scale) {
        digits.prepend(QString(m_scale + 1 - digits.size(), QLatin1Char('0')));
    }
    if (m_scale > 0) {
        digits.insert(digits.size() - m_scale, locale.decimalPoint());
    }
    if (m_negative) {
        digits.prepend(locale.negativeSign());
    }
    return digits;
}
