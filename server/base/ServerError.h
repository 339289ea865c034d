#pragma once

#include "protocol/ErrorCodes.h"

#include <QString>

#include <stdexcept>

// Numbers of the errors a request can fail with. They travel to the client with their text and
// become the run-time error there. Those the protocol knows come from it; the two of the
// server's own variables lie in the object layer's range too, so the session goes on after them.
namespace ServerErrorNumber {
using protocol::ErrorCode;
using protocol::errorNumber;
inline constexpr int ObjectNotFound = errorNumber(ErrorCode::NoSuchObject);
inline constexpr int UnknownClass = errorNumber(ErrorCode::NoSuchClass);
inline constexpr int UnknownProperty = errorNumber(ErrorCode::NoSuchProperty);
inline constexpr int UnknownMethod = errorNumber(ErrorCode::NoSuchMethod);
inline constexpr int WrongArguments = errorNumber(ErrorCode::WrongArguments);
inline constexpr int Syntax = errorNumber(ErrorCode::CommandSyntax);
inline constexpr int UnknownRoutine = errorNumber(ErrorCode::UnknownRoutine);
inline constexpr int Store = errorNumber(ErrorCode::StoreFailure);
inline constexpr int UnknownObject = errorNumber(ErrorCode::UnknownHandle);
inline constexpr int TooManyObjects = errorNumber(ErrorCode::TooManyOpenObjects);
inline constexpr int SignInRequired = errorNumber(ErrorCode::SignInRequired);
inline constexpr int NotPermitted = errorNumber(ErrorCode::NotPermitted);
inline constexpr int StoreBusy = errorNumber(ErrorCode::StoreBusy);
// A variable read before it was set (FIRMA before the first "S FIRMA=...").
inline constexpr int Undefined = 5050;
// A session tried to hold more than ProcessVariables::kMaxVariables variables.
inline constexpr int TooManyVariables = 5051;
// A sign-in refused at once, unchecked: too many of its address (or of all) wait for their check.
inline constexpr int SignInBusy = 5052;
// The signed-in user's account changed (password, active flag, rights lowered, or removed):
// the session ends and must sign in again.
inline constexpr int AccountChanged = 5053;
} // namespace ServerErrorNumber

// A failed request: it ends that request only, the session goes on.
class ServerError : public std::runtime_error {
public:
    ServerError(int number, const QString& text);

    int number() const noexcept { return m_number; }
    const QString& text() const noexcept { return m_text; }

private:
    int m_number;
    QString m_text;
};
