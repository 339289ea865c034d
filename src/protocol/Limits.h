#pragma once

#include <QtGlobal>

// Hard limits of the wire protocol. Both sides check them before allocating anything; a peer that
// breaks one has its session ended with the matching error of ErrorCodes.h.
namespace protocol {

// The version a client names in its handshake; the server accepts only this one.
inline constexpr int Version = 1;

// The namespace this server family serves.
inline constexpr char DefaultNamespace[] = "LORVEX";

// A frame starts with its payload length as a 4-byte big-endian unsigned number.
inline constexpr qsizetype FrameHeaderBytes = 4;

// Longest text (UTF-8 bytes) anywhere in a message: names, ids, argument and reply values.
inline constexpr qsizetype MaxTextBytes = 1024 * 1024;

// Largest payload of one frame. A declared length above it is refused before buffering. The
// largest message a session needs is a telemetry reply, and the server refuses data that would
// make one longer than MaxTextBytes; the rest is room for the map around it.
inline constexpr qsizetype MaxFrameBytes = MaxTextBytes + 64 * 1024;

// Largest frame of a session that has not signed in: hello and signin are small.
inline constexpr qsizetype MaxFrameBytesBeforeSignIn = 4 * 1024;

// Objects and class handles one session may hold open at the same time.
inline constexpr int MaxOpenObjects = 1024;

// Arguments of one method call.
inline constexpr int MaxArguments = 32;

// Deepest nesting of CBOR arrays and maps; a message needs 2 (map, argument array).
inline constexpr int MaxCborDepth = 4;

// Entries of one CBOR map; a message needs at most 5.
inline constexpr int MaxMapEntries = 16;

} // namespace protocol
