#pragma once

#include <QString>

// The error numbers the client raises itself (the server's own numbers are far apart from them).
namespace ClientErrors {
constexpr int InvalidSignInData = 30001;
constexpr int ServerUnreachable = 30002;
constexpr int ObjectNotFound = 30003;
// The server refused the sign-in of a new connection; the connection was dropped.
constexpr int SignInRefused = 30004;
} // namespace ClientErrors

// Builds the server command that tells the server process for which company, branch and user
// it works: S FIRMA=<company>,FIL=<branch>,PERSONAL="<user code>".
// Company and branch go in bare, so they must be plain digit strings; every double quote of the
// user code is doubled so it cannot leave its string. Throws CacheError (InvalidSignInData) with
// a German text for anything else, so nothing is sent.
QString buildWorkContextCommand(const QString& firma, const QString& filiale,
                                const QString& personalcode);

// True for a non-empty text of the ASCII digits 0-9 only.
bool isPlainDigitString(const QString& text);
