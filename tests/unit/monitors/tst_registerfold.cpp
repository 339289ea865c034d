#include "monitors/LenientNumber.h"
#include "monitors/RegisterFold.h"
#include "monitors/ReplyFields.h"

#include "RowTexts.h"

#include <QtTest>

// The fold of the register reply: which rows, in which order, with which cell texts.
class TestRegisterFold : public QObject {
    Q_OBJECT
private slots:
    void cutsReplyAtBars_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("empty reply has no field") << "" << QStringList{};
        QTest::newRow("one field") << "7" << QStringList{"7"};
        QTest::newRow("doubled bar gives empty field") << "a||b" << QStringList{"a", "", "b"};
        QTest::newRow("trailing bar gives empty last field") << "a|" << QStringList{"a", ""};
        QTest::newRow("lone bar gives two empty fields") << "|" << QStringList{"", ""};
    }
    void cutsReplyAtBars() {
        QFETCH(QString, reply);
        QFETCH(QStringList, fields);
        QCOMPARE(cutReply(reply), fields);
    }

    void foldsRecordsIntoRows_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("empty reply") << "" << QStringList{};
        QTest::newRow("two registers, trailing bar")
            << "3|2|815|817|5|1|020|020|3|4|810|816|" << QStringList{"3;6;810;817", "5;1;020;020"};
        QTest::newRow("counters compare as text")
            << "1|1|99|99|1|1|100|100" << QStringList{"1;2;100;99"};
        QTest::newRow("equal-width counters compare like numbers")
            << "1|1|050|050|1|1|049|051" << QStringList{"1;2;049;051"};
        QTest::newRow("single record keeps Anzahl as received")
            << "4|007|1|2" << QStringList{"4;007;1;2"};
        QTest::newRow("repeated record sums 007") << "4|007|1|2|4|1|1|2" << QStringList{"4;8;1;2"};
        QTest::newRow("empty first key ends at once") << "|5|1|2" << QStringList{};
        QTest::newRow("empty key later ends the fold")
            << "1|1|1|1||9|9|9|2|1|1|1" << QStringList{"1;1;1;1"};
        QTest::newRow("keys 1 and 01 differ")
            << "1|1|5|5|01|2|6|6|1|1|5|5" << QStringList{"1;2;5;5", "01;2;6;6"};
        QTest::newRow("keys are case-sensitive")
            << "a|1|1|1|A|1|1|1" << QStringList{"a;1;1;1", "A;1;1;1"};
        QTest::newRow("order of first appearance")
            << "9|1|1|1|2|1|1|1|9|1|1|1|5|1|1|1" << QStringList{"9;2;1;1", "2;1;1;1", "5;1;1;1"};
        QTest::newRow("new register with incomplete record gets empty cells")
            << "1|1|1|1|2|3" << QStringList{"1;1;1;1", "2;3;;"};
        QTest::newRow("incomplete record of a known register keeps missing cells")
            << "1|007|5|6|1" << QStringList{"1;007;5;6"};
        QTest::newRow("incomplete record merges the fields it has")
            << "1|1|5|6|1|2|4" << QStringList{"1;3;4;6"};
        QTest::newRow("non-numeric Anzahl counts as 0")
            << "1|x|1|1|1|3|1|1" << QStringList{"1;3;1;1"};
        QTest::newRow("empty counter is smallest") << "1|1|5|5|1|1||" << QStringList{"1;2;;5"};
    }
    void foldsRecordsIntoRows() {
        QFETCH(QString, reply);
        QFETCH(QStringList, rows);
        QCOMPARE(
            rowTexts(RegisterFold(QLocale(QLocale::English, QLocale::UnitedStates)).rows(reply)),
            rows);
        // A register name may hold the list's own separator; it stays one cell.
        const QList<QStringList> oneCell{{"x;y", "1", "10", "10"}};
        QCOMPARE(RegisterFold(QLocale::c()).rows("x;y|1|10|10"), oneCell);
    }

    void sumUsesTheUsersDecimalSeparator() {
        const QString reply = "1|1.5|1|1|1|1|1|1|1|0.25|1|1";
        QCOMPARE(rowTexts(RegisterFold(QLocale(QLocale::German, QLocale::Germany)).rows(reply)),
                 QStringList{"1;2,75;1;1"});
        QCOMPARE(
            rowTexts(RegisterFold(QLocale(QLocale::English, QLocale::UnitedStates)).rows(reply)),
            QStringList{"1;2.75;1;1"});
    }

    void readsAtMost8192Records() {
        QStringList fields;
        for (int i = 0; i < RegisterFold::kMaxRecords + 5; ++i) {
            fields << QString::number(i) << "1"
                   << "1"
                   << "1";
        }
        const QList<RegisterRow> rows = RegisterFold(QLocale::c()).fold(fields);
        QCOMPARE(rows.size(), RegisterFold::kMaxRecords);
        QCOMPARE(rows.last().nr, QString::number(RegisterFold::kMaxRecords - 1));
    }

    void recordsBeyondTheBoundDoNotMerge() {
        QStringList fields;
        for (int i = 0; i < RegisterFold::kMaxRecords; ++i) {
            fields << "7"
                   << "1"
                   << "1"
                   << "1";
        }
        fields << "7"
               << "1000"
               << "0"
               << "9";
        const QList<RegisterRow> rows = RegisterFold(QLocale::c()).fold(fields);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().anzahl, QString("8192"));
        QCOMPARE(rows.first().firstCnt, QString("1"));
    }

    // Thousands of registers, each seen again after the index has grown several times: every
    // repeat must find its own row, never a neighbour's.
    void repeatsFindTheirRowAfterTheIndexGrew() {
        QStringList fields;
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 3000; ++i) {
                const int key = (i * 7919) % 3000;
                fields << QString::number(key) << QString::number(pass + 1)
                       << QString::number(500 - pass) << QString::number(500 + pass);
            }
        }
        const QStringList rows = rowTexts(RegisterFold(QLocale::c()).rows(fields.join('|')));
        QCOMPARE(rows.size(), 3000);
        for (int i = 0; i < 3000; ++i) {
            QCOMPARE(rows[i], QString("%1;3;499;501").arg((i * 7919) % 3000));
        }
    }

    void leadingNumberReadsLeniently_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "12" << 12.0;
        QTest::newRow("leading zeros") << "007" << 7.0;
        QTest::newRow("blanks inside are ignored") << " 1 2 3" << 123.0;
        QTest::newRow("dot is the decimal point") << "2.5" << 2.5;
        QTest::newRow("comma ends the number") << "2,5" << 2.0;
        QTest::newRow("trailing text ignored") << "42abc" << 42.0;
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("exponent without digits") << "5e" << 5.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("out of range reads as 0") << "1e999" << 0.0;
        QTest::newRow("15 digits") << "999999999999999" << 999999999999999.0;
        QTest::newRow("more digits than a double holds")
            << "12345678901234567" << 12345678901234567.0;
        QTest::newRow("sign only") << "-" << 0.0;
    }
    void leadingNumberReadsLeniently() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(leadingNumber(text), value);
    }

    void sumTextHasAtMost15SignificantDigits() {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(sumText(0.1 + 0.2, us), QString("0.3"));
        QCOMPARE(sumText(1234567.0, us), QString("1234567"));
        QCOMPARE(sumText(-0.0, us), QString("0"));
        QCOMPARE(sumText(2.5, QLocale(QLocale::German, QLocale::Germany)), QString("2,5"));
        QVERIFY(sumText(123456789012345678.0, us).startsWith("1.23456789012346"));
    }
};

QTEST_APPLESS_MAIN(TestRegisterFold)
#include "tst_registerfold.moc"
