// Feeds arbitrary bytes through the frame reader in pieces whose sizes come from the input itself,
// and decodes every complete frame as a request and as a response. Whatever is accepted must
// encode again and decode to the same message.
#include "protocol/CborMessage.h"
#include "protocol/FrameReader.h"
#include "protocol/MessageCodec.h"

#include <QByteArrayView>
#include <QCborValue>

#include <cstdint>
#include <cstdlib>

namespace {

// What the message reader accepts, Qt's own CBOR reader must accept too: a peer written
// with any CBOR library meets the same rules.
void checkAgainstQt(QByteArrayView payload) {
    if (!protocol::CborMessage(payload).ok()) {
        return;
    }
    QCborParserError error;
    QCborValue::fromCbor(QByteArray::fromRawData(payload.data(), payload.size()), &error);
    if (error.error != QCborError::NoError) {
        std::abort();
    }
}

void checkRequest(QByteArrayView payload) {
    checkAgainstQt(payload);
    const auto request = protocol::decodeRequest(payload);
    if (!request.ok()) {
        return;
    }
    const auto again = protocol::encodeRequest(request.value());
    if (!again.ok()) {
        return; // for example a request that carries more than the limits
    }
    const auto back = protocol::decodeRequest(again.value());
    if (!back.ok() || !(back.value() == request.value())) {
        // A NaN argument never compares equal; everything else must survive the round trip.
        bool hasNaN = false;
        for (const QVariant& arg : request.value().args) {
            hasNaN = hasNaN || (arg.typeId() == QMetaType::Double && qIsNaN(arg.toDouble()));
        }
        if (!back.ok() || !hasNaN) {
            std::abort();
        }
    }
}

void checkResponse(QByteArrayView payload) {
    const auto response = protocol::decodeResponse(payload);
    if (response.ok()) {
        (void)protocol::encodeResponse(response.value());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte steers the fragment sizes: a small maximum frame size makes the length
    // checks reachable, and each fragment length is taken from the byte at its start.
    const qsizetype maxFrame = (data[0] & 0x80) ? 64 : protocol::MaxFrameBytes;
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype total = static_cast<qsizetype>(size - 1);

    protocol::FrameReader reader(maxFrame);
    qsizetype at = 0;
    while (at < total && !reader.hasError()) {
        const qsizetype piece = 1 + (static_cast<unsigned char>(bytes[at]) % 17) * (data[0] & 0x0f);
        const qsizetype take = std::min(piece, total - at);
        reader.feed(QByteArrayView(bytes + at, take));
        at += take;
        while (std::optional<QByteArray> frame = reader.takeFrame()) {
            checkRequest(*frame);
            checkResponse(*frame);
        }
    }
    // The whole input as one message, too, so the decoders see inputs without a frame header.
    checkRequest(QByteArrayView(bytes, total));
    checkResponse(QByteArrayView(bytes, total));
    return 0;
}
