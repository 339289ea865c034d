#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace protocol {

// A text value together with its CBOR encoding, made once: a reply kept and served many times
// is written as the bytes it already has. As a QVariant it converts to its QString, so whoever
// reads the value as text sees no difference.
struct EncodedText {
    QString text;
    QByteArray cbor; // the CBOR text item, head and UTF-8 bytes

    // The value for text, encoded now.
    static QVariant of(const QString& text);
    // The encoded text a value holds, or null.
    static const EncodedText* in(const QVariant& value);
};

} // namespace protocol

Q_DECLARE_METATYPE(protocol::EncodedText)
