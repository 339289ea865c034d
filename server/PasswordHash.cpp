#include "PasswordHash.h"

#include "ServerError.h"

#include <QRandomGenerator>

#include <sodium.h>

namespace PasswordHash {

namespace {

bool ready() {
    // sodium_init() is safe to call more than once and from several threads.
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

QByteArray make(const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (!ready() || crypto_pwhash_str(out, utf8.constData(), static_cast<quint64>(utf8.size()),
                                      crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                      crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw ServerError(ServerErrorNumber::Store,
                          QStringLiteral("store: a password hash could not be made"));
    }
    return QByteArray(out);
}

bool verify(const QByteArray& hash, const QString& password) {
    if (!ready() || hash.size() >= crypto_pwhash_STRBYTES ||
        !looksLikeHash(QString::fromLatin1(hash))) {
        return false;
    }
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<quint64>(utf8.size())) == 0;
}

bool looksLikeHash(const QString& text) {
    return text.startsWith(QLatin1String("$argon2id$v="));
}

const QByteArray& decoy() {
    static const QByteArray hash = [] {
        QByteArray random(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()),
                                              random.size() / 4);
        return make(QString::fromLatin1(random.toBase64()));
    }();
    return hash;
}

} // namespace PasswordHash
