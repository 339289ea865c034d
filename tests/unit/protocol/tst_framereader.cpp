#include "protocol/FrameReader.h"
#include "protocol/Framing.h"

#include <QtTest>

using protocol::FrameReader;

// Frames must come out whole and in order whatever pieces TCP delivers, and a hostile length must
// be refused before its payload is held.
class TestFrameReader : public QObject {
    Q_OBJECT
private slots:
    void headerIsBigEndianLength() {
        const QByteArray frame = protocol::encodeFrame(QByteArray(258, 'x'));
        QCOMPARE(frame.left(4), QByteArray::fromHex("00000102"));
        QCOMPARE(frame.size(), 262);
    }

    void framesSurviveAnyFragmentation() {
        const QList<QByteArray> payloads = {"a", QByteArray(300, 'b'), "ccc", QByteArray(5, '\0')};
        QByteArray stream;
        for (const QByteArray& p : payloads) {
            stream += protocol::encodeFrame(p);
        }
        for (int chunk : {1, 2, 3, 5, 7, 64, 1000}) {
            FrameReader reader;
            QList<QByteArray> out;
            for (qsizetype at = 0; at < stream.size(); at += chunk) {
                reader.feed(QByteArrayView(stream).sliced(
                    at, std::min<qsizetype>(chunk, stream.size() - at)));
                while (auto frame = reader.takeFrame()) {
                    out << *frame;
                }
            }
            QCOMPARE(out, payloads);
            QVERIFY(reader.atFrameBoundary());
            QCOMPARE(reader.bufferedBytes(), 0);
            QVERIFY(!reader.hasError());
        }
    }

    void partialFrameStaysUntilComplete() {
        FrameReader reader;
        const QByteArray frame = protocol::encodeFrame("hello");
        reader.feed(QByteArrayView(frame).first(6));
        QVERIFY(!reader.takeFrame());
        QVERIFY(!reader.atFrameBoundary());
        reader.feed(QByteArrayView(frame).sliced(6));
        QCOMPARE(reader.takeFrame().value(), QByteArray("hello"));
    }

    void oversizedOrEmptyLengthFailsBeforeBuffering_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("zero") << QByteArray::fromHex("00000000");
        QTest::newRow("one over max") << QByteArray::fromHex("01000001");
        QTest::newRow("4 GiB") << QByteArray::fromHex("ffffffff");
    }
    void oversizedOrEmptyLengthFailsBeforeBuffering() {
        QFETCH(QByteArray, header);
        FrameReader reader;
        reader.feed(protocol::encodeFrame("ok") + header);
        QVERIFY(reader.hasError());
        QCOMPARE(reader.error(), protocol::ErrorCode::BadFrameLength);
        // The frame before the bad header still comes out; later bytes are ignored.
        QCOMPARE(reader.takeFrame().value(), QByteArray("ok"));
        reader.feed(QByteArray(4096, 'z'));
        QCOMPARE(reader.bufferedBytes(), 0);
        QVERIFY(!reader.takeFrame());
    }

    void maximumLengthIsAccepted() {
        FrameReader reader(16);
        reader.feed(protocol::encodeFrame(QByteArray(16, 'm')));
        QVERIFY(!reader.hasError());
        QCOMPARE(reader.takeFrame()->size(), 16);
        reader.feed(protocol::encodeFrame(QByteArray(17, 'm')));
        QVERIFY(reader.hasError());
    }
};

QTEST_APPLESS_MAIN(TestFrameReader)
#include "tst_framereader.moc"
