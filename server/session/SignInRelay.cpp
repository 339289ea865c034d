#include "SignInRelay.h"

#include "PasswordHash.h"

#include <QMutex>
#include <QObject>
#include <QThread>

struct SignInRelay::Link {
    // Null once the session is gone; held locked while an answer is posted to it, so that the
    // session cannot go in between.
    QMutex mutex;
    QObject* session = nullptr;
    // Stands for the session on the service's thread (only touched there): the service drops
    // a check when it goes.
    std::unique_ptr<QObject> standIn;
};

namespace {

// Runs the service's check and tells answer whether it came within the call.
void checkNotingAtOnce(SignInService& service, SignInService::Attempt attempt, QObject* owner,
                       SignInRelay::Done answer) {
    auto checking = std::make_shared<bool>(true);
    service.check(std::move(attempt), owner,
                  [checking, answer = std::move(answer)](SignInService::Outcome outcome) {
                      answer(std::move(outcome), *checking);
                  });
    *checking = false;
}

// An attempt on its way to the service's thread: wiped also when the post is dropped unrun
// (the server stopping first).
struct PostedAttempt {
    SignInService::Attempt attempt;
    ~PostedAttempt() {
        PasswordHash::wipe(attempt.password);
        PasswordHash::wipe(attempt.resume);
    }
};

} // namespace

SignInRelay::SignInRelay(SignInService& service, QObject* session)
    : m_service(service)
    , m_session(session)
    , m_direct(service.thread() == session->thread())
    , m_link(std::make_shared<Link>()) {
    m_link->session = session;
}

SignInRelay::~SignInRelay() {
    if (m_direct) {
        return; // the service sees the session itself go
    }
    {
        const QMutexLocker lock(&m_link->mutex);
        m_link->session = nullptr;
    }
    QMetaObject::invokeMethod(
        &m_service, [link = m_link] { link->standIn.reset(); }, Qt::QueuedConnection);
}

void SignInRelay::check(SignInService::Attempt attempt, Done done) {
    if (m_direct) {
        checkNotingAtOnce(m_service, std::move(attempt), m_session, std::move(done));
        return;
    }
    auto held = std::make_shared<PostedAttempt>();
    held->attempt = std::move(attempt);
    auto posted = [service = &m_service, link = m_link, held, done = std::move(done)] {
        {
            const QMutexLocker lock(&link->mutex);
            if (!link->session) {
                return; // gone before its check was queued; held wipes the attempt
            }
        }
        link->standIn = std::make_unique<QObject>();
        checkNotingAtOnce(*service, std::move(held->attempt), link->standIn.get(),
                          [link, done](SignInService::Outcome outcome, bool atOnce) {
                              const QMutexLocker lock(&link->mutex);
                              if (link->session) {
                                  QMetaObject::invokeMethod(
                                      link->session,
                                      [done, outcome = std::move(outcome), atOnce]() mutable {
                                          done(std::move(outcome), atOnce);
                                      },
                                      Qt::QueuedConnection);
                              }
                          });
    };
    QMetaObject::invokeMethod(&m_service, std::move(posted), Qt::QueuedConnection);
}

void SignInRelay::withdraw() {
    if (m_direct) {
        m_service.withdraw(m_session);
        return;
    }
    QMetaObject::invokeMethod(
        &m_service,
        [service = &m_service, link = m_link] {
            if (link->standIn) {
                service->withdraw(link->standIn.get());
            }
        },
        Qt::QueuedConnection);
}
