#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace protocol {

// One frame on the wire: the payload length as 4-byte big-endian, then the payload.
// The caller keeps the payload within MaxFrameBytes (the message encoders do).
QByteArray encodeFrame(QByteArrayView payload);

} // namespace protocol
