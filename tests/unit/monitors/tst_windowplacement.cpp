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
};

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
