#include "monitors/Decimal.h"
#include "monitors/RefreshInterval.h"

#include <QtTest>

// The exact decimal type and the strict interval reading built on it.
class TestDecimal : public QObject {
    Q_OBJECT
private:
    static QString difference(const QString& a, const QString& b, const QLocale& locale) {
        const auto x = Decimal::parse(a, locale);
        const auto y = Decimal::parse(b, locale);
        if (!x || !y) {
            return "parse failed";
        }
        const auto d = x->minus(*y);
        return d ? d->toString(locale) : "overflow";
    }

private slots:
    void parsesStrictly_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("integer") << "en_US"
                                 << "42" << true;
        QTest::newRow("blanks around") << "en_US"
                                       << " 42 " << true;
        QTest::newRow("sign") << "en_US"
                              << "-4.2" << true;
        QTest::newRow("plus sign") << "en_US"
                                   << "+4" << true;
        QTest::newRow("point only fraction") << "en_US"
                                             << ".5" << true;
        QTest::newRow("trailing point") << "en_US"
                                        << "5." << true;
        QTest::newRow("empty") << "en_US"
                               << "" << false;
        QTest::newRow("blank") << "en_US"
                               << "  " << false;
        QTest::newRow("sign alone") << "en_US"
                                    << "-" << false;
        QTest::newRow("letters") << "en_US"
                                 << "x" << false;
        QTest::newRow("trailing letters") << "en_US"
                                          << "5x" << false;
        QTest::newRow("blank inside") << "en_US"
                                      << "1 2" << false;
        QTest::newRow("two points") << "en_US"
                                    << "1.2.3" << false;
        QTest::newRow("group separator") << "en_US"
                                         << "1,000" << false;
        QTest::newRow("comma in comma locale") << "de_DE"
                                               << "2,5" << true;
        QTest::newRow("point in comma locale") << "de_DE"
                                               << "2.5" << false;
        QTest::newRow("exponent") << "en_US"
                                  << "1e3" << false;
        QTest::newRow("largest mantissa") << "en_US"
                                          << "79228162514264337593543950335" << true;
        QTest::newRow("mantissa overflow") << "en_US"
                                           << "79228162514264337593543950336" << false;
        QTest::newRow("28 fraction digits") << "en_US"
                                            << "0.0000000000000000000000000001" << true;
        QTest::newRow("29 fraction digits") << "en_US"
                                            << "0.00000000000000000000000000001" << false;
    }
    void parsesStrictly() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QCOMPARE(Decimal::parse(text, QLocale(locale)).has_value(), ok);
    }

    void subtractsExactly_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("result");
        QTest::newRow("simple") << "en_US"
                                << "10"
                                << "3"
                                << "7";
        QTest::newRow("negative result") << "en_US"
                                         << "5"
                                         << "6"
                                         << "-1";
        QTest::newRow("zero has no sign") << "en_US"
                                          << "-0"
                                          << "0"
                                          << "0";
        QTest::newRow("scale kept") << "en_US"
                                    << "2.50"
                                    << "1"
                                    << "1.50";
        QTest::newRow("small fraction") << "en_US"
                                        << "0.3"
                                        << "0.1"
                                        << "0.2";
        QTest::newRow("minus a negative") << "en_US"
                                          << "-1.5"
                                          << "-2"
                                          << "0.5";
        QTest::newRow("both negative") << "en_US"
                                       << "-1"
                                       << "2"
                                       << "-3";
        QTest::newRow("comma locale") << "de_DE"
                                      << "2,5"
                                      << "1"
                                      << "1,5";
        QTest::newRow("leading zero before fraction") << "en_US"
                                                      << "0.01"
                                                      << "0.02"
                                                      << "-0.01";
        QTest::newRow("rounding up past the largest overflows") << "en_US"
                                                                << "79228162514264337593543950335"
                                                                << "-0.5"
                                                                << "overflow";
        QTest::newRow("big values stay exact") << "en_US"
                                               << "79228162514264337593543950335"
                                               << "1"
                                               << "79228162514264337593543950334";
        QTest::newRow("scale reduced to fit") << "en_US"
                                              << "7922816251426433759354395033.5"
                                              << "-0.25"
                                              << "7922816251426433759354395034";
        QTest::newRow("overflow") << "en_US"
                                  << "79228162514264337593543950335"
                                  << "-79228162514264337593543950335"
                                  << "overflow";
    }
    void subtractsExactly() {
        QFETCH(QString, locale);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, result);
        QCOMPARE(difference(a, b, QLocale(locale)), result);
    }

    void intervalIsStrictAndBounded_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms"); // -1: keeps the previous interval
        QTest::newRow("5 s") << "en_US"
                             << "5" << 5000;
        QTest::newRow("0 stops") << "en_US"
                                 << "0" << 0;
        QTest::newRow("decimal comma") << "de_DE"
                                       << "2,5" << 2500;
        QTest::newRow("decimal point") << "en_US"
                                       << "2.5" << 2500;
        QTest::newRow("half to even, down") << "en_US"
                                            << "0.0005" << 0;
        QTest::newRow("half to even, up") << "en_US"
                                          << "0.0015" << 2;
        QTest::newRow("above half") << "en_US"
                                    << "0.00051" << 1;
        QTest::newRow("largest") << "en_US"
                                 << "65.535" << 65535;
        QTest::newRow("too large") << "en_US"
                                   << "65.536" << -1;
        QTest::newRow("rounds past the limit") << "en_US"
                                               << "65.5355" << -1;
        QTest::newRow("huge") << "en_US"
                              << "99999999999999999999" << -1;
        QTest::newRow("negative") << "en_US"
                                  << "-1" << -1;
        QTest::newRow("empty") << "en_US"
                               << "" << -1;
        QTest::newRow("text") << "en_US"
                              << "abc" << -1;
        QTest::newRow("point in comma locale") << "de_DE"
                                               << "2.5" << -1;
    }
    void intervalIsStrictAndBounded() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(int, ms);
        const std::optional<int> result = RefreshInterval::millis(text, QLocale(locale));
        QCOMPARE(result.value_or(-1), ms);
    }
};

QTEST_APPLESS_MAIN(TestDecimal)
#include "tst_decimal.moc"
