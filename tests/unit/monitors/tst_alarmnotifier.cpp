#include "monitors/AlarmNotifier.h"

#include <QtTest>

namespace {

class RecordingDesktop : public DesktopNotifications {
public:
    void showState(State shown, const QString& tip) override {
        state = shown;
        tooltip = tip;
    }
    void notify(const QString& title, const QString& text) override { told << title + ": " + text; }
    void notifyGood(const QString& title, const QString& text) override {
        told << title + ": " + text;
        good << text;
    }
    void setOnActivated(std::function<void()>) override {}

    State state = State::Good;
    QString tooltip;
    QStringList told;
    QStringList good; // told without a warning sign
};

} // namespace

// What the desktop is told about the monitors, and how often.
class TestAlarmNotifier : public QObject {
    Q_OBJECT
private slots:
    void onePerRowAndChangeOfState() {
        RecordingDesktop desktop;
        AlarmNotifier alarms(desktop);
        QCOMPARE(desktop.tooltip, QString("LORVEX Monitor: alles in Ordnung"));
        const QTime now(9, 0);
        alarms.rowsAssessed("Kassa", {"3", "5"}, {"12 offen", ""}, now);
        alarms.rowsAssessed("Kassa", {"3", "5"}, {"13 offen", ""}, now);
        QCOMPARE(desktop.told, QStringList{"LORVEX Monitor - Kassa: Nr 3: 12 offen"});
        QCOMPARE(desktop.state, DesktopNotifications::State::Attention);
        QCOMPARE(desktop.tooltip, QString("LORVEX Monitor: Aufmerksamkeit nötig (Kassa: 1)"));

        // Fine again, then out again: told again. A lost connection outranks everything.
        alarms.rowsAssessed("Kassa", {"3"}, {""}, now);
        alarms.rowsAssessed("Kassa", {"3"}, {"x"}, now);
        alarms.connectionChanged("Zeiterfassung", true);
        alarms.connectionChanged("Zeiterfassung", true);
        QCOMPARE(desktop.state, DesktopNotifications::State::NoConnection);
        alarms.connectionChanged("Zeiterfassung", false);
        QCOMPARE(desktop.told.mid(1),
                 QStringList({"LORVEX Monitor - Kassa: Nr 3: x",
                              "LORVEX Monitor - Zeiterfassung: Keine Verbindung zum Server",
                              "LORVEX Monitor - Zeiterfassung: Wieder erreichbar"}));
        QCOMPARE(desktop.good, QStringList{"Wieder erreichbar"});
        QCOMPARE(desktop.state, DesktopNotifications::State::Attention);
        alarms.forget("Kassa");
        QCOMPARE(desktop.state, DesktopNotifications::State::Good);
    }

    void snoozeSuppressesForAnHourAndSwitchedOffTellsNothing() {
        RecordingDesktop desktop;
        AlarmNotifier alarms(desktop);
        QTime now(23, 30);
        alarms.rowsAssessed("Kassa", {"3"}, {""}, now);
        alarms.snooze("Kassa", "3", now);
        alarms.rowsAssessed("Kassa", {"3"}, {"12 offen"}, now);
        now = now.addSecs(59 * 60); // across midnight
        alarms.rowsAssessed("Kassa", {"3"}, {"12 offen"}, now);
        QVERIFY(desktop.told.isEmpty());
        QCOMPARE(desktop.state, DesktopNotifications::State::Attention); // still marked
        now = now.addSecs(60);
        alarms.rowsAssessed("Kassa", {"3"}, {"12 offen"}, now);
        alarms.rowsAssessed("Kassa", {"3"}, {"12 offen"}, now);
        QCOMPARE(desktop.told, QStringList{"LORVEX Monitor - Kassa: Nr 3: 12 offen"});

        alarms.setEnabled(false);
        alarms.rowsAssessed("Kassa", {"4"}, {"x"}, now);
        QCOMPARE(desktop.told.size(), 1);
        QCOMPARE(desktop.state, DesktopNotifications::State::Attention);
    }

    void snoozeHoldsTheHourOverAFlappingRow() {
        RecordingDesktop desktop;
        AlarmNotifier alarms(desktop);
        QTime now(10, 0);
        alarms.rowsAssessed("Kassa", {"3", "4"}, {"12 offen", ""}, now);
        QCOMPARE(desktop.told.size(), 1);
        alarms.snooze("Kassa", "3", now);
        // Normal and standing out by turns, a refresh every 2.5 minutes, for the whole hour.
        for (int refresh = 1; refresh < 24; ++refresh) {
            now = now.addSecs(150);
            alarms.rowsAssessed("Kassa", {"3", "4"}, {refresh % 2 ? "" : "12 offen", ""}, now);
        }
        QCOMPARE(desktop.told.size(), 1);
        now = now.addSecs(150); // the hour is over
        alarms.rowsAssessed("Kassa", {"3", "4"}, {"12 offen", ""}, now);
        QCOMPARE(desktop.told.size(), 2);
        QVERIFY(!alarms.isSnoozed("Kassa", "3", now));
    }

    void manyRowsAtOnceCollapseIntoASummary() {
        RecordingDesktop desktop;
        AlarmNotifier alarms(desktop);
        const QTime now(9, 0);
        alarms.rowsAssessed("Kassa", {"1", "2", "3"}, {"a", "b", "c"}, now);
        QCOMPARE(desktop.told.size(), 3);
        alarms.rowsAssessed("Zeiterfassung", {"1", "2", "3", "4"}, {"a", "b", "c", "d"}, now);
        QCOMPARE(desktop.told.size(), 4);
        QCOMPARE(desktop.told.last(), QString("LORVEX Monitor - Zeiterfassung: 4 Zeilen brauchen "
                                              "Aufmerksamkeit: Nr 1, 2, 3, 4"));
    }
};

QTEST_APPLESS_MAIN(TestAlarmNotifier)
#include "tst_alarmnotifier.moc"
