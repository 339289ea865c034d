#include "AccessRig.h"

#include <QtTest>

// Ending the program and writing the program log.
class TestAccessFormHelpers : public QObject {
    Q_OBJECT
private slots:
    void unloadAllAndEndUnloadsThenEnds() {
        AccessRig rig;
        QStringList order;
        rig.forms.onUnloadAll = [&] { order << "unload"; };
        try {
            rig.api.helpers().UnloadAllAndEnd();
            QFAIL("the program did not end");
        } catch (const ProgramEnded&) {
        }
        QCOMPARE(order, QStringList{"unload"});
        QCOMPARE(rig.fake.processEnd.endCount, 1);
    }

    void reentrantCallFromTheMainWindowEndsOnce() {
        AccessRig rig;
        int innerReturned = 0;
        // The main window's unload handler disconnects and calls UnloadAllAndEnd again.
        rig.forms.onUnloadAll = [&] {
            rig.api.connection().DisconnectCache();
            rig.api.helpers().UnloadAllAndEnd();
            ++innerReturned;
        };
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, rig.api.helpers().UnloadAllAndEnd());
        QCOMPARE(innerReturned, 1);
        QCOMPARE(rig.forms.events.count("unloadAllWindows"), 1);
        QCOMPARE(rig.fake.processEnd.endCount, 1);
    }

    void failingUnloadStillEnds() {
        AccessRig rig;
        rig.forms.onUnloadAll = [] { throw std::runtime_error("window refused"); };
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, rig.api.helpers().UnloadAllAndEnd());
        QCOMPARE(rig.fake.processEnd.endCount, 1);
    }

    void addListRowKeepsTheNewestHundred() {
        AccessRig rig;
        rig.api.helpers().AddListRow("frmKassa.Timer1_Timer", "Status um ", "14:05:09");
        QCOMPARE(rig.forms.log.rows.first(), QString("frmKassa.Timer1_Timer;Status um ;14:05:09"));
        rig.api.helpers().AddListRow("", "", "");
        QCOMPARE(rig.forms.log.rows.first(), QString(";;"));
        for (int i = 0; i < 148; ++i) {
            rig.api.helpers().AddListRow("p", "t", QString::number(i));
        }
        QCOMPARE(rig.forms.log.rows.size(), 100);
        QCOMPARE(rig.forms.log.rows.first(), QString("p;t;147"));
        QCOMPARE(rig.forms.log.rows.last(), QString("p;t;48"));
    }

    void addListRowSwallowsEveryFailure() {
        AccessRig rig;
        rig.forms.logMissing = true;
        rig.api.helpers().AddListRow("a", "b", "c");
        rig.forms.logMissing = false;
        rig.forms.log.failInsert = true;
        rig.api.helpers().AddListRow("a", "b", "c");
        QVERIFY(rig.forms.log.rows.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestAccessFormHelpers)
#include "tst_access_formhelpers.moc"
