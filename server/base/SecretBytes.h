#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Random secrets and their fast keyed hashes (libsodium: the system's random source, BLAKE2b).
namespace SecretBytes {

// count bytes from the system's cryptographic random source.
QByteArray random(int count);
// A 32-byte keyed hash of data; key is 16 to 64 bytes.
QByteArray keyedHash(const QByteArray& key, QByteArrayView data);

} // namespace SecretBytes
