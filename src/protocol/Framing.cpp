#include "protocol/Framing.h"

#include <QtEndian>

namespace protocol {

QByteArray encodeFrame(QByteArrayView payload) {
    QByteArray frame;
    frame.resize(4);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), frame.data());
    frame.append(payload.data(), payload.size());
    return frame;
}

} // namespace protocol
