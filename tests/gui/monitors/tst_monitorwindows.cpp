#include "AccessibleNames.h"
#include "FakeCache.h"
#include "FakeFormHost.h"
#include "FakePlatform.h"
#include "access/CacheApi.h"
#include "monitors/frmKassa.h"
#include "monitors/frmZeiterfassung.h"
#include "platform/LegibleColors.h"
#include "platform/ListControl.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

// A signed-in program over fakes, connected, with scripted telemetry replies.
struct Rig {
    FakePlatform desktop;
    FakeCacheServer server;
    FakeFormHost forms{desktop.time};
    SignInState state;
    std::unique_ptr<CacheApi> api;
    QString kassaReply = "3|2|815|817|5|1|020|020|3|4|810|816|";
    QString zeitReply = "1|10|10|5|6|2|20|18|7|7|3|0|0|0|0|4|5|5|1|1";

    Rig() {
        state.gFirma = "1";
        state.gFiliale = "0";
        state.gPersonalcode = "ABC";
        state.gConnectString = "cn_iptcp:localhost[1972]:LORVEX";
        server.onCall = [this](const QString& cls, const QString&,
                               const QList<CacheValue>& args) -> CacheValue {
            if (cls == "Telemetrie.Kassa") {
                return kassaReply;
            }
            if (cls == "Telemetrie.Zeiterfassung") {
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

    // Loading a window: construct it, then Form_Load.
    template <typename Window> Window* load(QWidget* owner = nullptr) {
        auto* window = new Window(*api, owner, QLocale(QLocale::German, QLocale::Germany));
        window->Form_Load();
        return window;
    }

    int refreshes(const QString& part) const {
        int count = 0;
        for (const QString& row : forms.log.rows) {
            count += row.startsWith(part + ";Status um ;") ? 1 : 0;
        }
        return count;
    }
};

QStringList rowsOf(const ListControl& list) {
    QStringList rows;
    for (int i = 0; i < list.rowCount(); ++i) {
        rows << list.rowText(i);
    }
    return rows;
}

// The next control that Tab moves to (skipping the list's inner parts, which take no tab).
QWidget* nextTabStop(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (next != from && (!(next->focusPolicy() & Qt::TabFocus) ||
                            next->parentWidget() != from->parentWidget())) {
        next = next->nextInFocusChain();
    }
    return next;
}

QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

} // namespace

class TestMonitorWindows : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        const QWidgetList leaked = QApplication::topLevelWidgets();
        qDeleteAll(leaked);
        QVERIFY(leaked.isEmpty());
    }

    void kassaLayoutAndFocus() {
        Rig rig;
        QPointer<frmKassa> window = rig.load<frmKassa>();
        QCOMPARE(window->windowTitle(), QString("Kassa"));
        QCOMPARE(window->size(), QSize(7440 / 15, 2760 / 15));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMinMaxButtonsHint));
        QCOMPARE(window->pos(), QPoint(2760 / 15, 3750 / 15));
        QCOMPARE(window->lstKassa->geometry(), twips(120, 120, 7215, 2055));
        QCOMPARE(window->Edit1->geometry(), twips(1440, 2280, 615, 375));
        QCOMPARE(window->cmdRefresh->geometry(), twips(4560, 2280, 1455, 375));
        QCOMPARE(window->OKButton->geometry(), twips(6120, 2280, 1215, 375));
        QCOMPARE(window->Label1->text(), QString("Auto Refresh"));
        QCOMPARE(window->Label2->text(), QString("sec"));
        QCOMPARE(window->Edit1->text(), QString("10"));
        QCOMPARE(window->cmdRefresh->text(), QString("Refresh"));
        QCOMPARE(window->OKButton->text(), QString("OK"));
        const QRect stand = window->lblStand->geometry();
        QVERIFY(stand.left() >= window->Label2->geometry().right());
        QVERIFY(stand.right() < window->cmdRefresh->geometry().left());
        QCOMPARE(window->lstKassa->headerItem()->text(3), QString("LastCNT"));
        QCOMPARE(window->lstKassa->columnCount(), 4);

        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        // Every control is announced by name and role, the list with its rows; the focus shows
        // before the first Tab; "(aus)" stands on the baseline of "sec".
        QVERIFY2(unnamedControls(*window).isEmpty(),
                 qPrintable(unnamedControls(*window).join(", ")));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->lstKassa);
        QCOMPARE(list->text(QAccessible::Name), QString("Kassa"));
        QCOMPARE(list->tableInterface()->rowCount(), window->lstKassa->rowCount());
        QVERIFY(window->testAttribute(Qt::WA_KeyboardFocusChange));
        QCOMPARE(window->lblAutoAus->geometry().top(), window->Label2->geometry().top());
        QCOMPARE(window->lblAutoAus->height(), window->Label2->height());
        QCOMPARE(window->lblAutoAus->alignment(), window->Label2->alignment());
        QCOMPARE(window->focusWidget(), window->cmdRefresh);
        QCOMPARE(nextTabStop(window->cmdRefresh), window->lstKassa);
        QCOMPARE(nextTabStop(window->lstKassa), window->OKButton);
        QCOMPARE(nextTabStop(window->OKButton), window->Edit1);
        window->close();
        QTRY_VERIFY(window.isNull());
    }

    void remembersPlaceColumnsAndIntervalAcrossOpenings() {
        Rig rig;
        QMap<QString, QString>& stored = rig.desktop.settings.values;
        QPointer<frmKassa> window = rig.load<frmKassa>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->move(100, 80);
        window->lstKassa->header()->resizeSection(0, 60);
        window->Edit1->setText("5");
        // The place kept is the window's inside, not its frame: a window manager tells the
        // frame only once the window is on screen, so a frame place would be given back as the
        // inside and the window would creep by the frame on every start.
        QVERIFY(window->frameGeometry() != window->geometry()); // the offscreen frame
        const QRect inside = window->geometry();
        window->close();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(stored.value("Cache Login/Monitor/KassaPosition"), QString("%1,%2,%3,%4")
                                                                        .arg(inside.x())
                                                                        .arg(inside.y())
                                                                        .arg(inside.width())
                                                                        .arg(inside.height()));
        QCOMPARE(stored.value("Cache Login/Monitor/KassaIntervallMs"), QString("5000"));
        QVERIFY(stored.value("Cache Login/Monitor/KassaSpalten").startsWith("60,"));
        QVERIFY(stored.keys().filter("/Login/").isEmpty());

        // Each opening comes back exactly where the last one was, whatever frame the window
        // manager draws around it (the offscreen platform draws one, too).
        for (int opening = 0; opening < 2; ++opening) {
            window = rig.load<frmKassa>();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(window->frameGeometry().topLeft(), QPoint(100, 80));
            window->close();
            QTRY_VERIFY(window.isNull());
        }
        QPointer<frmZeiterfassung> zeit = rig.load<frmZeiterfassung>();
        zeit->show();
        QVERIFY(QTest::qWaitForWindowExposed(zeit));
        zeit->move(120, 90);
        for (int opening = 0; opening < 3; ++opening) {
            const QPoint insideAt = zeit->geometry().topLeft();
            zeit->close();
            QTRY_VERIFY(zeit.isNull());
            QVERIFY(stored.value("Cache Login/Monitor/ZeiterfassungPosition")
                        .startsWith(QString("%1,%2,").arg(insideAt.x()).arg(insideAt.y())));
            zeit = rig.load<frmZeiterfassung>();
            zeit->show();
            QVERIFY(QTest::qWaitForWindowExposed(zeit));
            QCOMPARE(zeit->frameGeometry().topLeft(), QPoint(120, 90));
        }
        delete zeit;

        window = rig.load<frmKassa>();
        QCOMPARE(window->lstKassa->header()->sectionSize(0), 60);
        QCOMPARE(window->Edit1->text(), QString("5"));
        QCOMPARE(window->Timer1().interval(), 5000);
        delete window;

        // A place on a screen that is gone, and values that make no sense, are not used.
        stored["Cache Login/Monitor/KassaPosition"] = "5000,4000,496,184";
        stored["Cache Login/Monitor/KassaSpalten"] = "60,0,75";
        stored["Cache Login/Monitor/KassaIntervallMs"] = "70000";
        window = rig.load<frmKassa>();
        QCOMPARE(window->pos(), QPoint(2760 / 15, 3750 / 15));
        QVERIFY(!window->lstKassa->userSizedColumns());
        QCOMPARE(window->Edit1->text(), QString("10"));
        delete window;
    }

    void zeitLayoutFocusAndCentring() {
        Rig rig;
        QWidget owner;
        owner.setGeometry(300, 200, 700, 500);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QPointer<frmZeiterfassung> window = rig.load<frmZeiterfassung>(&owner);
        QCOMPARE(window->windowTitle(), QString("Zeiterfassung"));
        QCOMPARE(window->size(), QSize(7455 / 15, 2760 / 15));
        QCOMPARE(window->lstZeit->columnCount(), 7);
        QCOMPARE(window->lstZeit->headerItem()->text(6), QString("Diff"));
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(
            (window->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength() <=
            2);
        QCOMPARE(window->focusWidget(), window->OKButton);
        QCOMPARE(nextTabStop(window->OKButton), window->lstZeit);
        QCOMPARE(nextTabStop(window->lstZeit), window->cmdRefresh);
        QCOMPARE(nextTabStop(window->cmdRefresh), window->Edit1);
        window->close();
        QTRY_VERIFY(window.isNull());
    }

    void loadingFillsTheListAndLogsOnce() {
        Rig rig;
        QPointer<frmKassa> kassa = rig.load<frmKassa>();
        QCOMPARE(rowsOf(*kassa->lstKassa), QStringList({"3;6;810;817", "5;1;020;020"}));
        QCOMPARE(kassa->lstKassa->topLevelItem(0)->text(2), QString("810"));
        QVERIFY(kassa->lstKassa->selectedItems().isEmpty());
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 1);
        QCOMPARE(kassa->lblStand->text(), QString("Stand 12:00:00"));

        QPointer<frmZeiterfassung> zeit = rig.load<frmZeiterfassung>();
        QCOMPARE(rowsOf(*zeit->lstZeit).size(), 4);
        QCOMPARE(rowsOf(*zeit->lstZeit).first(), QString("1;10;10;0;5;6;-1"));
        QCOMPARE(rig.refreshes("frmZeiterfassung.Timer1_Timer"), 1);
        delete kassa;
        delete zeit;
    }

    void refreshButtonTimerAndIntervalField() {
        Rig rig;
        QPointer<frmKassa> window = rig.load<frmKassa>();
        QTest::mouseClick(window->cmdRefresh, Qt::LeftButton);
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 2);

        rig.desktop.time.advance(10000);
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 3);

        window->Edit1->selectAll();
        QTest::keyClicks(window->Edit1, "2,5");
        QCOMPARE(window->Timer1().interval(), 2500);
        // Done typing a refused text (Enter or leaving the field): the interval in effect shows.
        QTest::keyClicks(window->Edit1, "x");
        QTest::keyClick(window->Edit1, Qt::Key_Return);
        QCOMPARE(window->Edit1->text(), QString("2,5"));
        QTest::keyClick(window->Edit1, Qt::Key_Backspace); // "2," still reads as 2
        QCOMPARE(window->Timer1().interval(), 2000);
        window->Edit1->setText("x");
        QCOMPARE(window->Timer1().interval(), 2000);
        QVERIFY(window->lblAutoAus->isHidden());
        window->Edit1->setText("0");
        QVERIFY(!window->lblAutoAus->isHidden()); // "(aus)" next to the field
        rig.desktop.time.advance(120000);
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 3);
        QCOMPARE(window->lblStand->palette().color(QPalette::WindowText),
                 window->palette().color(QPalette::WindowText)); // nothing is late
        window->cmdRefresh->click();
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 4);
        delete window;
    }

    void failingRefreshKeepsRowsAndShowsTheStaleLine() {
        Rig rig;
        QPointer<frmKassa> window = rig.load<frmKassa>();
        const QStringList rows = rowsOf(*window->lstKassa);
        const QColor normal = window->lblStand->palette().color(QPalette::WindowText);

        rig.server.failures.insert("classAccess Telemetrie.Kassa",
                                   CacheError(5001, "Klasse nicht gefunden"));
        rig.desktop.time.advance(10000);
        QCOMPARE(rowsOf(*window->lstKassa), rows);
        QCOMPARE(window->lblStand->text(), QString("Stand 12:00:00"));
        const QColor stand = window->lblStand->palette().color(QPalette::WindowText);
        QCOMPARE(stand.hslHue(), 0); // red, dark enough to read on the window
        QVERIFY(LegibleColors::contrast(stand, window->palette().color(QPalette::Window)) >= 4.5);
        QCOMPARE(window->lblStand->toolTip(),
                 QString("Fehler 5001: Kein Objekt dieser Klasse mit dieser Kennung."));
        QCOMPARE(rig.desktop.messages.shown.size(), 0);

        QCOMPARE(rig.desktop.messages.shown.size(), 0);
        rig.desktop.time.advance(15000); // 25 s without an answer
        QCOMPARE(window->lblStand->toolTip(),
                 QString("Fehler 5001: Kein Objekt dieser Klasse mit dieser Kennung.\n"
                         "Keine Antwort seit 12:00:00"));

        rig.server.failures.clear();
        rig.kassaReply = "9|1|1|1";
        rig.desktop.time.advance(5000);
        QCOMPARE(rowsOf(*window->lstKassa), QStringList{"9;1;1;1"});
        QCOMPARE(window->lblStand->text(), QString("Stand 12:00:30"));
        QCOMPARE(window->lblStand->palette().color(QPalette::WindowText), normal);
        QVERIFY(window->lblStand->toolTip().isEmpty());
        delete window;
    }

    void okAndCloseBoxUnloadButEscapeDoesNot() {
        Rig rig;
        QPointer<frmKassa> kassa = rig.load<frmKassa>();
        kassa->show();
        QVERIFY(QTest::qWaitForWindowExposed(kassa));
        QTest::keyClick(kassa, Qt::Key_Escape);
        QVERIFY(kassa->isVisible());
        QTest::mouseClick(kassa->OKButton, Qt::LeftButton);
        QTRY_VERIFY(kassa.isNull());
        // Unloaded: its timer is gone with it.
        rig.desktop.time.advance(60000);
        QCOMPARE(rig.refreshes("frmKassa.Timer1_Timer"), 1);

        QPointer<frmZeiterfassung> zeit = rig.load<frmZeiterfassung>();
        zeit->show();
        QVERIFY(QTest::qWaitForWindowExposed(zeit));
        QVERIFY(zeit->close()); // the close box
        QTRY_VERIFY(zeit.isNull());
        rig.desktop.time.advance(60000);
        QCOMPARE(rig.refreshes("frmZeiterfassung.Timer1_Timer"), 1);
    }

    void enterInTheIntervalFieldPressesNoButton() {
        Rig rig;
        QPointer<frmZeiterfassung> window = rig.load<frmZeiterfassung>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->Edit1->setFocus();
        QTest::keyClick(window->Edit1, Qt::Key_Return);
        QVERIFY(window->isVisible());
        QCOMPARE(rig.refreshes("frmZeiterfassung.Timer1_Timer"), 1);
        delete window;
    }
};

QTEST_MAIN(TestMonitorWindows)
#include "tst_monitorwindows.moc"
