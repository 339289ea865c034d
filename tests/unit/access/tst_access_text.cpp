#include "access/ErrorTexts.h"
#include "access/GetField.h"
#include "access/ServerCommand.h"
#include "objectclient/CacheError.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// Field splitting (command line, user text) and the one server command built from user data.
class TestAccessText : public QObject {
    Q_OBJECT
private slots:
    void getField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const QString d = "<d>";
        QTest::newRow("third of three") << "1 0 ABC"
                                        << " " << 3 << "ABC";
        QTest::newRow("past the last") << "1 0 ABC"
                                       << " " << 4 << d;
        QTest::newRow("field zero") << "1 0 ABC"
                                    << " " << 0 << d;
        QTest::newRow("negative") << "1 0 ABC"
                                  << " " << -3 << d;
        QTest::newRow("empty between two blanks") << "1  ABC"
                                                  << " " << 2 << d;
        QTest::newRow("after the empty one") << "1  ABC"
                                             << " " << 3 << "ABC";
        QTest::newRow("empty text") << ""
                                    << " " << 1 << d;
        QTest::newRow("bar separated") << "ABC|Name"
                                       << "|" << 1 << "ABC";
        QTest::newRow("second bar field") << "ABC|Name"
                                          << "|" << 2 << "Name";
        QTest::newRow("no separator in text") << "ABC"
                                              << "|" << 1 << "ABC";
        QTest::newRow("long separator never matches") << "a||b"
                                                      << "||" << 1 << "a||b";
        QTest::newRow("empty separator is whole text") << "a b"
                                                       << "" << 1 << "a b";
        QTest::newRow("leading separator") << " 1 2"
                                           << " " << 1 << d;
        QTest::newRow("case-sensitive") << "aXbxc"
                                        << "x" << 2 << "c";
        QTest::newRow("trailing separator") << "a "
                                            << " " << 2 << d;
    }
    void getField() {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(GetField(text, separator, n, "<d>"), expected);
    }

    // Every error number docs/protocol.md lists (the wire's, the component's, the sign-in
    // layer's) reaches the user in German; the server's English text follows only in the log.
    void everyDocumentedErrorHasAGermanText() {
        QFile document(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../docs/protocol.md"));
        QVERIFY(document.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(document.readAll());
        QList<int> numbers;
        static const QRegularExpression tableRow(QStringLiteral("^\\| (\\d{4}) \\|"),
                                                 QRegularExpression::MultilineOption);
        for (const auto& match : tableRow.globalMatch(text)) {
            numbers << match.captured(1).toInt();
        }
        static const QRegularExpression inProse(QStringLiteral("\\b(9\\d{3}|3\\d{4}) "));
        for (const auto& match : inProse.globalMatch(text)) {
            numbers << match.captured(1).toInt();
        }
        QVERIFY(numbers.size() > 30);
        for (const int number : numbers) {
            const bool own = number >= ClientErrors::InvalidSignInData;
            const QString shown = ErrorTexts::forUser(number, own ? QString() : "sign in first");
            QVERIFY2(!shown.isEmpty(), qPrintable(QString::number(number)));
            QVERIFY2(shown != "Unbekannter Serverfehler." && !shown.contains("sign in"),
                     qPrintable(QString::number(number)));
        }
        QCOMPARE(ErrorTexts::forLog(5009, "sign in first"),
                 QString("Nicht am Server angemeldet. (Server: sign in first)"));
        QCOMPARE(ErrorTexts::forUser(30004, "Abgelehnt, neu anmelden."),
                 QString("Abgelehnt, neu anmelden."));
    }

    void workContextCommandForValidData() {
        QCOMPARE(buildWorkContextCommand("1", "0", "ABC"),
                 QString("S FIRMA=1,FIL=0,PERSONAL=\"ABC\""));
        QCOMPARE(buildWorkContextCommand("12", "003", ""),
                 QString("S FIRMA=12,FIL=003,PERSONAL=\"\""));
    }

    void quotesInTheUserCodeAreDoubled() {
        QCOMPARE(buildWorkContextCommand("1", "0", "A\"B"),
                 QString("S FIRMA=1,FIL=0,PERSONAL=\"A\"\"B\""));
        // A code built to close the string and append a command stays one string.
        QCOMPARE(buildWorkContextCommand("1", "0", "X\" D ^KILL S Y=\""),
                 QString("S FIRMA=1,FIL=0,PERSONAL=\"X\"\" D ^KILL S Y=\"\"\""));
    }

    void companyAndBranchMustBePlainDigits_data() {
        QTest::addColumn<QString>("firma");
        QTest::addColumn<QString>("filiale");
        QTest::addColumn<QString>("mentioned");
        QTest::newRow("appended command") << "1 D ^X"
                                          << "0"
                                          << "Firma";
        QTest::newRow("extra assignment") << "1,X=2"
                                          << "0"
                                          << "Firma";
        QTest::newRow("empty company") << ""
                                       << "0"
                                       << "Firma";
        QTest::newRow("sign") << "-1"
                              << "0"
                              << "Firma";
        QTest::newRow("decimal") << "1.5"
                                 << "0"
                                 << "Firma";
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0661") << "0"
                                         << "Firma";
        QTest::newRow("branch with quote") << "1"
                                           << "0\""
                                           << "Filiale";
        QTest::newRow("empty branch") << "1"
                                      << ""
                                      << "Filiale";
        QTest::newRow("branch blank") << "1"
                                      << "0 "
                                      << "Filiale";
    }
    void companyAndBranchMustBePlainDigits() {
        QFETCH(QString, firma);
        QFETCH(QString, filiale);
        QFETCH(QString, mentioned);
        try {
            buildWorkContextCommand(firma, filiale, "ABC");
            QFAIL("invalid data were accepted");
        } catch (const CacheError& error) {
            QCOMPARE(error.number(), ClientErrors::InvalidSignInData);
            QVERIFY2(error.description().contains(mentioned), qPrintable(error.description()));
        }
    }
};

QTEST_APPLESS_MAIN(TestAccessText)
#include "tst_access_text.moc"
