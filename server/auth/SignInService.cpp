#include "SignInService.h"

#include "PasswordHash.h"
#include "ServerError.h"
#include "ServerLog.h"
#include "Store.h"
#include "ValueText.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr qsizetype kMaxLoggedUserChars = 64;

// A peer's user code as it may stand in a log line: short, and without line breaks or other
// control characters that could forge a line of their own.
QString loggable(const QString& text) {
    const QString shown = escapedControls(text.left(kMaxLoggedUserChars));
    return text.size() > kMaxLoggedUserChars ? shown + QStringLiteral("...") : shown;
}

// The names of the throttle's keys where every server on the database counts them.
QString sharedUserName(const QString& userKey) {
    return QStringLiteral("user:") + userKey.left(180);
}

QString sharedAddressName(const QString& peer) {
    return QStringLiteral("address:") + peer.left(180);
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// Texts no user can have (the admin commands refuse them) never reach a statement: a NUL in a
// user code would break one on PostgreSQL.
std::optional<qint64> wellFormedCompany(const SignInService::Attempt& attempt) {
    if (attempt.user.isEmpty() || attempt.user.size() > SignInService::kMaxUserChars ||
        attempt.company.size() > SignInService::kMaxCompanyChars ||
        hasControlCharacter(attempt.user) || hasControlCharacter(attempt.company)) {
        return std::nullopt;
    }
    return wholeNumber(attempt.company);
}

} // namespace

SignInService::Pending::~Pending() {
    PasswordHash::wipe(attempt.password);
    PasswordHash::wipe(attempt.resume);
}

SignInService::SignInService(Store& store, const ServerLog& log,
                             const SignInThrottle::Settings& throttle, int parallelChecks,
                             QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_throttle(throttle)
    , m_tokens(store)
    , m_parallelChecks(std::max(1, parallelChecks)) {
    m_clock.start();
    m_pool.setMaxThreadCount(m_parallelChecks);
}

SignInService::~SignInService() {
    // Only the checks running now are waited for (a fraction of a second each): the queue is
    // this object's own and goes with it, its passwords wiped.
    m_pool.waitForDone();
}

void SignInService::check(Attempt attempt, QObject* context, Done done) {
    auto pending = std::make_shared<Pending>();
    pending->id = ++m_lastId;
    pending->attempt = std::move(attempt);
    pending->context = context;
    pending->done = std::move(done);
    const QString& address = pending->attempt.addressKey;
    if (m_perAddress.value(address) >= kMaxQueuedPerAddress ||
        (m_checksOpen >= kMaxQueued && !makeRoomFor(address))) {
        deliver(*pending, busy());
        return;
    }
    pending->firma = wellFormedCompany(pending->attempt);
    if (pending->firma) {
        pending->userKey = QStringLiteral("%1|%2").arg(*pending->firma).arg(pending->attempt.user);
        // A token proves as much as the password: answered at once, no hash, no throttle.
        if (!pending->attempt.resume.isEmpty() && resumed(*pending)) {
            return;
        }
    }
    try {
        adoptShared(*pending);
    } catch (const ServerError& error) {
        // This server's own counts still pace the attempt; a database that cannot be read
        // must not keep the real user out.
        m_log.write(QStringLiteral("session %1: sign-in failures of other servers not read: "
                                   "error %2: %3")
                        .arg(pending->attempt.sessionNumber)
                        .arg(error.number())
                        .arg(error.text()));
    }
    // Counted now, as it arrives: attempts sent in parallel gain nothing.
    pending->reservation = m_throttle.reserve(pending->userKey, address, m_clock.elapsed());
    if (pending->reservation.refused) {
        deliver(*pending, busy());
        return;
    }
    shareSpacing(*pending);
    ++m_perAddress[address];
    ++m_checksOpen;
    pending->checkOpen = true;
    auto& queue = m_queues[address];
    if (queue.empty()) {
        m_turns.push_back(address);
    }
    queue.push_back(pending);
    m_pendings.insert(pending->id, pending);
    const quint64 id = pending->id;
    pending->gone = connect(context, &QObject::destroyed, this, [this, id] { sessionGone(id); });
    startChecks();
}

bool SignInService::makeRoomFor(const QString& address) {
    // The queue is full: the address with the most waiting gives up its newest check, so that
    // an address with fewer (the real user's, with none) still gets its turn.
    const int own = m_perAddress.value(address);
    QString fullest;
    qsizetype most = 0;
    for (auto it = m_queues.cbegin(); it != m_queues.cend(); ++it) {
        if (static_cast<qsizetype>(it->size()) > most) {
            most = static_cast<qsizetype>(it->size());
            fullest = it.key();
        }
    }
    if (most <= own + 1) {
        return false;
    }
    const PendingPtr evicted = m_queues[fullest].back();
    removeFromQueue(*evicted);
    closeCheck(*evicted);
    deliver(*evicted, busy());
    finish(evicted, false);
    return true;
}

void SignInService::removeFromQueue(const Pending& pending) {
    const QString& address = pending.attempt.addressKey;
    const auto queue = m_queues.find(address);
    if (queue == m_queues.end()) {
        return;
    }
    queue->erase(std::remove_if(queue->begin(), queue->end(),
                                [&pending](const PendingPtr& p) { return p.get() == &pending; }),
                 queue->end());
    if (queue->empty()) {
        m_queues.erase(queue);
        m_turns.erase(std::remove(m_turns.begin(), m_turns.end(), address), m_turns.end());
    }
}

SignInService::Outcome SignInService::busy() {
    return Outcome{std::nullopt, ServerErrorNumber::SignInBusy,
                   QStringLiteral("too many sign-ins are waiting; try again"), QString()};
}

void SignInService::startChecks() {
    while (m_running < m_parallelChecks && !m_turns.empty()) {
        // An address that has not failed goes first: the real user is not queued behind the
        // guessers. Otherwise the addresses take turns.
        const qint64 now = m_clock.elapsed();
        auto turn = std::find_if(m_turns.begin(), m_turns.end(), [&](const QString& address) {
            return m_throttle.failures(SignInThrottle::Kind::Address, address, now) == 0;
        });
        if (turn == m_turns.end()) {
            turn = m_turns.begin();
        }
        const QString address = *turn;
        m_turns.erase(turn);
        const auto queue = m_queues.find(address);
        if (queue == m_queues.end() || queue->empty()) {
            continue;
        }
        const PendingPtr next = queue->front();
        queue->pop_front();
        if (queue->empty()) {
            m_queues.erase(queue);
        } else {
            m_turns.push_back(address); // the other addresses' turn first
        }
        startCheck(next);
    }
}

void SignInService::startCheck(const PendingPtr& pending) {
    pending->state = State::Checking;
    try {
        if (pending->firma) {
            readAccount(*pending);
        }
    } catch (const ServerError& error) {
        m_log.write(QStringLiteral("session %1: sign-in not checked: error %2: %3")
                        .arg(pending->attempt.sessionNumber)
                        .arg(error.number())
                        .arg(error.text()));
        closeCheck(*pending);
        deliver(*pending, storeFailure(error.number()));
        finish(pending, true);
        return;
    }
    const std::optional<UserRecord>& record = pending->account;
    std::optional<SignedInUser> identity;
    QByteArray hash;
    if (record && record->aktiv == QLatin1String("J")) {
        identity =
            SignedInUser{record->firma, record->code, SignedInUser::rightsGroupFrom(record->berGrp),
                         record->passwordHash};
        hash = record->passwordHash.toLatin1();
    }
    if (!pending->firma) {
        // Nothing that could match: no hash to compute.
        checked(pending->id, std::nullopt);
        return;
    }
    ++m_running;
    // The worker takes the only copy of the password and wipes it when it is checked.
    m_pool.start([this, id = pending->id, hash, identity,
                  password = std::exchange(pending->attempt.password, QString())]() mutable {
        // Unknown and inactive users are checked against a decoy, so that no answer comes
        // sooner than another and tells which user codes exist.
        const bool matches =
            PasswordHash::verify(hash.isEmpty() ? PasswordHash::decoy() : hash, password);
        PasswordHash::wipe(password);
        if (!matches || hash.isEmpty()) {
            identity.reset();
        }
        QMetaObject::invokeMethod(
            this,
            [this, id, identity] {
                --m_running;
                checked(id, identity);
                startChecks();
            },
            Qt::QueuedConnection);
    });
}

void SignInService::checked(quint64 id, std::optional<SignedInUser> identity) {
    const PendingPtr pending = m_pendings.value(id);
    if (!pending) {
        return;
    }
    closeCheck(*pending);
    const qint64 now = m_clock.elapsed();
    // Counted whether anybody waits for the answer or not.
    const qint64 answerAt =
        m_throttle.recordOutcome(pending->reservation, identity.has_value(), now);
    shareOutcome(*pending, identity.has_value());
    const int session = pending->attempt.sessionNumber;
    if (identity) {
        keepAccount(*pending, true);
        m_log.write(QStringLiteral("session %1: signed in as %2 of company %3")
                        .arg(session)
                        .arg(loggable(identity->code))
                        .arg(identity->firma));
    } else {
        const QString user = pending->firma
                                 ? pending->userKey
                                 : QStringLiteral("%1|%2").arg(pending->attempt.company.left(20),
                                                               pending->attempt.user);
        m_log.write(
            QStringLiteral("session %1: sign-in refused for user \"%2\" from %3 (%4 "
                           "failures for this user)")
                .arg(session)
                .arg(loggable(user))
                .arg(pending->attempt.addressKey)
                .arg(m_throttle.failures(SignInThrottle::Kind::User, pending->userKey, now)));
    }
    if (!pending->context) {
        finish(pending, false);
        return;
    }
    pending->state = State::Answering;
    if (answerAt <= now) {
        answer(id, identity);
        return;
    }
    pending->answerTimer = std::make_unique<QTimer>();
    pending->answerTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early: a guess would be answered before its time.
    pending->answerTimer->setTimerType(Qt::PreciseTimer);
    connect(pending->answerTimer.get(), &QTimer::timeout, this,
            [this, id, identity] { answer(id, identity); });
    pending->answerTimer->start(static_cast<int>(std::min<qint64>(answerAt - now, 1 << 30)));
}

void SignInService::answer(quint64 id, std::optional<SignedInUser> identity) {
    const PendingPtr pending = m_pendings.value(id);
    if (!pending) {
        return;
    }
    const bool delivered = !pending->context.isNull();
    finish(pending, delivered);
    QString token;
    if (identity && delivered && pending->account) {
        token = nextToken(*pending->account, pending->attempt.sessionNumber);
    }
    deliver(*pending, Outcome{std::move(identity), 0, QString(), token});
}

void SignInService::sessionGone(quint64 id) {
    const PendingPtr pending = m_pendings.value(id);
    if (!pending || pending->state == State::Checking) {
        return; // a running check is counted when it ends, then dropped
    }
    if (pending->state == State::Queued) {
        removeFromQueue(*pending);
        closeCheck(*pending);
        PasswordHash::wipe(pending->attempt.password); // dropped before it ran
    }
    finish(pending, false);
}

void SignInService::withdraw(QObject* context) {
    for (const PendingPtr& pending : m_pendings.values()) {
        if (pending->context != context || pending->state != State::Queued) {
            continue;
        }
        removeFromQueue(*pending);
        closeCheck(*pending);
        deliver(*pending, Outcome{std::nullopt, ServerErrorNumber::SignInBusy,
                                  QStringLiteral("the connection ended before the sign-in was "
                                                 "checked; sign in again"),
                                  QString()});
        finish(pending, false);
    }
}

void SignInService::closeCheck(Pending& pending) {
    if (pending.checkOpen) {
        pending.checkOpen = false;
        --m_checksOpen;
        if (--m_perAddress[pending.attempt.addressKey] <= 0) {
            m_perAddress.remove(pending.attempt.addressKey);
        }
    }
}

void SignInService::finish(const PendingPtr& pending, bool answered) {
    m_throttle.finish(pending->reservation, answered, m_clock.elapsed());
    disconnect(pending->gone);
    pending->answerTimer.reset();
    pending->state = State::Done;
    m_pendings.remove(pending->id);
}

void SignInService::deliver(Pending& pending, Outcome outcome) {
    PasswordHash::wipe(pending.attempt.password);
    if (pending.context && pending.done) {
        const Done done = std::move(pending.done);
        pending.done = nullptr;
        done(std::move(outcome));
    }
}

SignInService::Outcome SignInService::storeFailure(int number) {
    // Which statement failed on which database is for the log, not for a peer.
    return number == ServerErrorNumber::StoreBusy
               ? Outcome{std::nullopt, number,
                         QStringLiteral("the server's database is busy; try again"), QString()}
               : Outcome{std::nullopt, ServerErrorNumber::Store,
                         QStringLiteral("the server's database failed; try again"), QString()};
}

void SignInService::adoptShared(const Pending& pending) {
    if (!m_store.sharesSignInFailures()) {
        return;
    }
    const QString address = sharedAddressName(pending.attempt.addressKey);
    const QString user = pending.firma ? sharedUserName(pending.userKey) : address;
    const QHash<QString, int> shared =
        m_store.recentSignInFailures(user, address, m_throttle.forgetAfterMs());
    const qint64 now = m_clock.elapsed();
    if (pending.firma) {
        m_throttle.adoptFailures(SignInThrottle::Kind::User, pending.userKey, shared.value(user),
                                 now);
    }
    m_throttle.adoptFailures(SignInThrottle::Kind::Address, pending.attempt.addressKey,
                             shared.value(address), now);
}

void SignInService::shareSpacing(Pending& pending) {
    // Only a user already being guessed: the real user's first try costs no statement.
    if (!m_store.sharesSignInFailures() || !pending.firma ||
        pending.reservation.userSpacingMs == 0) {
        return;
    }
    try {
        const qint64 wait = m_store.reserveSignInSlot(sharedUserName(pending.userKey),
                                                      pending.reservation.userSpacingMs);
        SignInThrottle::answerNoEarlierThan(pending.reservation, m_clock.elapsed() + wait);
    } catch (const ServerError& error) {
        // This server still spaces its own answers.
        m_log.write(QStringLiteral("sign-in answer slot not shared: error %1: %2")
                        .arg(error.number())
                        .arg(error.text()));
    }
}

void SignInService::shareOutcome(const Pending& pending, bool succeeded) {
    if (!m_store.sharesSignInFailures()) {
        return;
    }
    try {
        if (succeeded) {
            m_store.clearSignInFailures(sharedUserName(pending.userKey));
            return;
        }
        if (pending.firma) {
            m_store.addSignInFailure(sharedUserName(pending.userKey), m_throttle.forgetAfterMs());
        }
        m_store.addSignInFailure(sharedAddressName(pending.attempt.addressKey),
                                 m_throttle.forgetAfterMs());
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

void SignInService::readAccount(Pending& pending) {
    try {
        pending.account = m_store.user(*pending.firma, pending.attempt.user);
        pending.accountKept = false;
        keepAccount(pending, false);
    } catch (const ServerError& error) {
        const auto kept = m_keptAccounts.constFind(pending.userKey);
        if (kept == m_keptAccounts.cend()) {
            throw;
        }
        // Nothing can have changed the account through a database nobody can read; what was
        // changed by hand just before is seen again once it answers.
        m_log.write(QStringLiteral("session %1: account of %2 not read (error %3: %4); checked "
                                   "against the one read last")
                        .arg(pending.attempt.sessionNumber)
                        .arg(loggable(pending.userKey))
                        .arg(error.number())
                        .arg(error.text()));
        pending.account = *kept;
        pending.accountKept = true;
    }
}

void SignInService::keepAccount(const Pending& pending, bool verified) {
    if (pending.accountKept) {
        return;
    }
    const std::optional<UserRecord>& record = pending.account;
    if (!record || record->aktiv != QLatin1String("J")) {
        m_keptAccounts.remove(pending.userKey);
        return;
    }
    if (!verified && !m_keptAccounts.contains(pending.userKey)) {
        return; // only users who proved their password are kept
    }
    if (!m_keptAccounts.contains(pending.userKey) && m_keptAccounts.size() >= kMaxKeptAccounts) {
        m_keptAccounts.erase(m_keptAccounts.begin());
    }
    m_keptAccounts.insert(pending.userKey, *record);
}

bool SignInService::resumed(Pending& pending) {
    const int session = pending.attempt.sessionNumber;
    std::optional<UserRecord> account;
    try {
        account = m_tokens.redeem(*pending.firma, pending.attempt.user, pending.attempt.resume);
    } catch (const ServerError& error) {
        m_log.write(QStringLiteral("session %1: resume token not checked: error %2: %3")
                        .arg(session)
                        .arg(error.number())
                        .arg(error.text()));
    }
    PasswordHash::wipe(pending.attempt.resume);
    if (!account) {
        return false;
    }
    m_log.write(QStringLiteral("session %1: signed in again as %2 of company %3 (resume token)")
                    .arg(session)
                    .arg(loggable(account->code))
                    .arg(account->firma));
    SignedInUser identity{account->firma, account->code,
                          SignedInUser::rightsGroupFrom(account->berGrp), account->passwordHash};
    const QString token = nextToken(*account, session);
    deliver(pending, Outcome{std::move(identity), 0, QString(), token});
    return true;
}

QString SignInService::nextToken(const UserRecord& account, int session) {
    try {
        return m_tokens.issue(account);
    } catch (const ServerError& error) {
        // The sign-in stands; the next one checks the password.
        m_log.write(QStringLiteral("session %1: no resume token: error %2: %3")
                        .arg(session)
                        .arg(error.number())
                        .arg(error.text()));
        return {};
    }
}
