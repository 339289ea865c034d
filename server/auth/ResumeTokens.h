#pragma once

#include "StoreRecords.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class Store;

// Resume tokens: a verified sign-in is handed a random token with which a new connection of the
// same monitor (after an idle drop, a restart, a move to another server on the database) signs in
// again without a password hash. The store keeps only the token's keyed hash with the user, a
// fingerprint of the account and the expiry; a token serves once (its use hands out the next)
// and is refused once the user's password, rights or active flag changed.
class ResumeTokens {
public:
    static constexpr qint64 kLifetimeSeconds = 12 * 60 * 60;
    static constexpr int kTokenBytes = 32;
    using Clock = std::function<qint64()>; // seconds since the epoch

    explicit ResumeTokens(Store& store, Clock now = {});

    // A new token for the account; throws ServerError when the store cannot keep it.
    QString issue(const UserRecord& account);
    // The account the token was issued for, when it is the user's (firma and code), has not
    // expired and the account still stands as it did; the token is used up either way. Throws
    // ServerError when the store cannot be read.
    std::optional<UserRecord> redeem(qint64 firma, const QString& code, const QString& token);

private:
    static constexpr qint64 kForgetEverySeconds = 60;
    const QByteArray& key();
    QString hashOf(const QString& token);
    QString fingerprint(const UserRecord& account);

    Store& m_store;
    Clock m_now;
    QByteArray m_key;
    qint64 m_lastForgetting = 0;
};
