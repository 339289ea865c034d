#pragma once

#include "protocol/ErrorCodes.h"
#include "protocol/Limits.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QVariant>

#include <array>
#include <optional>

namespace protocol {

// One message's CBOR item, read from untrusted bytes where they lie, without building a tree of
// it. Before anything is read, a walk checks that the bytes hold exactly one item in which every
// declared length and count fits the bytes that remain, nesting stays within MaxCborDepth, maps
// within MaxMapEntries, arrays within MaxArguments, texts within MaxTextBytes and in UTF-8, and
// only the kinds messages use occur: unsigned and negative integers within 64-bit signed range,
// texts, arrays, maps, false, true, null, and half/single/double floats — all of definite length.
// Byte strings, tags, undefined, other simple values and indefinite lengths are refused. So every
// read after the walk stays within the bytes, and what a message makes in memory is bounded by
// its size.
class CborMessage {
public:
    // An item of the message, read where it lies.
    class Item {
    public:
        enum class Kind { Integer, Text, Array, Map, False, True, Null, Double };

        Kind kind() const { return m_kind; }
        bool isText() const { return m_kind == Kind::Text; }
        bool isInteger() const { return m_kind == Kind::Integer; }
        bool isArray() const { return m_kind == Kind::Array; }
        bool isMap() const { return m_kind == Kind::Map; }
        bool isBool() const { return m_kind == Kind::False || m_kind == Kind::True; }

        qint64 toInteger() const; // an integer's value, else 0
        QString toText() const;   // a text's value, else empty
        double toDouble() const;  // a double's value, else 0
        // Elements of an array, entries of a map.
        qsizetype count() const;
        // The items of an array, first to last.
        QList<Item> elements() const;
        // The value a wire value stands for: null (an invalid QVariant), Boolean, integer (qint64),
        // double or text (QString); nothing for arrays and maps.
        std::optional<QVariant> toValue() const;
        // Whether this item is the text, byte for byte (ASCII).
        bool equals(QLatin1StringView text) const;

    private:
        friend class CborMessage;
        Item() = default;
        Item(QByteArrayView bytes, qsizetype pos);
        // Where the item after this one starts.
        qsizetype end() const;

        QByteArrayView m_bytes;
        qsizetype m_pos = 0;     // of the head
        qsizetype m_content = 0; // of what follows the head
        quint64 m_argument = 0;  // the head's number: a length, a count or the value
        Kind m_kind = Kind::Null;
        quint8 m_info = 0;
    };

    // Walks the bytes; the rest of the message may be read only when ok(). The bytes are kept
    // as a view: they must outlive the message.
    explicit CborMessage(QByteArrayView bytes);

    bool ok() const { return m_ok; }
    ErrorCode error() const { return m_error; }
    const QString& errorText() const { return m_errorText; }

    const Item& root() const { return m_root; }
    // The value of the first entry of the root map whose key is the text key; nothing when the
    // root is not a map or has no such entry.
    std::optional<Item> field(QLatin1StringView key) const;

private:
    // Where the root map's entries lie, listed once: a message's fields are looked up by key
    // several times. A frame is far below 4 GiB.
    struct Entry {
        quint32 key = 0;
        quint32 value = 0;
    };

    Item m_root;
    std::array<Entry, MaxMapEntries> m_entries;
    qsizetype m_entryCount = 0;
    bool m_ok = false;
    ErrorCode m_error = ErrorCode::MalformedMessage;
    QString m_errorText;
};

} // namespace protocol
