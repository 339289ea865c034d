#include "ShellFixture.h"

#include "platform/ListControl.h"
#include "shell/FMStart.h"
#include "shell/frmProgrammverlauf.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QtTest>
#include <qtestspontaneevent.h>

class TestProgramLog : public QObject {
    Q_OBJECT

private slots:
    void windowLayout() {
        frmProgrammverlauf log;
        log.Form_Load();
        QCOMPARE(log.windowTitle(), QStringLiteral("Programmverlauf"));
        QCOMPARE(log.size(), QSize(570, 288));
        QCOMPARE(log.Verlauf->geometry(), QRect(0, 0, 569, 289));
        QCOMPARE(log.Verlauf->columnCount(), 3);
        QTreeWidgetItem* header = log.Verlauf->headerItem();
        QCOMPARE(header->text(0), QStringLiteral("Programmteil"));
        QCOMPARE(header->text(1), QStringLiteral("Text"));
        QCOMPARE(header->text(2), QStringLiteral("Parameter"));
        const Qt::WindowFlags flags = log.windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        const QHeaderView* columns = log.Verlauf->header();
        // 175 : 275 : 595 of the list's width.
        QVERIFY(qAbs(columns->sectionSize(1) * 175 - columns->sectionSize(0) * 275) < 275 * 2);
        QVERIFY(qAbs(columns->sectionSize(2) * 175 - columns->sectionSize(0) * 595) < 595 * 2);

        // The list follows the window. A column the user widens past the edge keeps its width,
        // though the list now scrolls sideways, and so does every column when the window changes.
        log.resize(800, 400);
        QCOMPARE(log.Verlauf->geometry(), QRect(0, 0, 799, 401));
        QHeaderView* dragged = log.Verlauf->header();
        dragged->resizeSection(0, 700);
        const int second = dragged->sectionSize(1);
        log.resize(700, 300);
        QCoreApplication::processEvents();
        QCOMPARE(dragged->sectionSize(0), 700);
        QCOMPARE(dragged->sectionSize(1), second);
    }

    void keepsNewestHundredOnTop() {
        frmProgrammverlauf log;
        for (int entry = 1; entry <= 150; ++entry) {
            log.StatusText("Teil", "Eintrag ", QString::number(entry));
        }
        QCOMPARE(log.Verlauf->rowCount(), 100);
        QCOMPARE(log.Verlauf->rowText(0), QStringLiteral("Teil;Eintrag ;150"));
        QCOMPARE(log.Verlauf->rowText(99), QStringLiteral("Teil;Eintrag ;51"));
        QCOMPARE(log.Verlauf->topLevelItem(0)->text(1), QStringLiteral("Eintrag "));

        log.StatusText("", "", "");
        QCOMPARE(log.Verlauf->rowCount(), 100);
        QCOMPARE(log.Verlauf->rowText(0), QStringLiteral(";;"));
    }

    void entriesBeforeFirstShowingAreKept() {
        ShellFixture f;
        f.program->start();
        FormHelpers& helpers = f.program->api().helpers();
        for (int entry = 1; entry <= 150; ++entry) {
            helpers.AddListRow("frmZeiterfassung.Timer1_Timer", "Status um ",
                               QString::number(entry));
        }
        frmProgrammverlauf& log = f.program->windows().programLogWindow();
        QVERIFY(!log.isVisible());
        f.program->windows().mainWindow().mProgrammverlauf_Click();
        QVERIFY(log.isVisible());
        QCOMPARE(log.Verlauf->rowCount(), 100);
        QCOMPARE(log.Verlauf->rowText(0),
                 QStringLiteral("frmZeiterfassung.Timer1_Timer;Status um ;150"));
    }

    void closeBoxOnlyHides() {
        ShellFixture f;
        FMStart& main = f.program->start();
        main.mProgrammverlauf_Click();
        frmProgrammverlauf& log = f.program->windows().programLogWindow();
        log.StatusText("Teil", "Text", "1");
        QVERIFY(QTest::qWaitForWindowExposed(&log));

        // The close box: a spontaneous close event from the window system, refused.
        QCloseEvent closeBox;
        QSpontaneKeyEvent::setSpontaneous(&closeBox);
        QCoreApplication::instance()->notify(&log, &closeBox);
        QVERIFY(!closeBox.isAccepted());
        QCoreApplication::processEvents();
        ShellFixture::flushDeletes();
        QVERIFY(!log.isVisible());
        QVERIFY(f.program->windows().isLoaded(&log));

        main.mProgrammverlauf_Click();
        QCOMPARE(&f.program->windows().programLogWindow(), &log);
        QVERIFY(log.isVisible());
        QCOMPARE(log.Verlauf->rowCount(), 1);
        QCOMPARE(log.Verlauf->rowText(0), QStringLiteral("Teil;Text;1"));
    }

    void closingFromCodeUnloads() {
        frmProgrammverlauf log;
        log.show();
        QVERIFY(log.close());
        QVERIFY(!log.isVisible());
    }
};

QTEST_MAIN(TestProgramLog)
#include "tst_programlog.moc"
