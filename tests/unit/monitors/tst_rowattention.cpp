#include "monitors/RowAttention.h"

#include "RowTexts.h"

#include <QtTest>

namespace {

QStringList reasonsOf(const QList<RowAttention::Mark>& marks) {
    QStringList reasons;
    for (const RowAttention::Mark& mark : marks) {
        reasons << mark.reason;
    }
    return reasons;
}

} // namespace

// Which rows stand out, for replies as the lists show them, and why.
class TestRowAttention : public QObject {
    Q_OBJECT
private slots:
    void clocksStandOutOnANonZeroDifference_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("reason");
        QTest::newRow("both zero") << "1;10;10;0;5;5;0"
                                   << "";
        QTest::newRow("zero with scale") << "1;2,5;2,5;0,0;1;1;0"
                                         << "";
        QTest::newRow("minus zero text") << "1;0;0;-0;0;0;0"
                                         << "";
        QTest::newRow("first negative") << "1;5;6;-1;5;5;0"
                                        << "Diff E Ist - E Soll ist -1, nicht 0";
        QTest::newRow("second fraction") << "2;1;1;0;2,5;1;1,5"
                                         << "Diff S Ist - S Soll ist 1,5, nicht 0";
        QTest::newRow("both") << "3;4;1;3;1;2;-1"
                              << "Diff E Ist - E Soll ist 3, nicht 0\n"
                                 "Diff S Ist - S Soll ist -1, nicht 0";
        QTest::newRow("short row") << "4;1"
                                   << "";
    }
    void clocksStandOutOnANonZeroDifference() {
        QFETCH(QString, row);
        QFETCH(QString, reason);
        RowAttention attention(RowAttention::Rule::Clocks, QLocale(QLocale::German));
        QCOMPARE(reasonsOf(attention.assess(cellRows({row}), QTime(8, 0))), QStringList{reason});
    }

    void registersStandOutAtTheCountLimit_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("standsOut");
        QTest::newRow("below") << "1;9;100;108" << false;
        QTest::newRow("at the limit") << "1;10;100;109" << true;
        QTest::newRow("as received, leading zeros") << "1;012;1;12" << true;
        QTest::newRow("a sum with decimal comma") << "1;9,5;1;9" << false;
        QTest::newRow("a sum above") << "1;10,5;1;9" << true;
        QTest::newRow("not a number") << "1;x;1;9" << false;
    }
    void registersStandOutAtTheCountLimit() {
        QFETCH(QString, row);
        QFETCH(bool, standsOut);
        RowAttention attention(RowAttention::Rule::Registers, QLocale(QLocale::German));
        const RowAttention::Mark mark = attention.assess(cellRows({row}), QTime(8, 0)).value(0);
        const QString reason = mark.reason;
        QCOMPARE(mark.columns, standsOut ? QList<int>{1} : QList<int>{});
        QCOMPARE(!reason.isEmpty(), standsOut);
        QVERIFY(reason.isEmpty() || reason.contains("(Grenze 10)"));
    }

    void aRegisterStandsOutWhenItsCounterStandsStillWithOpenTransactions() {
        RowAttention attention(RowAttention::Rule::Registers, QLocale(QLocale::German));
        attention.setLimits({10, 2});
        const QStringList rows{"1;3;100;105", "2;0;0;0", "3;1;7;7"};
        QTime now(23, 59);
        QCOMPARE(reasonsOf(attention.assess(cellRows(rows), now)), QStringList({"", "", ""}));
        now = now.addSecs(60); // across midnight
        QCOMPARE(reasonsOf(attention.assess(cellRows(rows), now)), QStringList({"", "", ""}));
        now = now.addSecs(60);
        QCOMPARE(reasonsOf(attention.assess(cellRows(rows), now)),
                 QStringList({"LastCNT 105 seit 2 min unverändert, Vorgänge offen",
                              "", // nothing open: a quiet register is fine
                              "LastCNT 7 seit 2 min unverändert, Vorgänge offen"}));
        // The counter moves: the register is fine again; one that vanished starts afresh.
        now = now.addSecs(60);
        QCOMPARE(reasonsOf(attention.assess(cellRows({"1;3;100;106"}), now)), QStringList{""});
        now = now.addSecs(60);
        QCOMPARE(reasonsOf(attention.assess(cellRows({"1;3;100;106", "3;1;7;7"}), now)),
                 QStringList({"", ""}));

        attention.setLimits({10, 0}); // 0 minutes: the stand-still rule is off
        now = now.addSecs(600);
        QCOMPARE(reasonsOf(attention.assess(cellRows({"1;3;100;106"}), now)), QStringList{""});
    }
};

QTEST_APPLESS_MAIN(TestRowAttention)
#include "tst_rowattention.moc"
