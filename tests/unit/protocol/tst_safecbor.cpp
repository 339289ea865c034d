#include "protocol/Limits.h"
#include "protocol/SafeCbor.h"

#include <QCborArray>
#include <QCborMap>
#include <QtTest>

using protocol::ErrorCode;

// The walker stands between the network and QCborValue::fromCbor: anything it lets pass must be
// small and of the kinds messages use.
class TestSafeCbor : public QObject {
    Q_OBJECT
private slots:
    void acceptsTheKindsMessagesUse() {
        QCborMap map;
        map.insert(QStringLiteral("i"), -12345678901LL);
        map.insert(QStringLiteral("d"), 2.5);
        map.insert(QStringLiteral("t"), QStringLiteral("Grüße"));
        map.insert(QStringLiteral("a"), QCborArray{true, false, nullptr, 7});
        const auto decoded = protocol::safeCborDecode(map.toCborValue().toCbor());
        QVERIFY2(decoded.ok(), qPrintable(decoded.errorText()));
        QCOMPARE(decoded.value().toMap(), map);
        // Half and single floats from other encoders are fine too.
        QCOMPARE(protocol::safeCborDecode(QByteArray::fromHex("f93e00")).value().toDouble(), 1.5);
        QCOMPARE(protocol::safeCborDecode(QByteArray::fromHex("fa3fc00000")).value().toDouble(),
                 1.5);
    }

    void refusesLiesAndForbiddenKinds_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("code");
        const int malformed = int(ErrorCode::MalformedMessage);
        // The classic: 8 bytes that claim a text of 2^63 bytes, or an array of 4 G elements.
        QTest::newRow("huge text claim") << QByteArray("7b7fffffffffffffff") << malformed;
        QTest::newRow("huge array claim") << QByteArray("9affffffff") << malformed;
        QTest::newRow("huge map claim") << QByteArray("bb00000000ffffffff") << malformed;
        QTest::newRow("text longer than input") << QByteArray("6561") << malformed;
        QTest::newRow("byte string") << QByteArray("4161") << malformed;
        QTest::newRow("tag") << QByteArray("c074323031332d30332d32315432303a30343a30305a")
                             << malformed;
        QTest::newRow("undefined") << QByteArray("f7") << malformed;
        QTest::newRow("simple 255") << QByteArray("f8ff") << malformed;
        QTest::newRow("indefinite text") << QByteArray("7f6161ff") << malformed;
        QTest::newRow("indefinite array") << QByteArray("9f01ff") << malformed;
        QTest::newRow("reserved info") << QByteArray("1c") << malformed;
        QTest::newRow("lone break") << QByteArray("ff") << malformed;
        QTest::newRow("uint above int64") << QByteArray("1b8000000000000000") << malformed;
        QTest::newRow("negint below int64") << QByteArray("3b8000000000000000") << malformed;
        QTest::newRow("trailing bytes") << QByteArray("0101") << malformed;
        QTest::newRow("empty") << QByteArray("") << malformed;
        QTest::newRow("truncated head") << QByteArray("19ff") << malformed;
        QTest::newRow("truncated double") << QByteArray("fb3ff8") << malformed;
        QTest::newRow("nested too deep") << QByteArray("818181818101") << int(ErrorCode::TooDeep);
        // Nulls are one byte on the wire but a whole element in Qt: a frame full of them must not
        // reach Qt.
        QTest::newRow("array above the argument limit")
            << QByteArray("9821" + QByteArray(33, 'f').replace("f", "f6"))
            << int(ErrorCode::TooManyArguments);
        QTest::newRow("array claim above the limit, bytes to match")
            << QByteArray("9a00100000" + QByteArray(0x100000, 'f').replace("f", "f6"))
            << int(ErrorCode::TooManyArguments);
    }
    void refusesLiesAndForbiddenKinds() {
        QFETCH(QByteArray, hex);
        QFETCH(int, code);
        const auto decoded = protocol::safeCborDecode(QByteArray::fromHex(hex));
        QVERIFY(!decoded.ok());
        QCOMPARE(int(decoded.error()), code);
    }

    void limitsOnTextMapAndArraySize() {
        QCborMap big;
        for (int i = 0; i <= protocol::MaxMapEntries; ++i) {
            big.insert(i, i);
        }
        QCOMPARE(protocol::safeCborDecode(big.toCborValue().toCbor()).error(), ErrorCode::TooDeep);

        QCborArray arguments;
        for (int i = 0; i < protocol::MaxArguments; ++i) {
            arguments.append(nullptr);
        }
        QVERIFY(protocol::safeCborDecode(QCborValue(arguments).toCbor()).ok());

        const QString atLimit(protocol::MaxTextBytes, u'x');
        QVERIFY(protocol::safeCborDecode(QCborValue(atLimit).toCbor()).ok());
        const auto over = protocol::safeCborDecode(QCborValue(atLimit + u'x').toCbor());
        QCOMPARE(over.error(), ErrorCode::TextTooLong);
    }

    void invalidUtf8IsRefused() {
        // A text of two bytes that are not UTF-8.
        QVERIFY(!protocol::safeCborDecode(QByteArray::fromHex("62c328")).ok());
    }
};

QTEST_APPLESS_MAIN(TestSafeCbor)
#include "tst_safecbor.moc"
