#pragma once

#include "SignInService.h"

#include <memory>

class QObject;

// A session's way to the server's one SignInService, whichever thread serves the session: on the
// service's own thread the calls go straight through; from another thread they are posted to
// the service, and the answer is posted back to the session. The session must outlive nothing:
// once the relay is gone its check is dropped (as for a session that went) and no answer
// reaches it.
class SignInRelay {
public:
    SignInRelay(SignInService& service, QObject* session);
    ~SignInRelay();
    SignInRelay(const SignInRelay&) = delete;
    SignInRelay& operator=(const SignInRelay&) = delete;

    // atOnce: the service answered within check() (an attempt refused before any check), which
    // does not count as a failed sign-in.
    using Done = std::function<void(SignInService::Outcome outcome, bool atOnce)>;
    // As SignInService::check(); done runs on the session's thread.
    void check(SignInService::Attempt attempt, Done done);
    // As SignInService::withdraw().
    void withdraw();

private:
    struct Link;

    SignInService& m_service;
    QObject* m_session;
    bool m_direct;
    std::shared_ptr<Link> m_link; // shared with the calls posted to the service
};
