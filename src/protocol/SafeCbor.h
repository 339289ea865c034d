#pragma once

#include "protocol/Outcome.h"

#include <QByteArrayView>
#include <QCborValue>

namespace protocol {

// Decodes one CBOR item from untrusted bytes. Before Qt sees the bytes, a walker checks that they
// hold exactly one item in which every declared length and count fits the bytes that remain,
// nesting stays within MaxCborDepth, maps within MaxMapEntries, arrays within MaxArguments, texts
// within MaxTextBytes, and only the kinds messages use occur: unsigned and negative integers
// within 64-bit signed range, texts, arrays, maps, false, true, null, and half/single/double
// floats — all of definite length. Byte strings, tags, undefined, other simple values and
// indefinite lengths are refused. So the memory Qt allocates is bounded by the input's size.
Outcome<QCborValue> safeCborDecode(QByteArrayView bytes);

} // namespace protocol
