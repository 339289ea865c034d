#pragma once

#include <QString>

// Every error number that travels in a reply or that the client raises as a CacheError.
//
// 1001-1099  protocol and session errors. The server sends the error reply and then ends the
//            session (except UnknownHandle, which leaves the session going).
// 5001-5099  errors of the object layer; the session goes on (except AccountChanged).
// 9001-9099  raised by the client itself; these numbers never travel on the wire.
namespace protocol {

enum class ErrorCode : int {
    // A frame header declares length 0 or more than MaxFrameBytes.
    BadFrameLength = 1001,
    // The payload is not one well-formed CBOR item of the allowed kinds, or the message lacks a
    // required key or has one of the wrong type.
    MalformedMessage = 1002,
    // The handshake names a protocol version this side does not speak.
    UnsupportedVersion = 1003,
    // The handshake names a namespace the server does not serve.
    UnknownNamespace = 1004,
    // The first request of a session is not a handshake, or a second handshake follows.
    HandshakeRequired = 1005,
    // The "op" text is not one of the known operations.
    UnknownOperation = 1006,
    // Opening one more object would exceed MaxOpenObjects.
    TooManyOpenObjects = 1007,
    // A call carries more than MaxArguments arguments.
    TooManyArguments = 1008,
    // A text is longer than MaxTextBytes.
    TextTooLong = 1009,
    // The handle is not open in this session (never opened, or closed already).
    UnknownHandle = 1010,
    // The CBOR nests deeper than MaxCborDepth, or a map has more than MaxMapEntries entries.
    TooDeep = 1011,
    // The server has no free place for this connection (all sessions, or all of the peer
    // address's, are taken); sent instead of the handshake's reply, then the connection closes.
    ServerFull = 1012,

    // No object of that class has that id.
    NoSuchObject = 5001,
    // No such class.
    NoSuchClass = 5002,
    // The object has no property of that name.
    NoSuchProperty = 5003,
    // The object or class has no method of that name.
    NoSuchMethod = 5004,
    // The method was called with the wrong number or kind of arguments.
    WrongArguments = 5005,
    // A server command line is not valid command language; nothing of it ran.
    CommandSyntax = 5006,
    // A server command names a routine the server does not know; nothing of it ran.
    UnknownRoutine = 5007,
    // The server's store failed.
    StoreFailure = 5008,
    // The session has not signed in: before a sign-in only hello, signin and bye are answered.
    SignInRequired = 5009,
    // The signed-in user may not do this: a stored secret, another company's data or work
    // context, telemetry below rights group 8.
    NotPermitted = 5010,
    // Another connection holds a lock the request needs for longer than the server waits;
    // nothing was changed, the same request may succeed a moment later.
    StoreBusy = 5011,
    // The signed-in user's account changed (password, active flag, rights lowered, removed):
    // the server ends the session after this reply.
    AccountChanged = 5053,

    // The factory is not connected.
    NotConnected = 9001,
    // No complete reply within the request timeout; the connection was dropped.
    Timeout = 9002,
    // The connection broke during a call.
    ConnectionLost = 9003,
    // The server sent something that is not a valid reply to the request.
    BadReply = 9004,
    // The connection string is not "cn_iptcp:HOST[PORT]:NAMESPACE".
    MalformedConnectString = 9005,
    // The object was closed with SYS_Close already.
    ObjectClosed = 9006,
    // A value of a kind the wire cannot carry (only null, Boolean, integer, double, text).
    UnsupportedValue = 9007,
    // A call was made while another call of the same connection still waits for its reply
    // (from a window event handled during that wait); nothing was sent.
    Busy = 9008,
};

constexpr int errorNumber(ErrorCode code) {
    return static_cast<int>(code);
}

// True for the errors after which the server ends the session.
bool endsSession(ErrorCode code);
bool endsSession(int number);

// A short English description for log lines and for replies that need no more detail.
QString errorDescription(ErrorCode code);

} // namespace protocol
