#pragma once

#include <QCborValue>
#include <QVariant>

#include <optional>

namespace protocol {

// A value on the wire is null, Boolean, integer (64-bit signed), double or text. In memory it is
// a QVariant: invalid or null for null, bool, qint64, double, QString.

// The CBOR form of a value; nothing for a kind the wire cannot carry (a date, a list, an
// unsigned number above the signed range, ...).
std::optional<QCborValue> valueToCbor(const QVariant& value);

// The value of a CBOR item; nothing for any other kind of item (arrays, maps, byte strings, ...).
std::optional<QVariant> valueFromCbor(const QCborValue& item);

} // namespace protocol
