#include "SignInService.h"

#include "PasswordHash.h"
#include "ServerError.h"
#include "ServerLog.h"
#include "Store.h"
#include "ValueText.h"

#include <QPointer>
#include <QTimer>

namespace {

constexpr qsizetype kMaxLoggedUserChars = 64;

// A peer's user code as it may stand in a log line: short, and without line breaks or other
// control characters that could forge a line of their own.
QString loggable(const QString& text) {
    QString shown = text.left(kMaxLoggedUserChars);
    for (QChar& c : shown) {
        if (!c.isPrint()) {
            c = QLatin1Char('?');
        }
    }
    return text.size() > kMaxLoggedUserChars ? shown + QStringLiteral("...") : shown;
}

// The names of the throttle's keys where every server on the database counts them.
QString sharedUserName(const QString& userKey) {
    return QStringLiteral("user:") + userKey.left(180);
}

QString sharedAddressName(const QString& peer) {
    return QStringLiteral("address:") + peer.left(180);
}

int rightsGroupOf(const QString& text) {
    const std::optional<qint64> number = wholeNumber(text);
    return number && *number >= 0 && *number <= 1000 ? static_cast<int>(*number) : -1;
}

} // namespace

SignInService::SignInService(Store& store, const ServerLog& log,
                             const SignInThrottle::Settings& throttle, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_throttle(throttle) {
    m_clock.start();
    m_pool.setMaxThreadCount(kMaxParallelChecks);
}

SignInService::~SignInService() {
    // Answers still queued for this object are dropped with it; the workers must end first.
    m_pool.waitForDone();
}

void SignInService::check(const QString& company, const QString& user, const QString& password,
                          const QString& peer, int sessionNumber, QObject* context, Done done) {
    const std::optional<qint64> firma = wholeNumber(company);
    const QString userKey =
        QStringLiteral("%1|%2").arg(firma ? QString::number(*firma) : company, user);
    if (m_store.sharesSignInFailures()) {
        const QHash<QString, int> shared = m_store.recentSignInFailures(
            sharedUserName(userKey), sharedAddressName(peer), m_throttle.forgetAfterMs());
        m_throttle.adoptFailures(userKey, shared.value(sharedUserName(userKey)), m_clock.elapsed());
        m_throttle.adoptFailures(peer, shared.value(sharedAddressName(peer)), m_clock.elapsed());
    }
    const qint64 answerAt = m_throttle.reserve(userKey, peer, m_clock.elapsed());

    std::optional<UserRecord> record;
    if (firma && !user.isEmpty()) {
        record = m_store.user(*firma, user);
    }
    std::optional<SessionIdentity> identity;
    QByteArray hash;
    if (record && record->aktiv == QLatin1String("J")) {
        identity = SessionIdentity{record->firma, record->code, rightsGroupOf(record->berGrp)};
        hash = record->passwordHash.toLatin1();
    }
    const QPointer<QObject> guard(context);
    m_pool.start([this, hash, password, userKey, peer, sessionNumber, identity, answerAt, guard,
                  done = std::move(done)]() mutable {
        // Unknown and inactive users are checked against a decoy, so that no answer comes
        // sooner than another and tells which user codes exist.
        const bool matches =
            PasswordHash::verify(hash.isEmpty() ? PasswordHash::decoy() : hash, password);
        if (!matches || hash.isEmpty()) {
            identity.reset();
        }
        QMetaObject::invokeMethod(
            this,
            [this, userKey, peer, sessionNumber, identity, answerAt, guard, done] {
                answer(userKey, peer, sessionNumber, identity, answerAt, guard, done);
            },
            Qt::QueuedConnection);
    });
}

void SignInService::answer(const QString& userKey, const QString& peer, int sessionNumber,
                           std::optional<SessionIdentity> identity, qint64 answerAtMs,
                           const QPointer<QObject>& context, const Done& done) {
    const qint64 wait = answerAtMs - m_clock.elapsed();
    if (wait > 0) {
        QTimer::singleShot(wait, this, [=, this] {
            answer(userKey, peer, sessionNumber, identity, answerAtMs, context, done);
        });
        return;
    }
    const qint64 now = m_clock.elapsed();
    shareOutcome(userKey, peer, identity.has_value());
    if (identity) {
        m_throttle.recordSuccess(userKey, now);
        m_log.write(QStringLiteral("session %1: signed in as %2 of company %3")
                        .arg(sessionNumber)
                        .arg(loggable(identity->code))
                        .arg(identity->firma));
    } else {
        m_throttle.recordFailure(userKey, peer, now);
        m_log.write(QStringLiteral("session %1: sign-in refused for user \"%2\" from %3 (%4 "
                                   "failures for this user)")
                        .arg(sessionNumber)
                        .arg(loggable(userKey))
                        .arg(peer)
                        .arg(m_throttle.failures(userKey, now)));
    }
    if (context) {
        done(identity);
    }
}

void SignInService::shareOutcome(const QString& userKey, const QString& peer, bool succeeded) {
    if (!m_store.sharesSignInFailures()) {
        return;
    }
    try {
        if (succeeded) {
            m_store.clearSignInFailures(sharedUserName(userKey));
            return;
        }
        m_store.addSignInFailure(sharedUserName(userKey), m_throttle.forgetAfterMs());
        m_store.addSignInFailure(sharedAddressName(peer), m_throttle.forgetAfterMs());
        if (!m_lastForgetting.isValid() || m_lastForgetting.hasExpired(kForgetEveryMs)) {
            m_lastForgetting.start();
            m_store.forgetOldSignInFailures(m_throttle.forgetAfterMs());
        }
    } catch (const ServerError& error) {
        // The answer goes out all the same; this server still counts the failure itself.
        m_log.write(QStringLiteral("sign-in failures not shared: error %1: %2")
                        .arg(error.number())
                        .arg(error.text()));
    }
}
