#include "protocol/ErrorCodes.h"

namespace protocol {

bool endsSession(ErrorCode code) {
    return endsSession(errorNumber(code));
}

bool endsSession(int number) {
    return (number >= 1001 && number <= 1099 && number != errorNumber(ErrorCode::UnknownHandle)) ||
           number == errorNumber(ErrorCode::AccountChanged);
}

QString errorDescription(ErrorCode code) {
    switch (code) {
    case ErrorCode::BadFrameLength:
        return QStringLiteral("frame length out of range");
    case ErrorCode::MalformedMessage:
        return QStringLiteral("malformed message");
    case ErrorCode::UnsupportedVersion:
        return QStringLiteral("unsupported protocol version");
    case ErrorCode::UnknownNamespace:
        return QStringLiteral("unknown namespace");
    case ErrorCode::HandshakeRequired:
        return QStringLiteral("handshake required as the first and only first request");
    case ErrorCode::UnknownOperation:
        return QStringLiteral("unknown operation");
    case ErrorCode::TooManyOpenObjects:
        return QStringLiteral("too many open objects");
    case ErrorCode::TooManyArguments:
        return QStringLiteral("too many arguments");
    case ErrorCode::TextTooLong:
        return QStringLiteral("text too long");
    case ErrorCode::UnknownHandle:
        return QStringLiteral("unknown handle");
    case ErrorCode::TooDeep:
        return QStringLiteral("message nested too deeply or map too large");
    case ErrorCode::ServerFull:
        return QStringLiteral("no free place on the server");
    case ErrorCode::NoSuchObject:
        return QStringLiteral("no such object");
    case ErrorCode::NoSuchClass:
        return QStringLiteral("no such class");
    case ErrorCode::NoSuchProperty:
        return QStringLiteral("no such property");
    case ErrorCode::NoSuchMethod:
        return QStringLiteral("no such method");
    case ErrorCode::WrongArguments:
        return QStringLiteral("wrong arguments");
    case ErrorCode::CommandSyntax:
        return QStringLiteral("command syntax error");
    case ErrorCode::UnknownRoutine:
        return QStringLiteral("unknown routine");
    case ErrorCode::StoreFailure:
        return QStringLiteral("store failure");
    case ErrorCode::SignInRequired:
        return QStringLiteral("sign in first");
    case ErrorCode::NotPermitted:
        return QStringLiteral("not permitted for this user");
    case ErrorCode::StoreBusy:
        return QStringLiteral("database busy");
    case ErrorCode::AccountChanged:
        return QStringLiteral("account changed");
    case ErrorCode::NotConnected:
        return QStringLiteral("not connected");
    case ErrorCode::Timeout:
        return QStringLiteral("no reply within the request timeout");
    case ErrorCode::ConnectionLost:
        return QStringLiteral("connection lost");
    case ErrorCode::BadReply:
        return QStringLiteral("invalid reply from the server");
    case ErrorCode::MalformedConnectString:
        return QStringLiteral("malformed connection string");
    case ErrorCode::ObjectClosed:
        return QStringLiteral("object closed");
    case ErrorCode::UnsupportedValue:
        return QStringLiteral("value of a kind the server cannot take");
    case ErrorCode::Busy:
        return QStringLiteral("another call of this connection is still waiting for its reply");
    }
    return QStringLiteral("error %1").arg(errorNumber(code));
}

} // namespace protocol
