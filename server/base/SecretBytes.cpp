#include "SecretBytes.h"

#include "ServerError.h"

#include <sodium.h>

namespace SecretBytes {

namespace {

void ready() {
    // sodium_init() is safe to call more than once and from several threads.
    static const bool initialised = sodium_init() >= 0;
    if (!initialised) {
        throw ServerError(ServerErrorNumber::Store, QStringLiteral("libsodium did not start"));
    }
}

} // namespace

QByteArray random(int count) {
    ready();
    QByteArray bytes(count, Qt::Uninitialized);
    randombytes_buf(bytes.data(), static_cast<size_t>(bytes.size()));
    return bytes;
}

QByteArray keyedHash(const QByteArray& key, QByteArrayView data) {
    ready();
    QByteArray hash(crypto_generichash_BYTES, Qt::Uninitialized);
    const int done = crypto_generichash(
        reinterpret_cast<unsigned char*>(hash.data()), static_cast<size_t>(hash.size()),
        reinterpret_cast<const unsigned char*>(data.data()),
        static_cast<unsigned long long>(data.size()),
        reinterpret_cast<const unsigned char*>(key.constData()), static_cast<size_t>(key.size()));
    if (done != 0) {
        throw ServerError(ServerErrorNumber::Store, QStringLiteral("a keyed hash failed"));
    }
    return hash;
}

} // namespace SecretBytes
