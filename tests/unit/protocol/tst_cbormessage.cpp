#include "protocol/CborMessage.h"
#include "protocol/Limits.h"

#include <QCborArray>
#include <QCborMap>
#include <QtTest>

using protocol::ErrorCode;

using protocol::CborMessage;

namespace {

// The wire value of a message's root.
QVariant rootValue(const QByteArray& hex) {
    const QByteArray bytes = QByteArray::fromHex(hex); // the message reads them where they lie
    const CborMessage message(bytes);
    return message.ok() ? message.root().toValue().value_or(QStringLiteral("not a value"))
                        : QStringLiteral("refused");
}

} // namespace

// The walk stands between the network and every read of a message: anything it lets pass must be
// small and of the kinds messages use, and reads where it lies what Qt's CBOR reader would.
class TestCborMessage : public QObject {
    Q_OBJECT
private slots:
    void acceptsTheKindsMessagesUse() {
        QCborMap map;
        map.insert(QStringLiteral("i"), -12345678901LL);
        map.insert(QStringLiteral("d"), 2.5);
        map.insert(QStringLiteral("t"), QStringLiteral("Grüße"));
        map.insert(QStringLiteral("a"), QCborArray{true, false, nullptr, 7});
        map.insert(7, QStringLiteral("a number as key"));
        const QByteArray bytes = map.toCborValue().toCbor();
        const CborMessage message(bytes);
        QVERIFY2(message.ok(), qPrintable(message.errorText()));
        QCOMPARE(message.field(QLatin1StringView("i"))->toInteger(), -12345678901LL);
        QCOMPARE(message.field(QLatin1StringView("d"))->toDouble(), 2.5);
        QCOMPARE(message.field(QLatin1StringView("t"))->toText(), QStringLiteral("Grüße"));
        QVERIFY(!message.field(QLatin1StringView("x")));
        const QList<CborMessage::Item> elements = message.field(QLatin1StringView("a"))->elements();
        QCOMPARE(elements.size(), 4);
        QCOMPARE(elements[0].toValue(), QVariant(true));
        QCOMPARE(elements[2].toValue(), QVariant());
        QCOMPARE(elements[3].toValue(), QVariant(qint64(7)));
        QVERIFY(!message.field(QLatin1StringView("a"))->toValue());
        // A key given twice means its first entry, as in a QCborMap.
        const QByteArray twice = QByteArray::fromHex("a26174616161746162");
        QCOMPARE(CborMessage(twice).field(QLatin1StringView("t"))->toText(), "a");

        // Each wire value reads as Qt reads it, half and single floats from other encoders too.
        for (const QCborValue& value :
             {QCborValue(0), QCborValue(23), QCborValue(24), QCborValue(-1), QCborValue(-25),
              QCborValue(std::numeric_limits<qint64>::max()),
              QCborValue(std::numeric_limits<qint64>::min()), QCborValue(0.1), QCborValue(-0.0),
              QCborValue(true), QCborValue(QString()),
              QCborValue(QStringLiteral("€ \U0001F600"))}) {
            QCOMPARE(rootValue(value.toCbor().toHex()), value.toVariant());
        }
        for (const char* hex : {"f93e00", "fa3fc00000", "f90001", "f97c00", "f9fc00"}) {
            QCOMPARE(rootValue(hex), QCborValue::fromCbor(QByteArray::fromHex(hex)).toVariant());
        }
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
        const CborMessage decoded(QByteArray::fromHex(hex));
        QVERIFY(!decoded.ok());
        QCOMPARE(int(decoded.error()), code);
    }

    void limitsOnTextMapAndArraySize() {
        QCborMap big;
        for (int i = 0; i <= protocol::MaxMapEntries; ++i) {
            big.insert(i, i);
        }
        QCOMPARE(CborMessage(big.toCborValue().toCbor()).error(), ErrorCode::TooDeep);

        QCborArray arguments;
        for (int i = 0; i < protocol::MaxArguments; ++i) {
            arguments.append(nullptr);
        }
        QVERIFY(CborMessage(QCborValue(arguments).toCbor()).ok());

        const QString atLimit(protocol::MaxTextBytes, u'x');
        QVERIFY(CborMessage(QCborValue(atLimit).toCbor()).ok());
        const auto over = CborMessage(QCborValue(atLimit + u'x').toCbor());
        QCOMPARE(over.error(), ErrorCode::TextTooLong);
    }

    void invalidUtf8IsRefused_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("cut short") << QByteArray("62c328");
        QTest::newRow("overlong slash") << QByteArray("62c0af");
        QTest::newRow("overlong three bytes") << QByteArray("63e08080");
        QTest::newRow("surrogate") << QByteArray("63eda080");
        QTest::newRow("above U+10FFFF") << QByteArray("64f4908080");
        QTest::newRow("lone continuation") << QByteArray("6180");
        QTest::newRow("in a key") << QByteArray("a161ff01");
    }
    void invalidUtf8IsRefused() {
        QFETCH(QByteArray, hex);
        QVERIFY(!CborMessage(QByteArray::fromHex(hex)).ok());
        // Qt's own reader agrees, so no peer meets a difference.
        QCborParserError error;
        QCborValue::fromCbor(QByteArray::fromHex(hex), &error);
        QVERIFY(error.error != QCborError::NoError);
    }
};

QTEST_APPLESS_MAIN(TestCborMessage)
#include "tst_cbormessage.moc"
