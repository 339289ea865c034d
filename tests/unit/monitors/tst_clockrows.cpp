#include "monitors/ClockRows.h"

#include "RowTexts.h"

#include <QtTest>

// The four time-clock rows and their exact differences, in a point and a comma locale.
class TestClockRows : public QObject {
    Q_OBJECT
private slots:
    void buildsRows_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("four clocks")
            << "en_US"
            << "1|10|10|5|6|2|20|18|7|7|3|0|0|0|0|4|5|5|1|1"
            << QStringList{"1;10;10;0;5;6;-1", "2;20;18;2;7;7;0", "3;0;0;0;0;0;0", "4;5;5;0;1;1;0"};
        QTest::newRow("empty fields count as 0, missing clocks add no row")
            << "en_US"
            << "1|10||5|" << QStringList{"1;10;0;10;5;0;5"};
        QTest::newRow("empty clock number shown as 0")
            << "en_US"
            << "|1|1|1|1" << QStringList{"0;1;1;0;1;1;0"};
        QTest::newRow("non-numeric value costs only its clock")
            << "en_US"
            << "1|x|1|1|1|2|3|1|1|1" << QStringList{"2;3;1;2;1;1;0"};
        QTest::newRow("incomplete clock adds no row")
            << "en_US"
            << "1|1|1|1|1|2|1|1|1" << QStringList{"1;1;1;0;1;1;0"};
        QTest::newRow("empty reply") << "en_US"
                                     << "" << QStringList{};
        QTest::newRow("surplus fields are ignored")
            << "en_US"
            << "1|1|1|1|1|2|1|1|1|1|3|1|1|1|1|4|1|1|1|1|5|1|1|1|1|6"
            << QStringList{"1;1;1;0;1;1;0", "2;1;1;0;1;1;0", "3;1;1;0;1;1;0", "4;1;1;0;1;1;0"};
        QTest::newRow("decimal comma") << "de_DE"
                                       << "1|2,5|1|0|0" << QStringList{"1;2,5;1;1,5;0;0;0"};
        QTest::newRow("decimal point is not a number in a comma locale")
            << "de_DE"
            << "1|2.5|1|0|0" << QStringList{};
        QTest::newRow("decimal point")
            << "en_US"
            << "1|2.5|1|0.10|0.05" << QStringList{"1;2.5;1;1.5;0.10;0.05;0.05"};
        QTest::newRow("exact where a double is not")
            << "en_US"
            << "1|0.3|0.1|10000000000000000.1|0.1"
            << QStringList{"1;0.3;0.1;0.2;10000000000000000.1;0.1;10000000000000000.0"};
        QTest::newRow("negative values") << "en_US"
                                         << "1|-5|3|0|-2" << QStringList{"1;-5;3;-8;0;-2;2"};
    }
    void buildsRows() {
        QFETCH(QString, locale);
        QFETCH(QString, reply);
        QFETCH(QStringList, rows);
        QCOMPARE(rowTexts(ClockRows(QLocale(locale)).rows(reply)), rows);
    }

    void clockNumberIsNeverParsed() {
        const QList<QStringList> oneCell{{"Uhr;A", "1", "1", "0", "1", "1", "0"}};
        QCOMPARE(ClockRows(QLocale::c()).rows("Uhr;A|1|1|1|1"), oneCell);
    }
};

QTEST_APPLESS_MAIN(TestClockRows)
#include "tst_clockrows.moc"
