#pragma once

#include "protocol/Outcome.h"
#include "protocol/Request.h"
#include "protocol/Response.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace protocol {

// Encoding gives the CBOR payload (wrap it with encodeFrame). It fails with the error the peer
// would report when the message breaks a limit or holds a value the wire cannot carry, so a
// sender can refuse it instead of having its session ended.
Outcome<QByteArray> encodeRequest(const Request& request);
Outcome<QByteArray> encodeResponse(const Response& response);
// The whole frame of a response, header and payload, made in one buffer.
Outcome<QByteArray> encodeResponseFrame(const Response& response);

// Decoding takes one frame's payload from an untrusted peer.
Outcome<Request> decodeRequest(QByteArrayView payload);
Outcome<Response> decodeResponse(QByteArrayView payload);

} // namespace protocol
