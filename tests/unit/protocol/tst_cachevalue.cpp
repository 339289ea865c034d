#include "objectclient/CacheValue.h"

#include <QtTest>

// The client compares and shows these texts; a number must arrive as its plain decimal text.
class TestCacheValue : public QObject {
    Q_OBJECT
private slots:
    void valuesBecomePlainText_data() {
        QTest::addColumn<CacheValue>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("null") << CacheValue() << "";
        QTest::newRow("true") << CacheValue(true) << "1";
        QTest::newRow("false") << CacheValue(false) << "0";
        QTest::newRow("integer") << CacheValue(qint64(-9000000000LL)) << "-9000000000";
        QTest::newRow("int") << CacheValue(8) << "8";
        QTest::newRow("double fraction") << CacheValue(0.1) << "0.1";
        QTest::newRow("double whole") << CacheValue(100000000.0) << "100000000";
        QTest::newRow("double large") << CacheValue(1e20) << "100000000000000000000";
        QTest::newRow("double negative") << CacheValue(-2.5) << "-2.5";
        QTest::newRow("text kept") << CacheValue(QStringLiteral(" 007|x ")) << " 007|x ";
    }
    void valuesBecomePlainText() {
        QFETCH(CacheValue, value);
        QFETCH(QString, text);
        QCOMPARE(cacheValueToText(value), text);
    }
};

QTEST_APPLESS_MAIN(TestCacheValue)
#include "tst_cachevalue.moc"
