#pragma once

#include <QAbstractEventDispatcher>
#include <QList>

#include <atomic>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

struct epoll_event;

// The event loop of the server's threads on Linux's epoll. Qt's own loop (poll) hands the kernel
// every socket of the thread on every pass and walks them all afterwards; with 50 connections
// and a few requests a pass that is most of a request's cost beside the send. Here a pass costs
// what is ready: the sockets are registered once, and switched only when a notifier is.
// Timers are kept in due order (precise, whatever type they ask for); a timer restarted while
// the timers of a pass are served comes due in the next pass at the earliest, as in Qt's loop.
class EpollEventDispatcher : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    // Work done once every socket ready in a pass has been served, before the pass's timers.
    class AfterSockets {
    public:
        virtual void afterSockets() = 0;

    protected:
        ~AfterSockets() = default;
    };

    explicit EpollEventDispatcher(QObject* parent = nullptr);
    ~EpollEventDispatcher() override;

    // Once, after the sockets of this pass; asked for outside that phase, after those of the
    // next pass, which then does not wait. Costs no timer and no system call.
    void callAfterSockets(AfterSockets* work) { m_afterSockets.push_back(work); }
    // The work is going away: not called any more.
    void forget(AfterSockets* work);

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        QSocketNotifier* exception = nullptr;
    };
    struct Timer {
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        QObject* object = nullptr;
        qint64 dueNs = 0;
        quint64 serial = 0; // changes whenever the timer is set anew
    };

    // Tells epoll which of the socket's notifiers are on.
    void updateWatch(int fd, const Watch& watch, bool known);
    void schedule(int timerId, Timer& timer, qint64 dueNs);
    // Milliseconds epoll may wait: until the next timer, for ever without one.
    int waitMs(qint64 nowNs) const;
    int activateSockets(const epoll_event* events, int count, bool notifiers);
    int activateTimers();
    int runAfterSockets();
    void drainWakeUps();

    int m_epoll = -1;
    int m_wakeUp = -1; // an eventfd, in the epoll set
    std::atomic<bool> m_interrupted{false};
    std::unordered_map<int, Watch> m_watches;
    std::unordered_map<int, Timer> m_timers;
    std::set<std::pair<qint64, int>> m_due; // (due, timer id)
    quint64 m_nextSerial = 0;
    std::vector<std::pair<int, quint64>> m_firing; // room for the timers of a pass, by serial
    std::vector<AfterSockets*> m_afterSockets;
    std::vector<AfterSockets*> m_afterSocketsRoom;
    // The lists being run, innermost first (work may run an event loop of its own).
    struct RunningWork {
        std::vector<AfterSockets*>* list;
        RunningWork* outer;
    };
    RunningWork* m_runningWork = nullptr;
};
