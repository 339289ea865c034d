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
    QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const bool made =
        ready() && crypto_pwhash_str(out, utf8.constData(), static_cast<quint64>(utf8.size()),
                                     crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                     crypto_pwhash_MEMLIMIT_INTERACTIVE) == 0;
    wipe(utf8);
    if (!made) {
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
    QByteArray utf8 = password.toUtf8();
    const bool matches = crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                                  static_cast<quint64>(utf8.size())) == 0;
    wipe(utf8);
    return matches;
}

void wipe(QString& text) {
    if (text.data_ptr().isMutable() && !text.isEmpty()) {
        // Through constData: data() would first make a private copy of a shared text.
        sodium_memzero(const_cast<QChar*>(text.constData()),
                       static_cast<size_t>(text.size()) * sizeof(QChar));
    }
    text.clear();
}

void wipe(QByteArray& bytes) {
    if (bytes.data_ptr().isMutable() && !bytes.isEmpty()) {
        sodium_memzero(const_cast<char*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    }
    bytes.clear();
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
