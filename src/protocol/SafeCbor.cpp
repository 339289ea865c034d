#include "protocol/SafeCbor.h"

#include "protocol/Limits.h"

#include <QCborParserError>

#include <limits>

namespace protocol {

namespace {

constexpr quint64 MaxSigned = static_cast<quint64>(std::numeric_limits<qint64>::max());

// Walks the CBOR item structure without allocating; stops at the first violation.
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
        int extra = 0;
        if (info < 24) {
            argument = static_cast<quint64>(info);
            return true;
        }
        switch (info) {
        case 24:
            extra = 1;
            break;
        case 25:
            extra = 2;
            break;
        case 26:
            extra = 4;
            break;
        case 27:
            extra = 8;
            break;
        default:
            return fail(ErrorCode::MalformedMessage,
                        QStringLiteral("indefinite or reserved length"));
        }
        if (remaining() < extra) {
            return fail(ErrorCode::MalformedMessage, QStringLiteral("message ends early"));
        }
        argument = 0;
        for (int i = 0; i < extra; ++i) {
            argument = (argument << 8) | static_cast<quint8>(m_bytes[m_pos + i]);
        }
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
            m_pos += static_cast<qsizetype>(argument);
            return true;
        case 4: // array: every element takes at least one byte
            if (argument > static_cast<quint64>(remaining())) {
                return fail(ErrorCode::MalformedMessage,
                            QStringLiteral("array longer than the bytes that remain"));
            }
            // Arrays only carry arguments. Qt spends far more per element than the one byte a
            // null takes on the wire, so a long array is refused before Qt builds it.
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
            return walkChildren(depth, argument * 2);
        case 7:
            return walkSimple(info);
        default: // byte strings and tags are never part of a message
            return fail(ErrorCode::MalformedMessage,
                        QStringLiteral("CBOR kind %1 not allowed").arg(major));
        }
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
    ErrorCode m_error = ErrorCode::MalformedMessage;
    QString m_errorText;
};

} // namespace

Outcome<QCborValue> safeCborDecode(QByteArrayView bytes) {
    CborWalker walker(bytes);
    if (!walker.walkAll()) {
        return Outcome<QCborValue>::failure(walker.error(), walker.errorText());
    }
    QCborParserError parseError;
    QCborValue item = QCborValue::fromCbor(reinterpret_cast<const quint8*>(bytes.data()),
                                           bytes.size(), &parseError);
    if (parseError.error != QCborError::NoError) {
        return Outcome<QCborValue>::failure(
            ErrorCode::MalformedMessage, QStringLiteral("CBOR: %1").arg(parseError.errorString()));
    }
    return Outcome<QCborValue>::success(std::move(item));
}

} // namespace protocol
