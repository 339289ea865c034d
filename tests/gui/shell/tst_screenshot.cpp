#include "ShellFixture.h"

#include "monitors/frmKassa.h"
#include "monitors/frmZeiterfassung.h"
#include "platform/ListControl.h"
#include "shell/FMStart.h"
#include "shell/frmEinstellungen.h"
#include "shell/frmProgrammverlauf.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QtTest>

namespace {

QString pictureOf(QWidget& window, const QString& name) {
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    return window.grab().save(path, "PNG") ? path : QString();
}

} // namespace

// Draws the signed-in main window into a PNG in the build tree, so it can be looked at.
class TestScreenshot : public QObject {
    Q_OBJECT

private slots:
    // The monitors with rows that need attention, and the log, drawn for a look by eye.
    void grabMonitorsAndLog() {
        ShellFixture f;
        int calls = 0;
        f.server.onCall = [&calls](const QString& cls, const QString&,
                                   const QList<CacheValue>& args) -> CacheValue {
            // Values that move from refresh to refresh, so the trend lines have a shape.
            const int step = calls++ / 2;
            if (cls == "Telemetrie.Kassa") {
                return QString("3|%1|815|%2|5|%3|020|020|7|0|1200|1200|")
                    .arg(10 + step % 4)
                    .arg(827 + step)
                    .arg(1 + step % 2);
            }
            if (cls == "Telemetrie.Zeiterfassung") {
                return QString("1|10|10|5|%1|2|20|18|7|7|3|0|0|0|0|4|5|5|1|1").arg(6 + step % 3);
            }
            return args.isEmpty() ? CacheValue(QString()) : args.first();
        };
        FMStart& main = f.program->start();
        main.cmdUnterprogramm_Click(1);
        main.cmdUnterprogramm_Click(0);
        main.mProgrammverlauf_Click();
        main.mEinstellungen_Click();
        for (int refresh = 0; refresh < 8; ++refresh) {
            f.fake.time.advance(10000);
        }
        frmKassa& kassa = f.program->windows().cashRegisterMonitor();
        frmZeiterfassung& zeit = f.program->windows().timeClockMonitor();
        QVERIFY(QTest::qWaitForWindowExposed(&kassa));
        QVERIFY(kassa.lstKassa->isMarked(0) && !kassa.lstKassa->isMarked(1));
        QVERIFY(zeit.lstZeit->isMarked(0) && zeit.lstZeit->isMarked(1));
        for (QWidget* window :
             QList<QWidget*>{&kassa, &zeit, &f.program->windows().settingsWindow(),
                             &f.program->windows().programLogWindow()}) {
            const QString path = pictureOf(*window, window->objectName() + ".png");
            QVERIFY(!path.isEmpty());
            qInfo("%s drawn to %s", qPrintable(window->objectName()), qPrintable(path));
        }
    }

    void grabMainWindow() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QPixmap shot = main.grab();
        QVERIFY(!shot.isNull());
        QCOMPARE(shot.size(), main.size() * shot.devicePixelRatio());

        const QString path =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("fmstart.png"));
        QVERIFY(shot.save(path, "PNG"));
        QImage reread(path);
        QVERIFY(!reread.isNull());
        // Not a blank picture: the buttons and the menu bar differ from the background.
        QSet<QRgb> colours;
        for (int y = 0; y < reread.height(); y += 4) {
            for (int x = 0; x < reread.width(); x += 4) {
                colours.insert(reread.pixel(x, y));
            }
        }
        QVERIFY(colours.size() > 2);
        qInfo("main window drawn to %s", qPrintable(path));
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
