#include "protocol/EncodedText.h"
#include "protocol/FrameReader.h"
#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QCborArray>
#include <QCborMap>
#include <QtTest>

using protocol::ErrorCode;
using protocol::Request;
using protocol::Response;

namespace {

QByteArray cbor(const QCborMap& map) {
    return map.toCborValue().toCbor();
}

Request roundTrip(const Request& request) {
    const auto payload = protocol::encodeRequest(request);
    if (!payload.ok()) {
        qFatal("encode failed: %s", qPrintable(payload.errorText()));
    }
    const auto decoded = protocol::decodeRequest(payload.value());
    if (!decoded.ok()) {
        qFatal("decode failed: %s", qPrintable(decoded.errorText()));
    }
    return decoded.value();
}

} // namespace

class TestMessageCodec : public QObject {
    Q_OBJECT
private slots:
    void everyRequestSurvivesTheRoundTrip_data() {
        QTest::addColumn<Request>("request");
        QTest::newRow("hello") << Request::hello("LORVEX", protocol::Version);
        QTest::newRow("open") << Request::open("LX.ParPersEdv", "1||DEMO");
        QTest::newRow("class") << Request::classAccess("Telemetrie.Kassa");
        QTest::newRow("get") << Request::get(7, "PNAME");
        QTest::newRow("call without args") << Request::call(3, "NichtVerbuchtStatus", {});
        QTest::newRow("call with every kind")
            << Request::call(3, "Xecute",
                             {QVariant(), true, qint64(-9007199254740993LL), 0.1,
                              QStringLiteral("S PERSONAL=\"A\"\"B\"")});
        QTest::newRow("close") << Request::close(12);
        QTest::newRow("bye") << Request::bye();
        QTest::newRow("signin with a resume token")
            << Request::signIn("1", "DEMO", "demo", "kY6bBarD5Dp7SBxMSR9pIY_-14_VqhJhlqJaR3TzNCA");
    }
    void everyRequestSurvivesTheRoundTrip() {
        QFETCH(Request, request);
        request.seq = 41;
        QCOMPARE(roundTrip(request), request);
    }

    void responsesSurviveTheRoundTrip() {
        Response signedIn = Response::success(10, true);
        signedIn.resume = QStringLiteral("kY6bBarD5Dp7SBxMSR9pIY_-14_VqhJhlqJaR3TzNCA");
        for (const Response& response :
             {Response::success(1, QStringLiteral("1|0|5|9")), Response::success(2, qint64(42)),
              Response::success(3), Response::withHandle(4, 99),
              Response::failure(5, 5001, QStringLiteral("no such object")),
              Response::success(6, QStringLiteral("Größe|€ 1,50|")), Response::success(7, 2.5),
              Response::success(8, true), Response::success(9, QString()), signedIn}) {
            const auto payload = protocol::encodeResponse(response);
            QVERIFY(payload.ok());
            const auto decoded = protocol::decodeResponse(payload.value());
            QVERIFY2(decoded.ok(), qPrintable(decoded.errorText()));
            QCOMPARE(decoded.value(), response);
        }
    }

    // A kept reply is sent as the bytes kept with it: the same bytes as the text encoded anew.
    void keptTextIsSentAsTheSameBytes() {
        for (const QString& text :
             {QString(), QStringLiteral("1|0|5|9|"), QStringLiteral("Größe|€ 1,50|\u0001"),
              QStringLiteral("3|1|10|11|").repeated(20000)}) {
            const auto fresh = protocol::encodeResponse(Response::success(3, text));
            const auto kept =
                protocol::encodeResponse(Response::success(3, protocol::EncodedText::of(text)));
            QVERIFY(fresh.ok() && kept.ok());
            QCOMPARE(kept.value(), fresh.value());
            QCOMPARE(protocol::EncodedText::of(text).toString(), text);
        }
    }

    // The encoder writes CBOR by hand: its bytes must be those Qt's CBOR writer makes of the
    // same map, for every kind and size of value, or another client's decoder may differ.
    void encodedBytesAreQtsBytes() {
        const QString loneSurrogate = QString(QChar(0xd800)) + QStringLiteral("x");
        const QList<QVariant> values = {qint64(0),
                                        qint64(23),
                                        qint64(24),
                                        qint64(255),
                                        qint64(256),
                                        qint64(65535),
                                        qint64(65536),
                                        qint64(4294967295LL),
                                        qint64(4294967296LL),
                                        std::numeric_limits<qint64>::max(),
                                        qint64(-1),
                                        qint64(-24),
                                        qint64(-25),
                                        std::numeric_limits<qint64>::min(),
                                        7,
                                        0.1,
                                        -0.0,
                                        1e300,
                                        3.0,
                                        true,
                                        false,
                                        QStringLiteral("Größe|€ 1,50|"),
                                        QStringLiteral("\U0001F600"),
                                        loneSurrogate,
                                        QString(QChar(0x7f)) + QString(QChar(0x80)),
                                        QString(24, u'a'),
                                        QString(256, u'b'),
                                        QString(70000, u'c'),
                                        QString()};
        for (const QVariant& value : values) {
            QCborMap expected;
            expected.insert(QStringLiteral("seq"), 70000);
            expected.insert(QStringLiteral("ok"), true);
            expected.insert(QStringLiteral("value"), QCborValue::fromVariant(value));
            const auto encoded = protocol::encodeResponse(Response::success(70000, value));
            QVERIFY(encoded.ok());
            QCOMPARE(encoded.value(), cbor(expected));
            const auto frame = protocol::encodeResponseFrame(Response::success(70000, value));
            QCOMPARE(frame.value(), protocol::encodeFrame(encoded.value()));

            QCborMap request;
            request.insert(QStringLiteral("op"), QStringLiteral("call"));
            request.insert(QStringLiteral("seq"), -5);
            request.insert(QStringLiteral("handle"), 300);
            request.insert(QStringLiteral("name"), QStringLiteral("m"));
            request.insert(QStringLiteral("args"),
                           QCborArray{QCborValue::fromVariant(value), nullptr});
            Request call = Request::call(300, "m", {value, QVariant()});
            call.seq = -5;
            QCOMPARE(protocol::encodeRequest(call).value(), cbor(request));
        }
        QCOMPARE(protocol::encodeResponse(Response::success(1, quint64(1) << 63)).error(),
                 ErrorCode::UnsupportedValue);
    }

    // Every frame of the byte-by-byte session in docs/protocol.md: it must decode, and our encoder
    // must produce exactly those bytes, or the document misleads whoever writes another client.
    void documentedSessionMatchesTheCodec_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<bool>("isRequest");
        const QList<std::pair<const char*, bool>> frames = {
            {"00 00 00 29 a4 62 6f 70 65 68 65 6c 6c 6f 63 73 65 71 01 67 76 65 72 73 69 6f 6e 01 "
             "69 6e 61 6d 65 73 70 61 63 65 66 4c 4f 52 56 45 58",
             true},
            {"00 00 00 11 a3 63 73 65 71 01 62 6f 6b f5 65 76 61 6c 75 65 01", false},
            {"00 00 00 2d a4 62 6f 70 64 6f 70 65 6e 63 73 65 71 02 65 63 6c 61 73 73 6d 4c 58 2e "
             "50 61 72 50 65 72 73 45 64 76 62 69 64 67 31 7c 7c 44 45 4d 4f",
             true},
            {"00 00 00 12 a3 63 73 65 71 02 62 6f 6b f5 66 68 61 6e 64 6c 65 01", false},
            {"00 00 00 20 a4 62 6f 70 63 67 65 74 63 73 65 71 03 66 68 61 6e 64 6c 65 01 64 6e 61 "
             "6d 65 65 41 4b 54 49 56",
             true},
            {"00 00 00 12 a3 63 73 65 71 03 62 6f 6b f5 65 76 61 6c 75 65 61 4a", false},
            {"00 00 00 20 a3 62 6f 70 65 63 6c 61 73 73 63 73 65 71 04 65 63 6c 61 73 73 6a 4c 58 "
             "2e 57 69 6e 64 6f 77 73",
             true},
            {"00 00 00 12 a3 63 73 65 71 04 62 6f 6b f5 66 68 61 6e 64 6c 65 02", false},
            {"00 00 00 30 a5 62 6f 70 64 63 61 6c 6c 63 73 65 71 05 66 68 61 6e 64 6c 65 02 64 6e "
             "61 6d 65 66 58 65 63 75 74 65 64 61 72 67 73 81 67 44 20 5e 25 58 54 54",
             true},
            {"00 00 00 11 a3 63 73 65 71 05 62 6f 6b f5 65 76 61 6c 75 65 60", false},
            {"00 00 00 17 a3 62 6f 70 65 63 6c 6f 73 65 63 73 65 71 06 66 68 61 6e 64 6c 65 02",
             true},
            {"00 00 00 0a a2 63 73 65 71 06 62 6f 6b f5", false},
            {"00 00 00 2d a4 62 6f 70 64 6f 70 65 6e 63 73 65 71 07 65 63 6c 61 73 73 6d 4c 58 2e "
             "50 61 72 50 65 72 73 45 64 76 62 69 64 67 31 7c 7c 4e 4f 50 45",
             true},
            {"00 00 00 4a a4 63 73 65 71 07 62 6f 6b f4 65 65 72 72 6f 72 19 13 89 64 74 65 78 74 "
             "78 30 3c 4f 42 4a 45 43 54 20 4e 4f 54 20 46 4f 55 4e 44 3e 20 4c 58 2e 50 61 72 50 "
             "65 72 73 45 64 76 20 77 69 74 68 20 69 64 20 31 7c 7c 4e 4f 50 45",
             false},
            {"00 00 00 0d a2 62 6f 70 63 62 79 65 63 73 65 71 08", true},
            {"00 00 00 0a a2 63 73 65 71 08 62 6f 6b f5", false},
        };
        int n = 0;
        for (const auto& [hex, isRequest] : frames) {
            QTest::addRow("frame %d", ++n) << QByteArray(hex) << isRequest;
        }
    }
    void documentedSessionMatchesTheCodec() {
        QFETCH(QByteArray, hex);
        QFETCH(bool, isRequest);
        const QByteArray frame = QByteArray::fromHex(hex);
        protocol::FrameReader reader;
        reader.feed(frame);
        const std::optional<QByteArray> payload = reader.takeFrame();
        QVERIFY(payload && reader.atFrameBoundary());
        if (isRequest) {
            const auto decoded = protocol::decodeRequest(*payload);
            QVERIFY2(decoded.ok(), qPrintable(decoded.errorText()));
            QCOMPARE(protocol::encodeFrame(protocol::encodeRequest(decoded.value()).value()),
                     frame);
        } else {
            const auto decoded = protocol::decodeResponse(*payload);
            QVERIFY2(decoded.ok(), qPrintable(decoded.errorText()));
            QCOMPARE(protocol::encodeFrame(protocol::encodeResponse(decoded.value()).value()),
                     frame);
        }
    }

    void malformedRequestsAreNumbered_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("code");
        const int malformed = int(ErrorCode::MalformedMessage);
        QTest::newRow("not a map") << QCborValue(1).toCbor() << malformed;
        QTest::newRow("no op") << cbor({{"seq", 1}}) << malformed;
        QTest::newRow("op not text") << cbor({{"op", 3}}) << malformed;
        QTest::newRow("unknown op") << cbor({{"op", "drop"}}) << int(ErrorCode::UnknownOperation);
        QTest::newRow("open without id") << cbor({{"op", "open"}, {"class", "A"}}) << malformed;
        QTest::newRow("handle as text")
            << cbor({{"op", "get"}, {"handle", "1"}, {"name", "x"}}) << malformed;
        QTest::newRow("args not array")
            << cbor({{"op", "call"}, {"handle", 1}, {"name", "m"}, {"args", 1}}) << malformed;
        QTest::newRow("argument is a map")
            << cbor(
                   {{"op", "call"}, {"handle", 1}, {"name", "m"}, {"args", QCborArray{QCborMap{}}}})
            << malformed;
        QCborArray tooMany;
        for (int i = 0; i <= protocol::MaxArguments; ++i) {
            tooMany.append(i);
        }
        QTest::newRow("too many arguments")
            << cbor({{"op", "call"}, {"handle", 1}, {"name", "m"}, {"args", tooMany}})
            << int(ErrorCode::TooManyArguments);
        QTest::newRow("version out of int range")
            << cbor({{"op", "hello"}, {"version", qint64(1) << 40}, {"namespace", "X"}})
            << int(ErrorCode::UnsupportedVersion);
        QTest::newRow("truncated") << cbor({{"op", "bye"}}).chopped(1) << malformed;
    }
    void malformedRequestsAreNumbered() {
        QFETCH(QByteArray, payload);
        QFETCH(int, code);
        const auto decoded = protocol::decodeRequest(payload);
        QVERIFY(!decoded.ok());
        QCOMPARE(int(decoded.error()), code);
    }

    void malformedResponsesAreRefused() {
        QVERIFY(!protocol::decodeResponse(cbor({{"seq", 1}})).ok());
        QVERIFY(!protocol::decodeResponse(cbor({{"ok", false}, {"text", "x"}})).ok());
        QVERIFY(!protocol::decodeResponse(cbor({{"ok", true}, {"value", QCborArray{}}})).ok());
        QVERIFY(!protocol::decodeResponse(cbor({{"ok", "yes"}})).ok());
    }

    void encoderRefusesWhatThePeerWouldRefuse() {
        QList<QVariant> args;
        for (int i = 0; i <= protocol::MaxArguments; ++i) {
            args << i;
        }
        QCOMPARE(protocol::encodeRequest(Request::call(1, "m", args)).error(),
                 ErrorCode::TooManyArguments);
        const QString longText(protocol::MaxTextBytes / 2 + 1, QChar(0x00e4)); // 2 bytes each
        QCOMPARE(protocol::encodeRequest(Request::call(1, "m", {longText})).error(),
                 ErrorCode::TextTooLong);
        QCOMPARE(protocol::encodeRequest(Request::open("A", longText)).error(),
                 ErrorCode::TextTooLong);
        QCOMPARE(protocol::encodeRequest(Request::call(1, "m", {QDate(2024, 1, 1)})).error(),
                 ErrorCode::UnsupportedValue);
        QCOMPARE(protocol::encodeResponse(Response::success(1, longText)).error(),
                 ErrorCode::TextTooLong);
        // Within the text limit but over the frame limit all together.
        const QString nearLimit(protocol::MaxTextBytes, u'a');
        QList<QVariant> heavy(protocol::MaxArguments, nearLimit);
        QCOMPARE(protocol::encodeRequest(Request::call(1, "m", heavy)).error(),
                 ErrorCode::BadFrameLength);
    }

    void sessionEndingErrors() {
        QVERIFY(protocol::endsSession(ErrorCode::BadFrameLength));
        QVERIFY(protocol::endsSession(ErrorCode::TooManyOpenObjects));
        QVERIFY(!protocol::endsSession(ErrorCode::UnknownHandle));
        QVERIFY(protocol::endsSession(ErrorCode::AccountChanged)); // the server closes after it
        QVERIFY(!protocol::endsSession(ErrorCode::NoSuchObject));
    }
};

QTEST_APPLESS_MAIN(TestMessageCodec)
#include "tst_messagecodec.moc"
