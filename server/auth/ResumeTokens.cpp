#include "ResumeTokens.h"

#include "SecretBytes.h"
#include "ServerError.h"
#include "Store.h"

#include <QDateTime>

namespace {

constexpr auto kTokenEncoding = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

// What a token looks like: kTokenBytes bytes in unpadded base64url. Anything else is refused
// without a look into the store.
bool wellFormed(const QString& token) {
    constexpr qsizetype kChars = (ResumeTokens::kTokenBytes * 4 + 2) / 3;
    if (token.size() != kChars) {
        return false;
    }
    for (const QChar c : token) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                             (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

} // namespace

ResumeTokens::ResumeTokens(Store& store, Clock now)
    : m_store(store)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentSecsSinceEpoch(); })) {
}

QString ResumeTokens::issue(const UserRecord& account) {
    const qint64 now = m_now();
    if (now - m_lastForgetting >= kForgetEverySeconds) {
        m_lastForgetting = now;
        m_store.forgetExpiredResumeTokens(now);
    }
    const QString token =
        QString::fromLatin1(SecretBytes::random(kTokenBytes).toBase64(kTokenEncoding));
    m_store.addResumeToken(ResumeRecord{hashOf(token), account.firma, account.code,
                                        fingerprint(account), now + kLifetimeSeconds});
    return token;
}

std::optional<UserRecord> ResumeTokens::redeem(qint64 firma, const QString& code,
                                               const QString& token) {
    if (!wellFormed(token)) {
        return std::nullopt;
    }
    const std::optional<ResumeRecord> kept = m_store.takeResumeToken(hashOf(token));
    if (!kept || kept->firma != firma || kept->code != code || kept->expires < m_now()) {
        return std::nullopt;
    }
    std::optional<UserRecord> account = m_store.user(firma, code);
    if (!account || account->aktiv != QLatin1String("J") ||
        fingerprint(*account) != kept->account) {
        return std::nullopt;
    }
    return account;
}

const QByteArray& ResumeTokens::key() {
    if (m_key.isEmpty()) {
        m_key = m_store.resumeKey();
        if (m_key.size() < 16) {
            m_key.clear();
            throw ServerError(ServerErrorNumber::Store,
                              QStringLiteral("store: no key for resume tokens"));
        }
    }
    return m_key;
}

QString ResumeTokens::hashOf(const QString& token) {
    return QString::fromLatin1(SecretBytes::keyedHash(key(), token.toLatin1()).toHex());
}

QString ResumeTokens::fingerprint(const UserRecord& account) {
    const QByteArray what = (account.passwordHash + QLatin1Char('\n') + account.berGrp +
                             QLatin1Char('\n') + account.aktiv)
                                .toUtf8();
    return QString::fromLatin1(SecretBytes::keyedHash(key(), what).toHex());
}
