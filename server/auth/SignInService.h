#pragma once

#include "ResumeTokens.h"
#include "SignInThrottle.h"
#include "SignedInUser.h"
#include "StoreRecords.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTimer;
class ServerLog;
class Store;

// Checks sign-ins for every session of the server. The password is checked against its stored
// hash on a small pool of worker threads (a check takes about a tenth of a second and 64 MiB), so
// the sessions served by the event loop never wait for it; the throttle then holds a failing
// peer's answer back. One and the same "no" covers an unknown user, a wrong password and an
// inactive user. Checks wait in a queue of their own, bounded per address and in all and served
// address by address in turn; a check whose session has gone is dropped before it runs, and the
// password is wiped as soon as it is checked or dropped. While the database cannot be read, users
// this server has verified before are checked against the account it read last.
class SignInService : public QObject {
    Q_OBJECT
public:
    // Checks running at the same time unless told otherwise; bounds the memory the hashes take.
    static constexpr int kDefaultParallelChecks = 2;
    // Checks waiting or running, of one address and of all together; more are refused at once.
    static constexpr int kMaxQueuedPerAddress = 4;
    static constexpr int kMaxQueued = 64;
    // Longest user code and company number looked up; anything longer cannot exist.
    static constexpr qsizetype kMaxUserChars = 64;
    static constexpr qsizetype kMaxCompanyChars = 18;
    // Accounts of verified users kept for sign-ins while the database cannot be read.
    static constexpr qsizetype kMaxKeptAccounts = 10000;

    SignInService(Store& store, const ServerLog& log, const SignInThrottle::Settings& throttle = {},
                  int parallelChecks = kDefaultParallelChecks, QObject* parent = nullptr);
    ~SignInService() override;

    struct Attempt {
        QString company;
        QString user;
        QString password; // wiped by the service
        QString addressKey;
        int sessionNumber = 0;
        QString resume; // a resume token, tried before the password
    };
    struct Outcome {
        std::optional<SignedInUser> identity; // empty: "no", or the error below
        int errorNumber = 0;                  // not 0: no answer, this error instead
        QString errorText;
        QString resume; // with an identity: the token that signs the user in again
    };
    using Done = std::function<void(Outcome)>;
    // Starts a check; done runs later on this object's thread (or at once, for an attempt
    // refused because too many wait), unless context is gone by then. The password of attempt is
    // taken over and wiped.
    void check(Attempt attempt, QObject* context, Done done);

    // The session of context will not read an answer (its peer's stream ended): a check of it
    // still waiting for a worker is dropped and answered at once with SignInBusy, so hung-up
    // sign-ins cost no hash; a running one is answered as usual.
    void withdraw(QObject* context);
    // Checks waiting for a worker or running.
    int openChecks() const { return m_checksOpen; }

private:
    // Old failures are removed from the database at most this often.
    static constexpr qint64 kForgetEveryMs = 60 * 1000;

    enum class State { Queued, Checking, Answering, Done };
    struct Pending {
        ~Pending();
        quint64 id = 0;
        Attempt attempt;
        std::optional<qint64> firma;       // empty: no user can have these texts
        std::optional<UserRecord> account; // as read for the check
        bool accountKept = false;          // from this server's memory, not the database
        QString userKey;
        QPointer<QObject> context;
        Done done;
        State state = State::Queued;
        bool checkOpen = false; // counted among the checks waiting or running
        SignInThrottle::Reservation reservation;
        QMetaObject::Connection gone;
        std::unique_ptr<QTimer> answerTimer;
    };
    using PendingPtr = std::shared_ptr<Pending>;

    // Refuses the newest queued check of the address with the most, if it has more than this
    // one; false when there is none to refuse.
    bool makeRoomFor(const QString& address);
    void removeFromQueue(const Pending& pending);
    static Outcome busy();
    // Starts queued checks while a worker is free, address by address in turn.
    void startChecks();
    void startCheck(const PendingPtr& pending);
    // The check is done: counted, logged, and answered when the throttle says.
    void checked(quint64 id, std::optional<SignedInUser> identity);
    void answer(quint64 id, std::optional<SignedInUser> identity);
    // A queued check is dropped; a running one is counted when it ends, then dropped.
    void sessionGone(quint64 id);
    void closeCheck(Pending& pending);
    // The attempt is over; its session gone when answered is false.
    void finish(const PendingPtr& pending, bool answered);
    // Wipes the password and hands the outcome to the session, if it is still there.
    static void deliver(Pending& pending, Outcome outcome);
    static Outcome storeFailure(int number);
    // Where every server on the database counts failures together, this one's count there too.
    void adoptShared(const Pending& pending);
    void shareOutcome(const Pending& pending, bool succeeded);
    // A guessed user's answers are spaced out across every server on the database.
    void shareSpacing(Pending& pending);
    // The account as the database has it now, or as this server read it last when the database
    // cannot be read and the user was verified here before; throws when neither is there.
    void readAccount(Pending& pending);
    // Signs the attempt in with its resume token and answers it at once; false when the token
    // does not hold (the password is checked then).
    bool resumed(Pending& pending);
    // A token for the next sign-in; empty (and logged) when the store cannot keep one.
    QString nextToken(const UserRecord& account, int session);
    void keepAccount(const Pending& pending, bool verified);

    Store& m_store;
    const ServerLog& m_log;
    SignInThrottle m_throttle;
    ResumeTokens m_tokens;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastForgetting;
    QThreadPool m_pool;
    int m_parallelChecks;
    int m_running = 0;
    quint64 m_lastId = 0;
    // Every attempt from its arrival to its answer.
    QHash<quint64, PendingPtr> m_pendings;
    // Waiting checks by address key, and the addresses that have some, in the order of their
    // turns.
    QHash<QString, std::deque<PendingPtr>> m_queues;
    std::deque<QString> m_turns;
    int m_checksOpen = 0;             // waiting or running
    QHash<QString, int> m_perAddress; // waiting or running
    // By user key: the account at this server's last read, of users verified here.
    QHash<QString, UserRecord> m_keptAccounts;
};
