#pragma once

#include <QByteArray>
#include <QString>

// Salted, deliberately slow password hashes (Argon2id, libsodium's interactive limits: about
// 64 MiB and a tenth of a second per hash). Only the hash is ever stored.
namespace PasswordHash {

// A new hash of password with a fresh salt, in libsodium's self-describing text form
// ("$argon2id$v=19$m=...,t=...,p=...$salt$hash"). Throws ServerError (Store) when the hash cannot
// be made (out of memory).
QByteArray make(const QString& password);

// Whether password matches hash; false for anything that is not a valid hash. Safe to call from
// any thread. The copy of the password it makes is wiped before it returns.
bool verify(const QByteArray& hash, const QString& password);

// Overwrites the characters of text with zeros, in every copy that shares them, and empties it:
// a password must not stay behind in freed memory. Text in read-only memory is only emptied.
void wipe(QString& text);
void wipe(QByteArray& bytes);

// Whether text has the form make() gives; used to tell a stored hash from an old clear text.
bool looksLikeHash(const QString& text);

// A valid hash of a password nobody can type, checked against in place of an unknown user so
// that such an answer takes as long as any other.
const QByteArray& decoy();

} // namespace PasswordHash
