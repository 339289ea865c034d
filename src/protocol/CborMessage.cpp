#include "protocol/CborMessage.h"

#include <QList>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace protocol {

namespace {

constexpr quint64 MaxSigned = static_cast<quint64>(std::numeric_limits<qint64>::max());

// Bytes of the argument after a head's first byte; -1 for indefinite and reserved lengths.
int argumentBytes(int info) {
    if (info < 24) {
        return 0;
    }
    switch (info) {
    case 24:
        return 1;
    case 25:
        return 2;
    case 26:
        return 4;
    case 27:
        return 8;
    default:
        return -1;
    }
}

quint64 bigEndian(const char* bytes, int count) {
    quint64 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | static_cast<quint8>(bytes[i]);
    }
    return value;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF), as Qt's own CBOR
// reader demands of a text.
bool isUtf8(const char* text, qsizetype size) {
    const auto* s = reinterpret_cast<const quint8*>(text);
    qsizetype i = 0;
    while (i < size) {
        const quint8 lead = s[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        quint8 low = 0x80; // bounds of the second byte, which rule out overlong forms and the rest
        quint8 high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            more = 1;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            more = 2;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            more = 3;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        } else {
            return false;
        }
        if (size - i <= more || s[i + 1] < low || s[i + 1] > high) {
            return false;
        }
        for (int k = 2; k <= more; ++k) {
            if ((s[i + k] & 0xc0) != 0x80) {
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

// Walks the item structure without allocating; stops at the first violation.
class CborWalker {
public:
    explicit CborWalker(QByteArrayView bytes)
        : m_bytes(bytes) {}

    bool walkAll() {
        if (!walkItem(0)) {
            return false;
        }
        if (m_pos != m_bytes.size()) {
            return fail(ErrorCode::MalformedMessage, QStringLiteral("bytes after the message"));
        }
        return true;
    }

    ErrorCode error() const { return m_error; }
    const QString& errorText() const { return m_errorText; }
    // The root map's entries (key, value), when the root is a map.
    const std::array<std::pair<quint32, quint32>, MaxMapEntries>& rootEntries() const {
        return m_rootEntries;
    }
    qsizetype rootEntryCount() const { return m_rootEntryCount; }

private:
    qsizetype remaining() const { return m_bytes.size() - m_pos; }

    bool fail(ErrorCode code, const QString& text) {
        m_error = code;
        m_errorText = QStringLiteral("%1 at byte %2").arg(text).arg(m_pos);
        return false;
    }

    // Reads the initial byte and its argument. Indefinite lengths and reserved sizes fail.
    bool readHead(int& major, int& info, quint64& argument) {
        if (remaining() < 1) {
            return fail(ErrorCode::MalformedMessage, QStringLiteral("message ends early"));
        }
        const auto initial = static_cast<quint8>(m_bytes[m_pos]);
        major = initial >> 5;
        info = initial & 0x1f;
        ++m_pos;
        const int extra = argumentBytes(info);
        if (extra < 0) {
            return fail(ErrorCode::MalformedMessage,
                        QStringLiteral("indefinite or reserved length"));
        }
        if (remaining() < extra) {
            return fail(ErrorCode::MalformedMessage, QStringLiteral("message ends early"));
        }
        argument =
            extra == 0 ? static_cast<quint64>(info) : bigEndian(m_bytes.data() + m_pos, extra);
        m_pos += extra;
        return true;
    }

    bool walkItem(int depth) {
        int major = 0;
        int info = 0;
        quint64 argument = 0;
        if (!readHead(major, info, argument)) {
            return false;
        }
        switch (major) {
        case 0: // unsigned integer
        case 1: // negative integer: -1 - argument
            if (argument > MaxSigned) {
                return fail(ErrorCode::MalformedMessage,
                            QStringLiteral("integer outside the 64-bit signed range"));
            }
            return true;
        case 3: // text
            if (argument > static_cast<quint64>(remaining())) {
                return fail(ErrorCode::MalformedMessage,
                            QStringLiteral("text longer than the bytes that remain"));
            }
            if (argument > static_cast<quint64>(MaxTextBytes)) {
                return fail(ErrorCode::TextTooLong,
                            QStringLiteral("text of %1 bytes").arg(argument));
            }
            if (!isUtf8(m_bytes.data() + m_pos, static_cast<qsizetype>(argument))) {
                return fail(ErrorCode::MalformedMessage, QStringLiteral("text not in UTF-8"));
            }
            m_pos += static_cast<qsizetype>(argument);
            return true;
        case 4: // array: every element takes at least one byte
            if (argument > static_cast<quint64>(remaining())) {
                return fail(ErrorCode::MalformedMessage,
                            QStringLiteral("array longer than the bytes that remain"));
            }
            // Arrays only carry arguments; a long one is refused before anyone lists it.
            if (argument > static_cast<quint64>(MaxArguments)) {
                return fail(ErrorCode::TooManyArguments,
                            QStringLiteral("array of %1 elements").arg(argument));
            }
            return walkChildren(depth, argument);
        case 5: // map: every entry takes at least two bytes
            if (argument > static_cast<quint64>(remaining()) / 2) {
                return fail(ErrorCode::MalformedMessage,
                            QStringLiteral("map longer than the bytes that remain"));
            }
            if (argument > static_cast<quint64>(MaxMapEntries)) {
                return fail(ErrorCode::TooDeep, QStringLiteral("map of %1 entries").arg(argument));
            }
            if (depth == 0) {
                return walkRootMap(argument);
            }
            return walkChildren(depth, argument * 2);
        case 7:
            return walkSimple(info);
        default: // byte strings and tags are never part of a message
            return fail(ErrorCode::MalformedMessage,
                        QStringLiteral("CBOR kind %1 not allowed").arg(major));
        }
    }

    // The message map: where each entry's key and value lie is noted on the way.
    bool walkRootMap(quint64 entries) {
        static_assert(MaxCborDepth >= 1);
        for (quint64 i = 0; i < entries; ++i) {
            const qsizetype key = m_pos;
            if (!walkItem(1)) {
                return false;
            }
            const qsizetype value = m_pos;
            if (!walkItem(1)) {
                return false;
            }
            m_rootEntries[i] = {static_cast<quint32>(key), static_cast<quint32>(value)};
        }
        m_rootEntryCount = static_cast<qsizetype>(entries);
        return true;
    }

    bool walkChildren(int depth, quint64 count) {
        if (depth + 1 > MaxCborDepth) {
            return fail(ErrorCode::TooDeep,
                        QStringLiteral("nesting deeper than %1").arg(MaxCborDepth));
        }
        for (quint64 i = 0; i < count; ++i) {
            if (!walkItem(depth + 1)) {
                return false;
            }
        }
        return true;
    }

    bool walkSimple(int info) {
        switch (info) {
        case 20:         // false
        case 21:         // true
        case 22:         // null
        case 25:         // half float
        case 26:         // single float
        case 27:         // double float
            return true; // readHead consumed the value bytes
        default:
            return fail(ErrorCode::MalformedMessage,
                        QStringLiteral("simple value %1 not allowed").arg(info));
        }
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    std::array<std::pair<quint32, quint32>, MaxMapEntries> m_rootEntries{};
    qsizetype m_rootEntryCount = 0;
    ErrorCode m_error = ErrorCode::MalformedMessage;
    QString m_errorText;
};

double halfToDouble(quint16 half) {
    const int exponent = (half >> 10) & 0x1f;
    const int mantissa = half & 0x3ff;
    double value = 0;
    if (exponent == 0) {
        value = std::ldexp(mantissa, -24);
    } else if (exponent == 31) {
        value = mantissa == 0 ? std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::quiet_NaN();
    } else {
        value = std::ldexp(mantissa + 1024, exponent - 25);
    }
    return (half & 0x8000) ? -value : value;
}

} // namespace

CborMessage::Item::Item(QByteArrayView bytes, qsizetype pos)
    : m_bytes(bytes)
    , m_pos(pos) {
    // The walk has checked the bytes: every head and what it declares lies within them.
    const auto initial = static_cast<quint8>(bytes[pos]);
    const int major = initial >> 5;
    m_info = initial & 0x1f;
    const int extra = argumentBytes(m_info);
    m_argument = extra == 0 ? m_info : bigEndian(bytes.data() + pos + 1, extra);
    m_content = pos + 1 + extra;
    switch (major) {
    case 0:
    case 1:
        m_kind = Kind::Integer;
        break;
    case 3:
        m_kind = Kind::Text;
        break;
    case 4:
        m_kind = Kind::Array;
        break;
    case 5:
        m_kind = Kind::Map;
        break;
    default:
        m_kind = m_info == 20   ? Kind::False
                 : m_info == 21 ? Kind::True
                 : m_info == 22 ? Kind::Null
                                : Kind::Double;
        break;
    }
}

qint64 CborMessage::Item::toInteger() const {
    if (m_kind != Kind::Integer) {
        return 0;
    }
    const auto value = static_cast<qint64>(m_argument);
    return (static_cast<quint8>(m_bytes[m_pos]) >> 5) == 1 ? -1 - value : value;
}

QString CborMessage::Item::toText() const {
    return m_kind == Kind::Text
               ? QString::fromUtf8(m_bytes.data() + m_content, static_cast<qsizetype>(m_argument))
               : QString();
}

double CborMessage::Item::toDouble() const {
    if (m_kind != Kind::Double) {
        return 0;
    }
    switch (m_info) {
    case 25:
        return halfToDouble(static_cast<quint16>(m_argument));
    case 26: {
        const auto bits = static_cast<quint32>(m_argument);
        float single = 0;
        std::memcpy(&single, &bits, sizeof single);
        return single;
    }
    default: {
        double value = 0;
        std::memcpy(&value, &m_argument, sizeof value);
        return value;
    }
    }
}

qsizetype CborMessage::Item::count() const {
    return m_kind == Kind::Array || m_kind == Kind::Map ? static_cast<qsizetype>(m_argument) : 0;
}

QList<CborMessage::Item> CborMessage::Item::elements() const {
    QList<Item> items;
    if (m_kind != Kind::Array) {
        return items;
    }
    items.reserve(count());
    qsizetype pos = m_content;
    for (qsizetype i = 0; i < count(); ++i) {
        items.append(Item(m_bytes, pos));
        pos = items.back().end();
    }
    return items;
}

qsizetype CborMessage::Item::end() const {
    switch (m_kind) {
    case Kind::Text:
        return m_content + static_cast<qsizetype>(m_argument);
    case Kind::Array:
    case Kind::Map: {
        // Depth is bounded by the walk.
        const quint64 children = m_kind == Kind::Map ? m_argument * 2 : m_argument;
        qsizetype pos = m_content;
        for (quint64 i = 0; i < children; ++i) {
            pos = Item(m_bytes, pos).end();
        }
        return pos;
    }
    default:
        return m_content;
    }
}

bool CborMessage::Item::equals(QLatin1StringView text) const {
    return m_kind == Kind::Text && m_argument == static_cast<quint64>(text.size()) &&
           std::memcmp(m_bytes.data() + m_content, text.data(), text.size()) == 0;
}

std::optional<QVariant> CborMessage::Item::toValue() const {
    switch (m_kind) {
    case Kind::Null:
        return QVariant();
    case Kind::False:
        return QVariant(false);
    case Kind::True:
        return QVariant(true);
    case Kind::Integer:
        return QVariant(toInteger());
    case Kind::Double:
        return QVariant(toDouble());
    case Kind::Text:
        return QVariant(toText());
    case Kind::Array:
    case Kind::Map:
        break;
    }
    return std::nullopt;
}

CborMessage::CborMessage(QByteArrayView bytes) {
    CborWalker walker(bytes);
    if (!walker.walkAll()) {
        m_error = walker.error();
        m_errorText = walker.errorText();
        return;
    }
    m_ok = true;
    m_root = Item(bytes, 0);
    m_entryCount = walker.rootEntryCount();
    for (qsizetype i = 0; i < m_entryCount; ++i) {
        m_entries[i] = {walker.rootEntries()[i].first, walker.rootEntries()[i].second};
    }
}

std::optional<CborMessage::Item> CborMessage::field(QLatin1StringView key) const {
    const QByteArrayView bytes = m_root.m_bytes;
    for (qsizetype i = 0; i < m_entryCount; ++i) {
        const char* at = bytes.data() + m_entries[i].key;
        // A short text key is its head byte and the bytes: compared without reading it as an item.
        const bool same = key.size() < 24 ? static_cast<quint8>(*at) == 0x60 + key.size() &&
                                                std::memcmp(at + 1, key.data(), key.size()) == 0
                                          : Item(bytes, m_entries[i].key).equals(key);
        if (same) {
            return Item(bytes, m_entries[i].value);
        }
    }
    return std::nullopt;
}

} // namespace protocol
