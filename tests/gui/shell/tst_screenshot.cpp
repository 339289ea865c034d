#include "ShellFixture.h"

#include "shell/FMStart.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QtTest>

// Draws the signed-in main window into a PNG in the build tree, so it can be looked at.
class TestScreenshot : public QObject {
    Q_OBJECT

private slots:
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
