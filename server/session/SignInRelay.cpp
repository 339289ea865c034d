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
        auto checking = std::make_shared<bool>(true);
        m_service.check(std::move(attempt), m_session,
                        [checking, done = std::move(done)](SignInService::Outcome outcome) {
                            done(std::move(outcome), *checking);
                        });
        *checking = false;
        return;
    }
    auto posted = [service = &m_service, link = m_link, attempt = std::move(attempt),
                   done = std::move(done)]() mutable {
        {
            const QMutexLocker lock(&link->mutex);
            if (!link->session) {
                PasswordHash::wipe(attempt.password); // gone before its check was queued
                return;
            }
        }
        link->standIn = std::make_unique<QObject>();
        auto checking = std::make_shared<bool>(true);
        service->check(
            std::move(attempt), link->standIn.get(),
            [link, checking, done = std::move(done)](SignInService::Outcome outcome) {
                const QMutexLocker lock(&link->mutex);
                if (link->session) {
                    QMetaObject::invokeMethod(
                        link->session,
                        [done, outcome = std::move(outcome), atOnce = *checking]() mutable {
                            done(std::move(outcome), atOnce);
                        },
                        Qt::QueuedConnection);
                }
            });
        *checking = false;
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
