#include "protocol/CborWriter.h"

#include <QMetaType>

#include <cstring>
#include <limits>

namespace protocol {

void CborWriter::head(quint8 major, quint64 argument) {
    const auto initial = static_cast<quint8>(major << 5);
    if (argument < 24) {
        *grow(1) = static_cast<char>(initial | argument);
        return;
    }
    const int extra = argument <= 0xff          ? 1
                      : argument <= 0xffff      ? 2
                      : argument <= 0xffffffffU ? 4
                                                : 8;
    char* out = grow(1 + extra);
    out[0] = static_cast<char>(initial | (extra == 1   ? 24
                                          : extra == 2 ? 25
                                          : extra == 4 ? 26
                                                       : 27));
    for (int i = 0; i < extra; ++i) {
        out[extra - i] = static_cast<char>(argument >> (8 * i));
    }
}

void CborWriter::integer(qint64 value) {
    if (value >= 0) {
        head(0, static_cast<quint64>(value));
    } else {
        head(1, static_cast<quint64>(-1 - value));
    }
}

void CborWriter::real(double value) {
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char* out = grow(9);
    out[0] = char(0xfb);
    for (int i = 0; i < 8; ++i) {
        out[8 - i] = static_cast<char>(bits >> (8 * i));
    }
}

void CborWriter::text(QStringView text) {
    // Names and short values are mostly ASCII: written as they are, without converting first.
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii) {
        const QByteArray utf8 = text.toUtf8();
        head(3, static_cast<quint64>(utf8.size()));
        std::memcpy(grow(utf8.size()), utf8.constData(), utf8.size());
        return;
    }
    head(3, static_cast<quint64>(text.size()));
    char* out = grow(text.size());
    for (const QChar c : text) {
        *out++ = static_cast<char>(c.unicode());
    }
}

void CborWriter::text(QLatin1StringView text) {
    head(3, static_cast<quint64>(text.size()));
    std::memcpy(grow(text.size()), text.data(), text.size());
}

bool CborWriter::value(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        null();
        return true;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        boolean(value.toBool());
        return true;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
        integer(value.toLongLong());
        return true;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
            return false;
        }
        integer(value.toLongLong());
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        real(value.toDouble());
        return true;
    case QMetaType::QString:
        text(QStringView(*static_cast<const QString*>(value.constData())));
        return true;
    default:
        return false;
    }
}

} // namespace protocol
