#pragma once

#include "SessionIdentity.h"
#include "SignInThrottle.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <optional>

class ServerLog;
class Store;

// Checks sign-ins for every session of the server. The password is checked against its stored
// hash on a small pool of worker threads (a check takes about a tenth of a second and 64 MiB), so
// the sessions served by the event loop never wait for it; the throttle then holds a failing
// peer's answer back. One and the same "no" covers an unknown user, a wrong password and an
// inactive user.
class SignInService : public QObject {
    Q_OBJECT
public:
    // Checks running at the same time; bounds the memory the hashes take.
    static constexpr int kMaxParallelChecks = 2;

    SignInService(Store& store, const ServerLog& log, const SignInThrottle::Settings& throttle = {},
                  QObject* parent = nullptr);
    ~SignInService() override;

    using Done = std::function<void(std::optional<SessionIdentity>)>;
    // Starts a check; done runs later on this object's thread with the identity, or nullopt for
    // "no", unless context is gone by then. Throws ServerError when the store cannot be read.
    void check(const QString& company, const QString& user, const QString& password,
               const QString& peer, int sessionNumber, QObject* context, Done done);

private:
    // Old failures are removed from the database at most this often.
    static constexpr qint64 kForgetEveryMs = 60 * 1000;

    // Where every server on the database counts failures together, this one's count there too.
    void shareOutcome(const QString& userKey, const QString& peer, bool succeeded);
    void answer(const QString& userKey, const QString& peer, int sessionNumber,
                std::optional<SessionIdentity> identity, qint64 answerAtMs,
                const QPointer<QObject>& context, const Done& done);

    Store& m_store;
    const ServerLog& m_log;
    SignInThrottle m_throttle;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastForgetting;
    QThreadPool m_pool;
};
