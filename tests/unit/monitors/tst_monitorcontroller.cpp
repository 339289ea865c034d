#include "FakeCache.h"
#include "FakeFormHost.h"
#include "FakePlatform.h"
#include "access/CacheApi.h"
#include "monitors/MonitorController.h"
#include "platform/RowList.h"

#include <QtTest>

#include <memory>

namespace {

// A list that writes each operation into the server's call log, so that one sequence shows
// whether all server work came before the list was touched.
class RecordingList : public RowList {
public:
    explicit RecordingList(QStringList& log)
        : m_log(log) {}
    void insertAt(const QString& rowText, int position) override {
        m_log << QString("list insert %1 %2").arg(position).arg(rowText);
        rows.insert(position, rowText);
    }
    void removeAt(int position) override {
        m_log << QString("list remove %1").arg(position);
        rows.removeAt(position);
    }
    void clear() override {
        m_log << "list clear";
        rows.clear();
    }
    void append(const QString& rowText) override {
        m_log << "list append " + rowText;
        rows.append(rowText);
    }
    int rowCount() const override { return static_cast<int>(rows.size()); }
    QString rowText(int position) const override { return rows.at(position); }
    void resetView() override { m_log << "list resetView"; }
    void markRow(int position, const QString& reason, const QList<int>&) override {
        marks[position] = reason;
    }
    void showTrend(int position, int column, const QList<double>& values) override {
        trends[QString("%1/%2").arg(position).arg(column)] = values;
    }

    QStringList rows;
    QMap<int, QString> marks;
    QMap<QString, QList<double>> trends;

private:
    QStringList& m_log;
};

// One signed-in program over fakes, already connected, with scripted monitor replies.
struct Rig {
    FakePlatform desktop;
    FakeCacheServer server;
    FakeFormHost forms{desktop.time};
    SignInState state;
    std::unique_ptr<CacheApi> api;
    RecordingList list{server.calls};
    QString kassaReply = "3|2|815|817|5|1|020|020|3|4|810|816|";
    QString zeitReply = "1|10|10|5|6|2|20|18|7|7|3|0|0|0|0|4|5|5|1|1";

    Rig() {
        state.gFirma = "1";
        state.gFiliale = "0";
        state.gPersonalcode = "ABC";
        state.gConnectString = "cn_iptcp:localhost[1972]:LORVEX";
        server.onCall = [this](const QString& cls, const QString& method,
                               const QList<CacheValue>& args) -> CacheValue {
            if (cls == "Telemetrie.Kassa" && method == "NichtVerbuchtStatus") {
                return kassaReply;
            }
            if (cls == "Telemetrie.Zeiterfassung" && method == "Zaehlerstand") {
                return zeitReply;
            }
            return args.isEmpty() ? CacheValue(QString()) : args.first();
        };
        // A signed-in user: every new connection's sign-in is accepted.
        server.onSignIn = [](const QString&, const QString&, const QString&) { return true; };
        api = std::make_unique<CacheApi>(state, desktop.platform, forms, server.creator());
        api->connection().BeginCacheAccess(false, false);
        api->connection().EndCacheAccess(false);
        server.calls.clear();
    }

    std::unique_ptr<MonitorController> kassa(const QLocale& locale = QLocale::c()) {
        return std::make_unique<MonitorController>(*api, MonitorKind::kassa(), list, locale);
    }
    std::unique_ptr<MonitorController> zeit(const QLocale& locale = QLocale::c()) {
        return std::make_unique<MonitorController>(*api, MonitorKind::zeiterfassung(), list,
                                                   locale);
    }
    // Refreshes started, by their log entries.
    int logEntries(const QString& part) const {
        int count = 0;
        for (const QString& row : forms.log.rows) {
            count += row.startsWith(part + ";Status um ;") ? 1 : 0;
        }
        return count;
    }
};

} // namespace

class TestMonitorController : public QObject {
    Q_OBJECT
private slots:
    void kassaRefreshFinishesServerWorkBeforeTouchingTheList() {
        Rig rig;
        rig.desktop.time.setTimeOfDay(QTime(14, 5, 9));
        auto monitor = rig.kassa();
        monitor->Timer1_Timer();
        QCOMPARE(rig.server.calls,
                 QStringList({"isConnected", "classAccess Telemetrie.Kassa",
                              "call Telemetrie.Kassa.NichtVerbuchtStatus()",
                              "close Telemetrie.Kassa", "list clear", "list append 3;6;810;817",
                              "list append 5;1;020;020", "list resetView"}));
        QCOMPARE(rig.forms.log.rows, QStringList{"frmKassa.Timer1_Timer;Status um ;14:05:09"});
        QVERIFY(rig.forms.idleTimer().isEnabled());
        QCOMPARE(rig.server.liveObjects, 0);
        QCOMPARE(monitor->standText(), QString("Stand 14:05:09"));
        QVERIFY(!monitor->isStale());
    }

    void emptyKassaReplyOnlyEmptiesTheList() {
        Rig rig;
        rig.kassaReply = "|5|1|2";
        auto monitor = rig.kassa();
        monitor->Timer1_Timer();
        QCOMPARE(rig.server.callsStartingWith("list"), QStringList{"list clear"});
    }

    void zeitRefreshListsClocksWithoutResettingTheView() {
        Rig rig;
        auto monitor = rig.zeit();
        monitor->Timer1_Timer();
        QCOMPARE(rig.server.calls,
                 QStringList({"isConnected", "classAccess Telemetrie.Zeiterfassung",
                              "call Telemetrie.Zeiterfassung.Zaehlerstand()",
                              "close Telemetrie.Zeiterfassung", "list clear",
                              "list append 1;10;10;0;5;6;-1", "list append 2;20;18;2;7;7;0",
                              "list append 3;0;0;0;0;0;0", "list append 4;5;5;0;1;1;0"}));
        QCOMPARE(rig.logEntries("frmZeiterfassung.Timer1_Timer"), 1);
    }

    void timerRefreshesEveryIntervalAfterTheFirst() {
        Rig rig;
        auto monitor = rig.kassa();
        QCOMPARE(monitor->timer().interval(), 10000);
        QVERIFY(monitor->timer().isEnabled());
        rig.desktop.time.advance(9999);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 0);
        rig.desktop.time.advance(1);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 1);
        rig.desktop.time.advance(20000);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 3);
    }

    void intervalTextRules() {
        Rig rig;
        auto monitor = rig.kassa(QLocale(QLocale::German, QLocale::Germany));
        monitor->Edit1_Change("5");
        QCOMPARE(monitor->timer().interval(), 5000);
        for (const char* bad : {"", "abc", "-1", "65,536", "2.5"}) {
            monitor->Edit1_Change(bad);
            QCOMPARE(monitor->timer().interval(), 5000);
        }
        monitor->Edit1_Change("2,5");
        QCOMPARE(monitor->timer().interval(), 2500);

        monitor->Edit1_Change("0");
        rig.desktop.time.advance(600000);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 0);
        monitor->Timer1_Timer(); // "Refresh" still works
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 1);
        monitor->Edit1_Change("1");
        rig.desktop.time.advance(1000);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 2);
    }

    void failingAccessKeepsRowsAndMarksThemOld() {
        Rig rig;
        auto monitor = rig.kassa();
        monitor->Timer1_Timer();
        const QStringList goodRows = rig.list.rows;
        int statusChanges = 0;
        monitor->setOnStatusChanged([&] { ++statusChanges; });

        rig.desktop.time.advance(10000); // 12:00:10, still good
        statusChanges = 0;
        rig.server.failures.insert("call Telemetrie.Kassa.NichtVerbuchtStatus",
                                   CacheError(5001, "Methode; kaputt"));
        rig.server.calls.clear();
        rig.desktop.time.advance(10000);
        QCOMPARE(rig.list.rows, goodRows);
        QVERIFY(rig.server.callsStartingWith("list").isEmpty());
        QVERIFY(monitor->isStale());
        QCOMPARE(monitor->standText(), QString("Stand 12:00:10"));
        // German for the user; the server's own words only follow in the log.
        QCOMPARE(monitor->errorText(),
                 QString("Fehler 5001: Kein Objekt dieser Klasse mit dieser Kennung."));
        QCOMPARE(rig.forms.log.rows.first(),
                 QString("frmKassa.Timer1_Timer;Fehler ;5001: Kein Objekt dieser Klasse mit dieser "
                         "Kennung. (Server: Methode, kaputt)"));
        QVERIFY(rig.forms.idleTimer().isEnabled());
        QCOMPARE(rig.server.liveObjects, 0);
        QCOMPARE(rig.desktop.messages.shown.size(), 0);
        QCOMPARE(rig.desktop.processEnd.endCount, 0);
        QCOMPARE(statusChanges, 1);

        rig.server.failures.clear();
        rig.desktop.time.advance(10000);
        QVERIFY(!monitor->isStale());
        QCOMPARE(monitor->standText(), QString("Stand 12:00:30"));
        QCOMPARE(statusChanges, 2);
    }

    void failingClassAccessAndConnectErrorsAreHandledAlike() {
        Rig rig;
        auto monitor = rig.zeit();
        rig.server.failures.insert("classAccess Telemetrie.Zeiterfassung",
                                   CacheError(7, "Klasse fehlt"));
        monitor->Timer1_Timer();
        QVERIFY(monitor->isStale());
        QCOMPARE(monitor->standText(), QString("Stand --:--:--"));
        QVERIFY(rig.forms.idleTimer().isEnabled());

        // An error out of the connection step itself (a broken is-connected check).
        rig.server.failures.clear();
        rig.server.failures.insert("isConnected", CacheError(9, "Verbindung weg"));
        rig.server.failures.insert("connect", CacheError(9, "Verbindung weg"));
        monitor->Timer1_Timer();
        QCOMPARE(monitor->errorText(), QString("Fehler 9: Verbindung weg"));
        QVERIFY(rig.forms.idleTimer().isEnabled());
    }

    void requestsDuringARefreshCollapseIntoOneRunAfterIt() {
        Rig rig;
        auto monitor = rig.kassa();
        int nestedTries = 0;
        // CloseCacheObject lets pending events run: ticks and "Refresh" clicks arrive there.
        rig.desktop.time.setOnProcessEvents([&] {
            ++nestedTries;
            QVERIFY(monitor->isRefreshing());
            monitor->Timer1_Timer();
            monitor->refreshForUser();
            QCOMPARE(rig.desktop.cursor.current(), MouseCursor::ArrowHourglass);
        });
        monitor->Timer1_Timer();
        rig.desktop.time.setOnProcessEvents({});
        QVERIFY(nestedTries > 0);
        QCOMPARE(rig.server.callsStartingWith("classAccess").size(), 1);
        QCOMPARE(rig.desktop.cursor.current(), MouseCursor::ArrowHourglass);
        rig.desktop.time.runPosted();
        QCOMPARE(rig.server.callsStartingWith("classAccess").size(), 2);
        QCOMPARE(rig.desktop.cursor.current(), MouseCursor::Default);
    }

    void monitorOpenedDuringTheOthersRefreshFillsWhenItEnds() {
        Rig rig;
        auto kassa = rig.kassa();
        std::unique_ptr<MonitorController> zeit;
        rig.desktop.time.setOnProcessEvents([&] {
            if (!zeit) {
                zeit = rig.zeit();
                zeit->refreshForUser(); // the window's opening
            }
        });
        kassa->Timer1_Timer();
        rig.desktop.time.setOnProcessEvents({});
        QCOMPARE(zeit->standText(), QString("Stand --:--:--"));
        rig.desktop.time.advance(0); // the event loop, long before the 10 s timer
        QCOMPARE(rig.list.rows.last(), QString("4;5;5;0;1;1;0"));
        QCOMPARE(zeit->standText(), QString("Stand 12:00:00"));
    }

    void dataAgeStampLogAndRedLine() {
        Rig rig;
        rig.desktop.time.setTimeOfDay(QTime(12, 0, 9, 900));
        // The reply takes 300 ms: the rows arrive in the next second.
        rig.server.onCall = [&](const QString&, const QString&, const QList<CacheValue>&) {
            rig.desktop.time.advance(300);
            return CacheValue(rig.kassaReply);
        };
        auto monitor = rig.kassa();
        monitor->Timer1_Timer();
        QCOMPARE(rig.forms.log.rows.first(), QString("frmKassa.Timer1_Timer;Status um ;12:00:09"));
        QCOMPARE(monitor->standText(), QString("Stand 12:00:10"));
        QVERIFY(!monitor->isStale());

        // No refresh gets through (the timer is stopped): no error, but the rows grow old.
        monitor->timer().setEnabled(false);
        rig.desktop.time.advance(2 * 10000 + MonitorController::kAgeGraceMs - 1);
        QVERIFY(!monitor->isStale());
        rig.desktop.time.advance(1);
        QCOMPARE(monitor->staleReason(), QString("Keine Antwort seit 12:00:10"));

        // The outage is logged once when the rows turn old, failures once when they start, the
        // recovery once.
        rig.server.failures.insert("classAccess Telemetrie.Kassa", CacheError(9002, "still"));
        monitor->Timer1_Timer();
        monitor->Timer1_Timer();
        rig.server.failures.clear();
        monitor->Timer1_Timer();
        QCOMPARE(
            rig.forms.log.rows,
            QStringList({"frmKassa.Timer1_Timer;Wieder erreichbar um ;12:00:35",
                         "frmKassa.Timer1_Timer;Status um ;12:00:35",
                         "frmKassa.Timer1_Timer;Status um ;12:00:35",
                         "frmKassa.Timer1_Timer;Fehler ;9002: Der Server hat nicht rechtzeitig "
                         "geantwortet. Die Verbindung wurde getrennt. (Server: still)",
                         "frmKassa.Timer1_Timer;Status um ;12:00:35",
                         "frmKassa.Timer1_Timer;Keine Antwort seit ;12:00:10",
                         "frmKassa.Timer1_Timer;Status um ;12:00:09"}));
    }

    void unreachableServerEndsTheProgramThroughTheConnectionRules() {
        Rig rig;
        auto monitor = rig.kassa();
        rig.api->connection().DisconnectCache();
        rig.server.connectResult = false;
        rig.desktop.messages.queueAnswer(MsgAnswer::Ok);
        rig.desktop.messages.queueAnswer(MsgAnswer::Ok);
        rig.server.calls.clear();
        // The timer keeps firing during the pauses between tries; those ticks wait in line.
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, monitor->Timer1_Timer());
        QCOMPARE(rig.desktop.processEnd.endCount, 1);
        QCOMPARE(rig.server.callsStartingWith("connect").size(), 6);
        QCOMPARE(rig.logEntries("frmKassa.Timer1_Timer"), 1);
        QVERIFY(rig.server.callsStartingWith("list").isEmpty());
    }

    void otherMonitorDoesNotNestIntoTheConnectionTries() {
        Rig rig;
        auto kassa = rig.kassa();
        auto zeit = rig.zeit();
        rig.api->connection().DisconnectCache();
        rig.server.connectResult = false;
        rig.desktop.messages.queueAnswer(MsgAnswer::Ok);
        rig.desktop.messages.queueAnswer(MsgAnswer::Ok);
        rig.server.calls.clear();
        // The time-clock timer fires during the pauses between the register monitor's tries.
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, kassa->Timer1_Timer());
        QCOMPARE(rig.server.callsStartingWith("connect").size(), 6);
        QCOMPARE(rig.desktop.messages.shown.size(), 2);
        QCOMPARE(rig.logEntries("frmZeiterfassung.Timer1_Timer"), 0);
        QVERIFY(!kassa->isRefreshing());
        // Both lines turned red during the tries, and the log says so.
        QVERIFY(kassa->isStale() && zeit->isStale());
        QVERIFY(rig.forms.log.rows.contains(
            "frmZeiterfassung.Timer1_Timer;Keine Antwort seit ;12:00:00"));

        // Its ticks waited in line: once the access is over, they run as one refresh.
        rig.server.connectResult = true;
        rig.desktop.time.runPosted();
        QCOMPARE(rig.logEntries("frmZeiterfassung.Timer1_Timer"), 1);
    }

    void rowsStandOutByTheStoredLimitsWithoutChangingThem() {
        Rig rig;
        rig.desktop.settings.values["Cache Login/Monitor/KassaAnzahlGrenze"] = "6";
        rig.desktop.settings.values["Cache Login/Monitor/KassaStillstandMinuten"] = "x";
        auto monitor = rig.kassa();
        QCOMPARE(monitor->attentionLimits().count, 6.0);
        QCOMPARE(monitor->attentionLimits().stillMinutes, AttentionLimits::kDefaultStillMinutes);
        monitor->Timer1_Timer();
        QCOMPARE(rig.list.rows, QStringList({"3;6;810;817", "5;1;020;020"}));
        QCOMPARE(rig.list.marks.value(0), QString("6 nicht verbuchte Vorgänge (Grenze 6)"));
        QCOMPARE(rig.list.marks.value(1), QString());
        monitor->setAttentionLimits({7, 15});
        QCOMPARE(rig.list.marks.value(0), QString());

        auto zeit = rig.zeit();
        zeit->Timer1_Timer();
        QCOMPARE(zeit->attentionReasons(),
                 QStringList({"Diff S Ist - S Soll ist -1, nicht 0",
                              "Diff E Ist - E Soll ist 2, nicht 0", "", ""}));
        QVERIFY(rig.desktop.settings.values.keys().filter("/Login/").isEmpty());
    }

    void trendHistoryIsBoundedAndKeepsAnAbsentRegister() {
        Rig rig;
        rig.desktop.settings.values["Cache Login/Monitor/TrendWerte"] = "10";
        auto monitor = rig.kassa();
        for (int i = 0; i < 12; ++i) {
            rig.kassaReply = QString("3|%1|1|%2|").arg(i).arg(i);
            monitor->Timer1_Timer();
        }
        const QList<double> lastTen{2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        QCOMPARE(monitor->history().values("3", 0), lastTen);
        QCOMPARE(rig.list.trends.value("0/1"), lastTen);

        rig.kassaReply = "5|1|1|1|"; // register 3 is away for a refresh
        monitor->Timer1_Timer();
        QCOMPARE(monitor->history().values("3", 0), lastTen);
        QCOMPARE(rig.list.trends.value("0/1"), QList<double>{1});
        rig.kassaReply = "5|2|1|1|3|20|1|30|";
        monitor->Timer1_Timer();
        QCOMPARE(monitor->history().values("3", 0), lastTen.mid(1) + QList<double>{20});
        QCOMPARE(rig.list.trends.value("1/1"), lastTen.mid(1) + QList<double>{20});
        monitor->setTrendLength(2); // below the least length
        QCOMPARE(monitor->history().length(), RowHistory::kMinLength);

        // A window opened anew starts without history; the clocks follow both differences.
        monitor = rig.zeit();
        QCOMPARE(monitor->history().rowCount(), 0);
        monitor->Timer1_Timer();
        QCOMPARE(rig.list.trends.value("0/3"), QList<double>{0});
        QCOMPARE(rig.list.trends.value("0/6"), QList<double>{-1});

        // At most 8,192 rows: the one seen longest ago goes.
        RowHistory history({1}, QLocale::c());
        for (int key = 0; key <= RowHistory::kMaxRows; ++key) {
            history.record({{QString::number(key), "1"}});
        }
        QCOMPARE(history.rowCount(), RowHistory::kMaxRows);
        QVERIFY(history.values("0", 0).isEmpty());
        QCOMPARE(history.values("1", 0), QList<double>{1});
    }

    void controllerGoneDuringRefreshIsNotTouched() {
        Rig rig;
        auto monitor = rig.kassa();
        // The window is unloaded while the refresh waits (the program is ending).
        rig.desktop.time.setOnProcessEvents([&] { monitor.reset(); });
        monitor->Timer1_Timer();
        QVERIFY(!monitor);
        QVERIFY(rig.server.callsStartingWith("list").isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestMonitorController)
#include "tst_monitorcontroller.moc"
