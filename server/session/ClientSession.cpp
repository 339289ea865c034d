#include "ClientSession.h"

#include "KeyedBudget.h"
#include "MemoryBudget.h"
#include "PasswordHash.h"
#include "PeerStream.h"
#include "ServerError.h"
#include "ServerLog.h"
#include "SignInService.h"

#include "protocol/MessageCodec.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <utility>

using protocol::ErrorCode;
using protocol::Response;

namespace {

// A monotonic clock read for every request: the coarse one costs a fifth of the exact one, and
// a few milliseconds are nothing against waits of seconds.
qint64 coarseNowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

ClientSession::ClientSession(PeerStream* link, int number, const QString& addressKey,
                             RequestHandler handler, const SharedServices& services,
                             const PeerDeadlines& timeouts, QObject* parent)
    : QObject(parent)
    , m_link(link)
    , m_number(number)
    , m_handler(std::move(handler))
    , m_services(services)
    , m_signIn(services.signIn, this)
    , m_peer(addressKey)
    , m_reader(protocol::MaxFrameBytesBeforeSignIn)
    , m_timeouts(timeouts)
    , m_addressShareKey(QStringLiteral("address:") + addressKey) {
    m_link->setParent(this);
    m_signInWindow.setSingleShot(true);
    connect(&m_signInWindow, &QTimer::timeout, this, [this] {
        m_signInWindowPassed = true;
        if (!m_ending && !m_signInPending && !m_handler.state().identity()) {
            end(QStringLiteral("not signed in after %1 ms").arg(m_timeouts.signInWindowMs));
        }
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        const qint64 left = m_deadlineDueMs - coarseNowMs();
        if (left > 0) {
            m_deadline.start(static_cast<int>(left)); // moved on since the timer was set
            return;
        }
        switch (m_wait) {
        case Wait::Idle:
            end(QStringLiteral("no request for %1 ms").arg(m_timeouts.idleMs));
            break;
        case Wait::Stall:
            end(QStringLiteral("handshake or frame incomplete after %1 ms")
                    .arg(m_timeouts.stallMs));
            break;
        case Wait::Drain:
            // The replies it holds would never be taken: closed at once, and their memory with it.
            end(QStringLiteral("replies not read for %1 ms").arg(m_timeouts.stallMs));
            m_link->abort();
            break;
        }
    });
    m_link->setReadBufferSize(kSocketReadBufferBytes);
    connect(m_link, &PeerStream::readyRead, this, &ClientSession::readAvailable);
    connect(m_link, &PeerStream::bytesWritten, this, [this] {
        if (m_wait == Wait::Drain) {
            m_progress = true; // the peer reads again
        } else if (!m_reader.hasFrame() && m_link->bytesAvailable() == 0 && !m_signInAwaited &&
                   !m_link->inputEnded()) {
            // Replies sent after the pass that made them: nothing waited for them but the count.
            syncBudgets();
            return;
        }
        readAvailable();
    });
    // Room for replies again: whoever waited for it looks again. (Nobody waits for frame
    // memory: a session without room is cut.)
    connect(&m_services.replyBudget, &MemoryBudget::freed, this, [this] {
        if (!m_ending) {
            scheduleTurn();
        }
    });
    connect(m_link, &PeerStream::disconnected, this, [this] {
        if (m_finished) {
            return;
        }
        m_finished = true;
        m_deadline.stop();
        m_signInWindow.stop();
        logSuppressedErrors(QString());
        m_services.log.writeFor(m_peer,
                                QStringLiteral("session %1 ended: %2")
                                    .arg(m_number)
                                    .arg(m_endReason.isEmpty()
                                             ? QStringLiteral("connection closed by the client")
                                             : m_endReason));
        emit finished(this);
    });
}

void ClientSession::start() {
    m_services.log.writeFor(m_peer, QStringLiteral("session %1 started from %2:%3")
                                        .arg(m_number)
                                        .arg(m_link->peerAddress().toString())
                                        .arg(m_link->peerPort()));
    m_signInWindow.start(m_timeouts.signInWindowMs);
    readAvailable();
}

ClientSession::~ClientSession() {
    // The link is deleted as a child after this; its last signals must not reach a half-gone
    // session.
    m_link->disconnect(this);
    m_services.frameBudget.adjust(-m_frameBytesCounted);
    m_services.frameShares.adjust(m_addressShareKey, -m_frameBytesCounted);
    m_services.frameShares.adjust(m_countedUserKey, -m_frameBytesCounted);
    m_services.replyBudget.adjust(-m_replyBytesCounted);
}

void ClientSession::readAvailable() {
    if (m_signInAwaited && !m_signInPending) {
        noteSignInOutcome();
    }
    // Frames already read are answered first; new bytes only once they are, while the replies
    // drain. Nothing more is read while a sign-in is checked: the socket's bounded read buffer
    // holds what comes meanwhile.
    processFrames();
    while (!m_ending && !m_signInPending && !m_reader.hasFrame() && !m_reader.hasError() &&
           mayServe() && m_link->bytesAvailable() > 0) {
        const qint64 room = frameRoom();
        if (room <= 0) {
            refuseFrame();
            break;
        }
        m_reader.feed(m_link->read(std::min(kSocketReadBufferBytes, room)));
        syncBudgets();
        processFrames();
    }
    if (m_signInPending && m_link->inputEnded()) {
        // A peer that hung up right after its sign-in must not keep a password check queued.
        m_signIn.withdraw();
    }
    if (!m_ending && !m_signInPending && m_link->inputEnded() && m_link->bytesAvailable() == 0 &&
        !m_reader.hasFrame()) {
        // Everything that arrived has been answered (an unfinished frame never will be).
        end(QStringLiteral("connection closed by the client"));
    }
    writeReplies();
    updateDeadline();
}

qint64 ClientSession::frameRoom() const {
    const qint64 buffered = m_reader.bufferedBytes();
    const qint64 free = std::max<qint64>(0, kFreeFrameBytes - buffered);
    if (free >= kSocketReadBufferBytes) {
        return free; // the usual case, between small requests: no budget involved
    }
    qint64 shared = std::min(m_services.frameBudget.available(),
                             m_services.frameShares.available(m_addressShareKey));
    const QString userKey = userShareKey();
    if (!userKey.isEmpty()) {
        shared = std::min(shared, m_services.frameShares.available(userKey));
    }
    return free + std::max<qint64>(0, shared);
}

void ClientSession::refuseFrame() {
    const int number = protocol::errorNumber(ErrorCode::ServerFull);
    const QString text = QStringLiteral("no room for this frame: the frame memory this address or "
                                        "user may hold is in use");
    logError(number, text);
    send(Response::failure(0, number, text));
    end(QStringLiteral("no room for a frame"));
}

QString ClientSession::userShareKey() const {
    const std::optional<SignedInUser>& identity = m_handler.state().identity();
    return identity ? QStringLiteral("user:%1|%2").arg(identity->firma).arg(identity->code)
                    : QString();
}

void ClientSession::noteSignInOutcome() {
    m_signInAwaited = false;
    if (m_handler.state().identity()) {
        m_signInWindow.stop();
        return;
    }
    if (!std::exchange(m_failureCounted, false)) {
        emit signInFailed(this);
    }
    if (m_ending) {
        return;
    }
    if (m_signInWindowPassed) {
        end(QStringLiteral("not signed in after %1 ms").arg(m_timeouts.signInWindowMs));
    } else if (!m_signInWindow.isActive()) {
        m_signInWindow.start(m_timeouts.signInWindowMs); // signed in before, no longer
    }
}

bool ClientSession::mayServe() const {
    const qint64 pending = m_link->bytesToWrite();
    if (pending == 0) {
        return true;
    }
    const qint64 cap =
        m_handler.state().identity() ? kMaxPendingReplyBytes : kMaxPendingReplyBytesBeforeSignIn;
    return pending < cap && !m_services.replyBudget.exhausted();
}

void ClientSession::writeReplies() {
    // The replies to what arrived go out now, in one write, instead of on the event loop's
    // next pass; what the system does not take now is written as it drains.
    if (m_link->bytesToWrite() == 0) {
        return;
    }
    m_link->flush();
    syncBudgets();
}

void ClientSession::updateDeadline() {
    if (m_ending || m_signInPending) {
        // A sign-in under way is the server's own work (bounded by the hash and the throttle's
        // cap), not a stalling peer.
        m_deadline.stop();
        return;
    }
    Wait wait = Wait::Stall;
    if (!mayServe() && (m_reader.hasFrame() || m_link->bytesAvailable() > 0)) {
        wait = Wait::Drain; // more requests wait for a peer that does not read its replies
    } else if (m_handler.handshakeDone() && m_reader.atFrameBoundary() && !m_reader.hasFrame()) {
        wait = Wait::Idle;
    }
    if (m_progress || !m_deadline.isActive() || wait != m_wait) {
        const int period = wait == Wait::Idle ? m_timeouts.idleMs : m_timeouts.stallMs;
        m_deadlineDueMs = coarseNowMs() + period;
        // Setting a timer anew for every request costs more than the request; a timer already
        // running for the same kind of wait is left alone and looks at the time when it comes due.
        if (!m_deadline.isActive() || wait != m_wait) {
            m_deadline.start(period);
        }
        m_wait = wait;
    }
    m_progress = false;
}

void ClientSession::processFrames() {
    int served = 0;
    // A link that may close before the next turn is answered at once (whole reads of at most
    // kSocketReadBufferBytes).
    const bool wholeReads = m_link->closesWhenInputEnds();
    while (!m_ending && !m_signInPending && m_reader.hasFrame() && mayServe()) {
        if (served == kRequestsPerTurn && !wholeReads) {
            // The others' turn first; this session goes on in the next pass of the event loop.
            scheduleTurn();
            break;
        }
        ++served;
        const std::optional<QByteArray> frame = m_reader.takeFrame();
        m_progress = true;
        protocol::Outcome<protocol::Request> request = protocol::decodeRequest(*frame);
        if (request.ok() && request.value().op == protocol::Operation::SignIn) {
            QByteArray bytes = *frame;
            PasswordHash::wipe(bytes); // the frame held the password
        }
        if (!request.ok()) {
            const int number = protocol::errorNumber(request.error());
            logError(number, request.errorText());
            send(Response::failure(0, number, request.errorText()));
            end(QStringLiteral("error %1").arg(number));
            break;
        }
        const RequestHandler::Reply reply = m_handler.handle(request.value());
        if (reply.signInPending) {
            startSignIn(request.value());
            m_signInAwaited = m_signInPending; // not when the store could not be read
            break;
        }
        if (!reply.response.ok) {
            logError(reply.response.errorNumber, reply.response.errorText);
        }
        send(reply.response);
        if (reply.endsSession) {
            end(reply.response.ok ? QStringLiteral("the client said goodbye")
                                  : QStringLiteral("error %1").arg(reply.response.errorNumber));
            break;
        }
    }
    // Requests that arrived whole before a bad header are answered before the error.
    if (!m_ending && !m_signInPending && !m_reader.hasFrame() && m_reader.hasError()) {
        const int number = protocol::errorNumber(m_reader.error());
        logError(number, m_reader.errorText());
        send(Response::failure(0, number, m_reader.errorText()));
        end(QStringLiteral("error %1").arg(number));
    }
    syncBudgets();
}

void ClientSession::scheduleTurn() {
    if (m_turnScheduled) {
        return;
    }
    m_turnScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_turnScheduled = false;
        readAvailable();
    });
}

void ClientSession::syncBudgets() {
    const qint64 frameBytes = std::max<qint64>(0, m_reader.bufferedBytes() - kFreeFrameBytes);
    if (frameBytes != 0 || m_frameBytesCounted != 0) {
        syncFrameBudgets(frameBytes);
    }
    const qint64 replyBytes = m_link->bytesToWrite();
    m_services.replyBudget.adjust(replyBytes - m_replyBytesCounted);
    m_replyBytesCounted = replyBytes;
}

void ClientSession::syncFrameBudgets(qint64 frameBytes) {
    const qint64 frameDelta = frameBytes - m_frameBytesCounted;
    m_services.frameBudget.adjust(frameDelta);
    m_services.frameShares.adjust(m_addressShareKey, frameDelta);
    const QString userKey = userShareKey();
    if (userKey == m_countedUserKey) {
        m_services.frameShares.adjust(userKey, frameDelta);
    } else {
        // Signed in (again) meanwhile: what it holds counts under the new user from now on.
        m_services.frameShares.adjust(m_countedUserKey, -m_frameBytesCounted);
        m_services.frameShares.adjust(userKey, frameBytes);
        m_countedUserKey = userKey;
    }
    m_frameBytesCounted = frameBytes;
}

void ClientSession::startSignIn(protocol::Request& request) {
    m_signInPending = true;
    const qint64 seq = request.seq;
    SignInService::Attempt attempt{std::move(request.company),
                                   std::move(request.user),
                                   std::move(request.password),
                                   m_peer,
                                   m_number,
                                   std::move(request.resume)};
    m_signIn.check(std::move(attempt), [this, seq](SignInService::Outcome outcome, bool atOnce) {
        m_signInPending = false;
        if (atOnce) {
            m_signInAwaited = false; // refused before any check: no failed sign-in
        }
        if (m_ending) {
            return;
        }
        // Only a signed-in session may send frames of the general size.
        m_reader.setMaxFrameBytes(outcome.identity ? protocol::MaxFrameBytes
                                                   : protocol::MaxFrameBytesBeforeSignIn);
        Response reply;
        if (outcome.errorNumber != 0) {
            logError(outcome.errorNumber, outcome.errorText);
            reply = Response::failure(seq, outcome.errorNumber, outcome.errorText);
        } else {
            reply = m_handler.signedIn(seq, std::move(outcome.identity));
            if (reply.ok && reply.value.toBool()) {
                reply.resume = std::move(outcome.resume);
            }
        }
        if (m_signInAwaited && !m_handler.state().identity()) {
            // Counted before the peer hears the answer: a connection it opens next finds the
            // penalty, whichever thread serves this session.
            m_failureCounted = true;
            emit signInFailed(this);
        }
        send(reply);
        m_progress = true;
        // Called from the service, maybe within this session's own turn: go on in the next.
        scheduleTurn();
    });
}

void ClientSession::send(const Response& response) {
    protocol::Outcome<QByteArray> frame = protocol::encodeResponseFrame(response);
    if (!frame.ok()) {
        // The reply itself cannot travel (a text over the limit): say so instead.
        const int number = protocol::errorNumber(ErrorCode::StoreFailure);
        const QString text = QStringLiteral("the reply cannot be sent: %1").arg(frame.errorText());
        logError(number, text);
        frame = protocol::encodeResponseFrame(Response::failure(response.seq, number, text));
        if (!frame.ok()) {
            return;
        }
    }
    m_link->write(frame.value());
    syncBudgets();
}

void ClientSession::end(const QString& reason) {
    m_ending = true;
    m_deadline.stop();
    m_signInWindow.stop();
    m_endReason = reason;
    m_link->disconnectFromHost(); // after the pending replies are written
    // A peer that reads nothing would keep it half-closed for ever.
    QTimer::singleShot(kCloseGraceMs, this, [this] {
        if (m_link->isOpen()) {
            m_link->abort();
        }
    });
}

void ClientSession::logError(int number, const QString& text) {
    if (m_errorsLogged >= kMaxLoggedErrors) {
        // A peer repeating the same mistake must not flood the log.
        if (++m_errorsSuppressed % kErrorSummaryEvery == 0) {
            logSuppressedErrors(QStringLiteral(" so far"));
        }
        return;
    }
    ++m_errorsLogged;
    const QString shown = text.size() > kMaxLoggedTextChars
                              ? text.left(kMaxLoggedTextChars) + QStringLiteral("...")
                              : text;
    m_services.log.writeFor(
        m_peer, QStringLiteral("session %1: error %2: %3").arg(m_number).arg(number).arg(shown));
}

void ClientSession::logSuppressedErrors(const QString& when) {
    const qint64 unreported = m_errorsSuppressed % kErrorSummaryEvery == 0 && !when.isEmpty()
                                  ? kErrorSummaryEvery
                                  : m_errorsSuppressed % kErrorSummaryEvery;
    if (unreported == 0) {
        return;
    }
    m_services.log.writeFor(m_peer, QStringLiteral("session %1: ... %2 more errors like these%3")
                                        .arg(m_number)
                                        .arg(QLocale(QLocale::English).toString(unreported), when));
}
