#include "ShellFixture.h"

#include "platform/ListControl.h"
#include "platform/ListExport.h"
#include "platform/ListExporter.h"
#include "shell/FMStart.h"
#include "shell/frmProgrammverlauf.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <qtestspontaneevent.h>

namespace {

// The rows of a CSV file as a German spreadsheet program reads it: Python's csv module with
// ";" between the cells and the byte-order mark taken off, handed back as JSON.
QList<QStringList> readAsGermanCsv(const QString& path) {
    QProcess python;
    python.start("python3", {"-c",
                             "import csv, json, sys\n"
                             "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                             "    print(json.dumps(list(csv.reader(f, delimiter=';'))))",
                             path});
    if (!python.waitForFinished(20000) || python.exitCode() != 0) {
        return {{"python3 failed", QString::fromUtf8(python.readAllStandardError())}};
    }
    QList<QStringList> rows;
    for (const QVariant& row :
         QJsonDocument::fromJson(python.readAllStandardOutput()).toVariant().toList()) {
        rows << row.toStringList();
    }
    return rows;
}

} // namespace

class TestProgramLog : public QObject {
    Q_OBJECT

private slots:
    void windowLayout() {
        FakePlatform desktop;
        frmProgrammverlauf log(desktop.platform);
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

    void exportsAsGermanCsvAndToTheClipboard() {
        FakePlatform desktop;
        frmProgrammverlauf log(desktop.platform);
        log.StatusText("frmKassa.Timer1_Timer", "Status um ", "14:05:09");
        log.StatusText("Prüfung \"Größe\"", "Text, mit Komma", "");
        QTemporaryDir dir;
        const QString path = dir.filePath("verlauf.csv");
        QString suggested;
        log.exporter->setFileNameAsker([&](const QString& name) {
            suggested = name;
            return path;
        });
        log.show();
        log.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&log));
        QTest::keyClick(log.Verlauf, Qt::Key_S, Qt::ControlModifier); // Strg+S
        QCOMPARE(suggested, QString("Programmverlauf.csv"));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().startsWith("\xEF\xBB\xBFProgrammteil;Text;Parameter\r\n"));
        const QList<QStringList> expected{{"Programmteil", "Text", "Parameter"},
                                          {"Prüfung \"Größe\"", "Text, mit Komma", ""},
                                          {"frmKassa.Timer1_Timer", "Status um ", "14:05:09"}};
        QCOMPARE(readAsGermanCsv(path), expected);

        // Cells the log cannot hold (";" and line breaks) survive the round trip as well.
        const QList<QStringList> awkward{{"a;b", "\"x\";\"y\"", "Zeile 1\r\nZeile 2", "ÄÖÜß €"}};
        QFile raw(dir.filePath("roh.csv"));
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write(ListExport::csv({"1", "2", "3", "4"}, awkward));
        raw.close();
        const QList<QStringList> header{{"1", "2", "3", "4"}};
        QCOMPARE(readAsGermanCsv(raw.fileName()), header + awkward);

        log.exporter->copyToClipboard();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("Programmteil\tText\tParameter\n"
                         "Prüfung \"Größe\"\tText, mit Komma\t\n"
                         "frmKassa.Timer1_Timer\tStatus um \t14:05:09\n"));

        // A file that cannot be written is reported, not taken for saved.
        desktop.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!log.exporter->saveCsv(dir.filePath("fehlt/verlauf.csv")));
        QCOMPARE(desktop.messages.shown.size(), 1);
    }

    void keepsNewestHundredOnTop() {
        FakePlatform desktop;
        frmProgrammverlauf log(desktop.platform);
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
        FakePlatform desktop;
        frmProgrammverlauf log(desktop.platform);
        log.show();
        QVERIFY(log.close());
        QVERIFY(!log.isVisible());
    }
};

QTEST_MAIN(TestProgramLog)
#include "tst_programlog.moc"
