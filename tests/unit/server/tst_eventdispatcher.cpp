#include "EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

// The server's threads run on this loop: Qt's timers, socket notifiers, posted events and
// threads must behave on it as they do on Qt's own.
class TestEventDispatcher : public QObject {
    Q_OBJECT
private slots:
    void timersComeDueInOrderAndOncePerPass() {
        QStringList fired;
        for (int ms : {30, 10, 20}) {
            QTimer::singleShot(ms, this, [&fired, ms] { fired << QString::number(ms); });
        }
        QTimer killed;
        killed.setSingleShot(true);
        connect(&killed, &QTimer::timeout, this, [&fired] { fired << QStringLiteral("killed"); });
        // Due in the same pass as the 10 ms one, which it follows, but stopped by the 5 ms one.
        QTimer::singleShot(5, this, [&killed] { killed.stop(); });
        killed.start(6);
        QTRY_COMPARE_WITH_TIMEOUT(fired.size(), 3, 5000);
        QCOMPARE(fired, QStringList({"10", "20", "30"}));

        // A timer of no delay that starts itself again comes due once a pass, not for ever.
        int zeroRuns = 0;
        QTimer zero;
        zero.setInterval(0);
        connect(&zero, &QTimer::timeout, this, [&zeroRuns] { ++zeroRuns; });
        zero.start();
        QCoreApplication::processEvents();
        QCOMPARE(zeroRuns, 1);
        QCoreApplication::processEvents();
        QCOMPARE(zeroRuns, 2);
        zero.stop();

        QTimer far;
        far.start(60000);
        QVERIFY(far.remainingTime() > 59000 && far.remainingTime() <= 60000);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(50, this, [] {});
        QTest::qWait(60);
        QVERIFY(clock.elapsed() >= 50); // a wait without sockets sleeps until the timer
    }

    void socketNotifiersFollowTheirSwitches() {
        int pair[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        int reads = 0;
        int writes = 0;
        QSocketNotifier reader(pair[0], QSocketNotifier::Read);
        auto* writer = new QSocketNotifier(pair[0], QSocketNotifier::Write);
        connect(&reader, &QSocketNotifier::activated, this, [&] {
            char byte = 0;
            if (::read(pair[0], &byte, 1) == 1) {
                ++reads;
            } else {
                reader.setEnabled(false); // the peer is gone
                reads = -reads;
            }
            delete writer; // ready in the same pass: must not be reached once deleted
            writer = nullptr;
        });
        connect(writer, &QSocketNotifier::activated, this, [&writes] { ++writes; });
        QCOMPARE(::write(pair[1], "x", 1), 1);
        QTRY_COMPARE_WITH_TIMEOUT(reads, 1, 5000);
        QCOMPARE(writes, 0);

        reader.setEnabled(false); // a switched-off notifier hears nothing
        QCOMPARE(::write(pair[1], "y", 1), 1);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(reads, 1);
        reader.setEnabled(true);
        QTRY_COMPARE_WITH_TIMEOUT(reads, 2, 5000);

        ::close(pair[1]); // the peer's end is heard as readable
        QTRY_COMPARE_WITH_TIMEOUT(reads, -2, 5000);
        ::close(pair[0]);
    }

    // The server serves the requests of a pass once all its sockets were read.
    void workAfterSocketsRunsOnceTheSocketsOfItsPassAreServed() {
        auto* loop = qobject_cast<EpollEventDispatcher*>(QAbstractEventDispatcher::instance());
        QVERIFY(loop);
        struct Work : EpollEventDispatcher::AfterSockets {
            virtual ~Work() = default;
            QStringList* log = nullptr;
            void afterSockets() override { *log << QStringLiteral("work"); }
        };
        QStringList log;
        Work work;
        work.log = &log;
        int pairs[2][2];
        std::vector<std::unique_ptr<QSocketNotifier>> readers;
        for (auto& pair : pairs) {
            QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
            readers.push_back(std::make_unique<QSocketNotifier>(pair[0], QSocketNotifier::Read));
            connect(readers.back().get(), &QSocketNotifier::activated, this, [&, pair] {
                char byte = 0;
                QCOMPARE(::read(pair[0], &byte, 1), 1);
                if (!log.contains(QStringLiteral("read"))) {
                    loop->callAfterSockets(&work);
                }
                log << QStringLiteral("read");
            });
            QCOMPARE(::write(pair[1], "x", 1), 1);
        }
        QTimer timer; // a timer proper: a single shot of no delay is a posted event
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [&log] { log << QStringLiteral("timer"); });
        timer.start(0);
        QCoreApplication::processEvents();
        QCOMPARE(log, QStringList({"read", "read", "work", "timer"}));

        // Asked for by a timer: done in the next pass, which does not wait for a socket.
        log.clear();
        disconnect(&timer, nullptr, this, nullptr);
        connect(&timer, &QTimer::timeout, this, [&] { loop->callAfterSockets(&work); });
        timer.start(0);
        QCoreApplication::processEvents();
        QVERIFY(log.isEmpty());
        QTimer guard; // ends a wait that should not have happened
        guard.start(3000);
        QElapsedTimer clock;
        clock.start();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCOMPARE(log, QStringList({"work"}));
        QVERIFY(clock.elapsed() < 2000);

        loop->callAfterSockets(&work); // forgotten before its pass: never called
        loop->forget(&work);
        QCoreApplication::processEvents();
        QCOMPARE(log, QStringList({"work"}));
        for (auto& pair : pairs) {
            readers.clear();
            ::close(pair[0]);
            ::close(pair[1]);
        }
    }

    void postedEventsTimersAndQuitReachAnotherThread() {
        QThread thread;
        thread.setEventDispatcher(new EpollEventDispatcher);
        thread.start();
        QObject inThread;
        inThread.moveToThread(&thread);
        std::atomic<bool> ran{false};
        QMetaObject::invokeMethod(
            &inThread, [&ran] { ran = true; }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(ran.load(), 5000);

        // A running timer moved to the thread keeps running there.
        auto* timer = new QTimer;
        std::atomic<int> ticks{0};
        connect(
            timer, &QTimer::timeout, timer, [&ticks] { ++ticks; }, Qt::DirectConnection);
        timer->start(5);
        timer->moveToThread(&thread);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.load() >= 3, 5000);
        QMetaObject::invokeMethod(timer, &QObject::deleteLater, Qt::QueuedConnection);

        thread.quit();
        QVERIFY(thread.wait(5000));
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    TestEventDispatcher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_eventdispatcher.moc"
