#include "FakeCache.h"
#include "FakePlatform.h"

#include <QtTest>

// The fakes the other tests lean on: a wrong fake would make every timeline test lie.
class TestFakeTime : public QObject {
    Q_OBJECT
private slots:
    void timersFireInDeadlineOrder() {
        FakeTime time(QTime(10, 0));
        QStringList fired;
        auto slow = time.createTimer();
        auto fast = time.createTimer();
        slow->setInterval(1000);
        fast->setInterval(300);
        slow->setOnTimeout([&] { fired << QString("slow@%1").arg(time.nowMs() % 100000); });
        fast->setOnTimeout([&] { fired << QString("fast@%1").arg(time.nowMs() % 100000); });
        slow->setEnabled(true);
        fast->setEnabled(true);
        time.advance(1000);
        QCOMPARE(fired, QStringList({"fast@300", "fast@600", "fast@900", "slow@1000"}));
    }

    void zeroIntervalNeverFiresAndDisabledStaysQuiet() {
        FakeTime time;
        auto timer = time.createTimer();
        int count = 0;
        timer->setOnTimeout([&] { ++count; });
        timer->setInterval(0);
        timer->setEnabled(true);
        time.advance(60000);
        QCOMPARE(count, 0);
        timer->setInterval(100);
        timer->setEnabled(false);
        time.advance(60000);
        QCOMPARE(count, 0);
    }

    void reenablingRestartsTheInterval() {
        FakeTime time;
        auto timer = time.createTimer();
        int count = 0;
        timer->setOnTimeout([&] { ++count; });
        timer->setInterval(60000);
        timer->setEnabled(true);
        time.advance(59000);
        timer->setEnabled(true);
        time.advance(59000);
        QCOMPARE(count, 0);
        time.advance(1000);
        QCOMPARE(count, 1);
    }

    void clockWrapsAtMidnight() {
        FakeTime time(QTime(23, 59, 59, 500));
        time.advance(1000);
        QCOMPARE(time.timeOfDay(), QTime(0, 0, 0, 500));
        QVERIFY(time.secondsSinceMidnight() < 1.0);
    }

    void unansweredBoxIsCountedNotBlocking() {
        FakeMessageBoxes boxes;
        boxes.queueAnswer(MsgAnswer::Yes);
        QCOMPARE(boxes.show("a", "t", MsgButtons::YesNo, MsgIcon::None), MsgAnswer::Yes);
        QCOMPARE(boxes.show("b", "t", MsgButtons::YesNo, MsgIcon::None), MsgAnswer::No);
        QCOMPARE(boxes.unexpected, 1);
        QCOMPARE(boxes.shown.size(), 2);
    }

    void fakeServerRecordsAndFails() {
        FakeCacheServer server;
        server.addObject("LX.ParPersEdv", "1||ABC", {{"AKTIV", "J"}});
        server.failures.insert("openId LX.ParPersAbt", CacheError(7, "weg"));
        auto factory = server.creator()();
        QVERIFY(factory->connect("cn_iptcp:h[1]:LORVEX"));
        auto user = factory->openId("LX.ParPersEdv", "1||ABC");
        QCOMPARE(user->property("AKTIV").toString(), QString("J"));
        QVERIFY_THROWS_EXCEPTION(CacheError, factory->openId("LX.ParPersAbt", "1||2"));
        QVERIFY_THROWS_EXCEPTION(CacheError, factory->openId("LX.ParPersEdv", "1||XYZ"));
        QCOMPARE(server.liveObjects, 1);
        user.reset();
        QCOMPARE(server.liveObjects, 0);
    }
};

QTEST_GUILESS_MAIN(TestFakeTime)
#include "tst_faketime.moc"
