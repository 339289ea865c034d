#include "platform/LegibleColors.h"
#include "platform/TrendDelegate.h"
#include "platform/WindowPlacement.h"

#include <QtTest>

// Which kept places and column widths are used again.
class TestWindowPlacement : public QObject {
    Q_OBJECT
private slots:
    void placeIsUsedOnlyWhereItsTitleBarCanBeGrabbed_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("used");
        QTest::newRow("on the first screen") << "100,80,496,184" << true;
        QTest::newRow("on the second screen") << "2000,100,496,184" << true;
        QTest::newRow("right of every screen") << "3000,100,496,184" << false;
        QTest::newRow("above the screens") << "100,-300,496,184" << false;
        QTest::newRow("only a corner left") << "2900,100,496,184" << false;
        QTest::newRow("title bar in the gap below the second screen")
            << "2000,1000,496,184" << false;
        QTest::newRow("not numbers") << "a,b,c,d" << false;
        QTest::newRow("no size") << "100,80,0,184" << false;
        QTest::newRow("three values") << "100,80,496" << false;
        QTest::newRow("absurd") << "100,80,99999999,184" << false;
    }
    void placeIsUsedOnlyWhereItsTitleBarCanBeGrabbed() {
        QFETCH(QString, stored);
        QFETCH(bool, used);
        const QList<QRect> screens{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1024, 768)};
        const std::optional<QRect> place = WindowPlacement::parseRect(stored);
        QCOMPARE(place && WindowPlacement::reachable(*place, screens), used);
        if (place) {
            QCOMPARE(WindowPlacement::rectText(*place), stored);
        }
    }

    void widthsAreUsedOnlyWhenTheyFitTheColumns() {
        QCOMPARE(WindowPlacement::parseWidths("40,120,120,120", 4),
                 std::optional<QList<int>>({40, 120, 120, 120}));
        QCOMPARE(WindowPlacement::widthsText({40, 120}), QString("40,120"));
        for (const char* bad : {"40,120,120", "40,0,120,120", "40,x,120,120", "", "40,20000,1,1"}) {
            QVERIFY2(!WindowPlacement::parseWidths(bad, 4), bad);
        }
    }

    // Every colour the program draws itself against both palettes it meets: a light one and a
    // dark one (WCAG 2.1 AA, 4.5:1).
    void drawnColoursAreLegibleOnLightAndDark_data() {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("base");
        QTest::addColumn<QColor>("link");
        QTest::newRow("light") << QColor(239, 239, 239) << QColor(Qt::white) << QColor(0, 0, 255);
        QTest::newRow("dark") << QColor(53, 53, 53) << QColor(35, 35, 35) << QColor(42, 130, 218);
        QTest::newRow("mid grey") << QColor(118, 118, 118) << QColor(128, 128, 128)
                                  << QColor(0, 0, 128);
    }
    void drawnColoursAreLegibleOnLightAndDark() {
        QFETCH(QColor, window);
        QFETCH(QColor, base);
        QFETCH(QColor, link);
        using namespace LegibleColors;
        QVERIFY(contrast(Qt::red, Qt::white) < kMinimumContrast); // plain red is not enough
        QCOMPARE(contrast(Qt::black, Qt::white), 21.0);
        const QColor stand = warningTextOn(window);
        QVERIFY(contrast(stand, window) >= kMinimumContrast);
        QCOMPARE(stand.hslHue(), 0); // still red
        QVERIFY(contrast(warningTextOn(base), base) >= kMinimumContrast);
        QVERIFY(contrast(attentionText(), attentionBackground()) >= kMinimumContrast);
        for (const QColor& behind : {base, attentionBackground()}) {
            QVERIFY(contrast(legibleOn(behind, link), behind) >= kMinimumContrast);
        }
    }

    // The trend line never overprints a cell's text, at 1x and 2x scaling alike.
    void trendLineKeepsOutOfTheText_data() {
        QTest::addColumn<QRect>("cell");
        QTest::addColumn<int>("textWidth");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("wide cell") << QRect(100, 0, 120, 18) << 40 << true;
        QTest::newRow("-1205 at 2x") << QRect(200, 0, 240, 36) << 180 << true;
        QTest::newRow("narrow cell: text first") << QRect(100, 0, 60, 18) << 50 << false;
        QTest::newRow("text fills the cell") << QRect(0, 0, 90, 18) << 90 << false;
    }
    void trendLineKeepsOutOfTheText() {
        QFETCH(QRect, cell);
        QFETCH(int, textWidth);
        QFETCH(bool, drawn);
        const QRect area = TrendDelegate::lineArea(cell, textWidth);
        QCOMPARE(!area.isEmpty(), drawn);
        if (drawn) {
            QVERIFY(area.left() > cell.left() + textWidth);
            QVERIFY(cell.contains(area));
        }
    }
};

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
