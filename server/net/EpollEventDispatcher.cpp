#include "EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kEventsPerPass = 256;
constexpr qint64 kNsPerMs = 1000000;

qint64 nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void activate(QSocketNotifier* notifier) {
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(notifier, &event);
}

} // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent)
    , m_epoll(::epoll_create1(EPOLL_CLOEXEC))
    , m_wakeUp(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_epoll < 0 || m_wakeUp < 0) {
        qFatal("epoll or eventfd not available: %s", std::strerror(errno));
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wakeUp;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeUp, &event);
}

EpollEventDispatcher::~EpollEventDispatcher() {
    ::close(m_wakeUp);
    ::close(m_epoll);
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    m_interrupted.store(false, std::memory_order_relaxed);
    emit awake();
    // Whatever is posted from now on wakes the wait below through m_wakeUp.
    QCoreApplication::sendPostedEvents();
    const bool wait = flags.testFlag(QEventLoop::WaitForMoreEvents) &&
                      !m_interrupted.load(std::memory_order_relaxed) && m_afterSockets.empty();
    if (wait) {
        emit aboutToBlock();
    }
    epoll_event events[kEventsPerPass];
    int count = 0;
    do {
        count = ::epoll_wait(m_epoll, events, kEventsPerPass, wait ? waitMs(nowNs()) : 0);
    } while (count < 0 && errno == EINTR);
    int handled = 0;
    if (count > 0) {
        // Sockets left out are still reported (they stay in the set): a wait that leaves them out
        // returns at once while one is ready. Nothing in the server asks for that.
        handled +=
            activateSockets(events, count, !flags.testFlag(QEventLoop::ExcludeSocketNotifiers));
    }
    handled += runAfterSockets();
    if (!flags.testFlag(QEventLoop::X11ExcludeTimers)) {
        handled += activateTimers();
    }
    return handled > 0;
}

int EpollEventDispatcher::activateSockets(const epoll_event* events, int count, bool notifiers) {
    int handled = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        const quint32 got = events[i].events;
        if (fd == m_wakeUp) {
            drainWakeUps();
            ++handled;
            continue;
        }
        if (!notifiers) {
            continue;
        }
        // Looked up anew before each notifier: the one before may have switched or deleted it.
        const auto notifierFor = [this, fd](QSocketNotifier* Watch::*slot) -> QSocketNotifier* {
            const auto it = m_watches.find(fd);
            return it == m_watches.end() ? nullptr : it->second.*slot;
        };
        // A hang-up or error is news for whoever listens, or epoll would report it for ever.
        if (got & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP)) {
            if (QSocketNotifier* notifier = notifierFor(&Watch::read)) {
                activate(notifier);
                ++handled;
            }
        }
        if (got & (EPOLLOUT | EPOLLHUP | EPOLLERR)) {
            if (QSocketNotifier* notifier = notifierFor(&Watch::write)) {
                activate(notifier);
                ++handled;
            }
        }
        if (got & EPOLLPRI) {
            if (QSocketNotifier* notifier = notifierFor(&Watch::exception)) {
                activate(notifier);
                ++handled;
            }
        }
    }
    return handled;
}

int EpollEventDispatcher::runAfterSockets() {
    if (m_afterSockets.empty()) {
        return 0;
    }
    // Taken out: work asked for while this runs belongs to the next pass.
    std::vector<AfterSockets*> running = std::move(m_afterSocketsRoom);
    running.swap(m_afterSockets);
    RunningWork frame{&running, m_runningWork};
    m_runningWork = &frame;
    int ran = 0;
    for (AfterSockets* work : running) {
        if (work) {
            work->afterSockets();
            ++ran;
        }
    }
    m_runningWork = frame.outer;
    running.clear();
    m_afterSocketsRoom = std::move(running);
    return ran;
}

void EpollEventDispatcher::forget(AfterSockets* work) {
    std::replace(m_afterSockets.begin(), m_afterSockets.end(), work,
                 static_cast<AfterSockets*>(nullptr));
    for (RunningWork* frame = m_runningWork; frame; frame = frame->outer) {
        std::replace(frame->list->begin(), frame->list->end(), work,
                     static_cast<AfterSockets*>(nullptr));
    }
}

void EpollEventDispatcher::drainWakeUps() {
    eventfd_t ignored = 0;
    ::eventfd_read(m_wakeUp, &ignored);
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const auto it = m_watches.find(fd);
    const bool known = it != m_watches.end();
    Watch& watch = known ? it->second : m_watches[fd];
    switch (notifier->type()) {
    case QSocketNotifier::Read:
        watch.read = notifier;
        break;
    case QSocketNotifier::Write:
        watch.write = notifier;
        break;
    case QSocketNotifier::Exception:
        watch.exception = notifier;
        break;
    }
    updateWatch(fd, watch, known);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const auto it = m_watches.find(fd);
    if (it == m_watches.end()) {
        return;
    }
    Watch& watch = it->second;
    for (QSocketNotifier** slot : {&watch.read, &watch.write, &watch.exception}) {
        if (*slot == notifier) {
            *slot = nullptr;
        }
    }
    if (!watch.read && !watch.write && !watch.exception) {
        // The socket may be closed already: then the kernel has forgotten it, and so do we.
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        m_watches.erase(it);
        return;
    }
    updateWatch(fd, watch, true);
}

void EpollEventDispatcher::updateWatch(int fd, const Watch& watch, bool known) {
    epoll_event event{};
    event.events = (watch.read ? EPOLLIN | EPOLLRDHUP : 0u) | (watch.write ? EPOLLOUT : 0u) |
                   (watch.exception ? EPOLLPRI : 0u);
    event.data.fd = fd;
    if (known && ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event) == 0) {
        return;
    }
    // New, or a descriptor closed and opened again under the same number meanwhile.
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0 && errno == EEXIST) {
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
    }
}

void EpollEventDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                         QObject* object) {
    Timer& timer = m_timers[timerId];
    timer.intervalMs = std::max<qint64>(0, interval);
    timer.type = timerType;
    timer.object = object;
    schedule(timerId, timer, nowNs() + timer.intervalMs * kNsPerMs);
}

void EpollEventDispatcher::schedule(int timerId, Timer& timer, qint64 dueNs) {
    if (timer.serial != 0) {
        m_due.erase({timer.dueNs, timerId});
    }
    timer.dueNs = dueNs;
    timer.serial = ++m_nextSerial;
    m_due.insert({dueNs, timerId});
}

bool EpollEventDispatcher::unregisterTimer(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it == m_timers.end()) {
        return false;
    }
    m_due.erase({it->second.dueNs, timerId});
    m_timers.erase(it);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject* object) {
    bool any = false;
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->second.object == object) {
            m_due.erase({it->second.dueNs, it->first});
            it = m_timers.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollEventDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> timers;
    for (const auto& [id, timer] : m_timers) {
        if (timer.object == object) {
            timers.append(TimerInfo(id, static_cast<int>(timer.intervalMs), timer.type));
        }
    }
    return timers;
}

int EpollEventDispatcher::remainingTime(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it == m_timers.end()) {
        return -1;
    }
    const qint64 left = it->second.dueNs - nowNs();
    return left <= 0 ? 0 : static_cast<int>((left + kNsPerMs - 1) / kNsPerMs);
}

int EpollEventDispatcher::waitMs(qint64 now) const {
    if (m_due.empty()) {
        return -1;
    }
    const qint64 left = m_due.begin()->first - now;
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>(
        std::min<qint64>((left + kNsPerMs - 1) / kNsPerMs, std::numeric_limits<int>::max()));
}

int EpollEventDispatcher::activateTimers() {
    if (m_due.empty()) {
        return 0;
    }
    const qint64 now = nowNs();
    // Taken out while serving: a timer may run an event loop of its own, which serves timers too.
    std::vector<std::pair<int, quint64>> firing;
    firing.swap(m_firing);
    firing.clear();
    for (auto it = m_due.begin(); it != m_due.end() && it->first <= now; ++it) {
        firing.emplace_back(it->second, m_timers.at(it->second).serial);
    }
    int fired = 0;
    for (const auto& [id, serial] : firing) {
        // Killed, or set anew, by a timer served before it: left alone.
        const auto it = m_timers.find(id);
        if (it == m_timers.end() || it->second.serial != serial) {
            continue;
        }
        Timer& timer = it->second;
        // Repeated from when it was due; one that fell behind starts afresh from now.
        qint64 next = timer.dueNs + timer.intervalMs * kNsPerMs;
        if (next <= now && timer.intervalMs > 0) {
            next = now + timer.intervalMs * kNsPerMs;
        }
        schedule(id, timer, std::max(next, now));
        QObject* object = timer.object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
    }
    firing.swap(m_firing); // its room, for the next pass
    return fired;
}

void EpollEventDispatcher::wakeUp() {
    ::eventfd_write(m_wakeUp, 1);
}

void EpollEventDispatcher::interrupt() {
    m_interrupted.store(true, std::memory_order_relaxed);
    wakeUp();
}
