#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A handler may only do what is safe at any moment: no formatting, no allocation, no locks.
// What it needs is made beforehand.
int s_pipe[2] = {-1, -1};
unsigned s_limitSeconds = 0;
char s_lateLine[160];
size_t s_lateLineSize = 0;

void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    // Counted from the signal, not from when the event loop gets to it.
    ::alarm(s_limitSeconds);
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

void onLateStop(int) {
    [[maybe_unused]] const ssize_t written = ::write(2, s_lateLine, s_lateLineSize);
    ::_exit(1);
}

void setAction(int signalNumber, void (*handler)(int), int flags) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signalNumber, &action, nullptr);
}

void setStopActions(void (*handler)(int)) {
    // Caught once: the same signal again, before the event loop has seen the first, ends the
    // process.
    setAction(SIGTERM, handler, SA_RESTART | SA_RESETHAND);
    setAction(SIGINT, handler, SA_RESTART | SA_RESETHAND);
}

} // namespace

StopSignals::StopSignals(unsigned limitSeconds, QObject* parent)
    : QObject(parent) {
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the default actions stay: the process ends at once, as without this
    }
    const QByteArray line =
        QStringLiteral("lorvex-server: the stop took longer than %1 s (a thread "
                       "did not end); ended without it\n")
            .arg(limitSeconds)
            .toLocal8Bit()
            .left(int(sizeof s_lateLine));
    std::memcpy(s_lateLine, line.constData(), size_t(line.size()));
    s_lateLineSize = size_t(line.size());
    s_limitSeconds = limitSeconds;
    setAction(SIGALRM, onLateStop, 0);
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    setStopActions(onStopSignal);
}

StopSignals::~StopSignals() {
    if (m_notifier == nullptr) {
        return;
    }
    setStopActions(SIG_DFL);
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

QString StopSignals::nameOf(int signalNumber) {
    return signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
}

void StopSignals::readPipe() {
    char byte = 0;
    if (::read(s_pipe[0], &byte, 1) != 1) {
        return;
    }
    // From now on a stop signal ends the process at once: a stop that hangs can be cut short.
    setStopActions(SIG_DFL);
    m_notifier->setEnabled(false);
    emit received(static_cast<unsigned char>(byte));
}
