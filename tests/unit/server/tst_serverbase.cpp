#include "LogLimiter.h"

#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

// The log's allowance: what a flood of lines from many addresses leaves in the log.
class TestServerBase : public QObject {
    Q_OBJECT

private slots:
    // Lines beyond an address's bucket or the bucket in all are left out; every line is either
    // written or counted in a summary, and the summaries stay within the bounds too.
    void logLinesStayWithinTheirBuckets_data() {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("linesEach");
        QTest::newRow("one address") << 1 << 100;
        QTest::newRow("five addresses") << 5 << 100;
        QTest::newRow("forty addresses: the bound in all") << 40 << 10;
    }
    void logLinesStayWithinTheirBuckets() {
        QFETCH(int, addresses);
        QFETCH(int, linesEach);
        // 10 lines a second in all, 1 per address; 2 seconds' worth at once.
        const double rate = 10;
        const double burstSeconds = 2;
        const qint64 spanMs = 2500;
        qint64 now = 0;
        LogLimiter limiter({rate, burstSeconds}, [&now] { return now; });
        static const QRegularExpression count(QStringLiteral("log limit: ([0-9,]+) lines"));
        qint64 written = 0;
        qint64 reported = 0;
        const auto take = [&](const QStringList& lines) {
            for (const QString& line : lines) {
                const QRegularExpressionMatch match = count.match(line);
                if (match.hasMatch()) {
                    reported += match.captured(1).remove(u',').toLongLong();
                } else {
                    ++written;
                }
            }
            return lines.size();
        };
        qint64 sunk = 0;
        const int total = addresses * linesEach;
        for (int i = 0; i < total; ++i) {
            now = qint64(i) * spanMs / total; // the addresses take turns
            sunk += take(limiter.admit(QStringLiteral("10.0.0.%1").arg(i % addresses), "x"));
        }
        const double seconds = spanMs / 1000.0;
        const double bound = std::min(addresses * rate / 10 * (burstSeconds + seconds),
                                      rate * (burstSeconds + seconds));
        QVERIFY2(sunk <= bound, qPrintable(QString::number(sunk)));
        QVERIFY(written >= std::min(addresses * rate / 10 * burstSeconds, rate * burstSeconds));
        // After quiet times every line left out has been reported, once.
        for (int minute = 1; minute <= 5; ++minute) {
            now = minute * 60000;
            take(limiter.pendingSummaries());
        }
        QCOMPARE(written + reported, qint64(total));
        QVERIFY(limiter.pendingSummaries().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestServerBase)
#include "tst_serverbase.moc"
