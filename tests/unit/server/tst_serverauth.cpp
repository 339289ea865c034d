#include "ResumeTokens.h"
#include "SignInThrottle.h"
#include "Store.h"

#include <QtTest>

namespace {

// One event in the life of sign-in attempts, for the throttle's table: an attempt arrives
// (answer time reserved for a wrong password, or refused), its check ends (correct or not; the
// time the answer may go out), its session goes, or its answer is sent.
struct ThrottleStep {
    enum Kind { Arrive, Refused, Check, Gone, Answered };
    Kind kind;
    int attempt;
    qint64 atMs;
    QString user;
    QString address;
    bool correct = false;
    qint64 expectedMs = -1;
};
using ThrottleSteps = QList<ThrottleStep>;

ThrottleStep arrive(int attempt, qint64 at, const QString& user, const QString& address,
                    qint64 answerAt) {
    return {ThrottleStep::Arrive, attempt, at, user, address, false, answerAt};
}
ThrottleStep refused(int attempt, qint64 at, const QString& user, const QString& address) {
    return {ThrottleStep::Refused, attempt, at, user, address};
}
ThrottleStep check(int attempt, qint64 at, bool correct, qint64 answerAt) {
    return {ThrottleStep::Check, attempt, at, {}, {}, correct, answerAt};
}
ThrottleStep gone(int attempt, qint64 at) {
    return {ThrottleStep::Gone, attempt, at, {}, {}};
}
ThrottleStep answered(int attempt, qint64 at) {
    return {ThrottleStep::Answered, attempt, at, {}, {}};
}
// An attempt answered wrong at once, start to end.
ThrottleSteps wrongGuess(int attempt, qint64 at, const QString& user, const QString& address,
                         qint64 answerAt) {
    return {arrive(attempt, at, user, address, answerAt), check(attempt, at, false, answerAt),
            answered(attempt, answerAt)};
}

} // namespace

Q_DECLARE_METATYPE(ThrottleSteps)
Q_DECLARE_METATYPE(SignInThrottle::Settings)

// The sign-in throttle on a clock of its own: whom it slows, for how long, and how much it keeps.
class TestServerAuth : public QObject {
    Q_OBJECT

private slots:
    // The throttle's arithmetic, on a clock of its own: step 100 ms, 3 free tries per user.
    void theThrottleDelaysTheGuesserNotTheUser_data() {
        QTest::addColumn<SignInThrottle::Settings>("settings");
        QTest::addColumn<ThrottleSteps>("steps");
        SignInThrottle::Settings base;
        base.stepMs = 100;
        const QString u = QStringLiteral("1|DEMO");
        const QString a = QStringLiteral("10.0.0.1");
        const QString b = QStringLiteral("10.0.0.2");
        ThrottleSteps fiveFailures;
        for (int k = 1; k <= 5; ++k) {
            const qint64 at = k * 1000;
            fiveFailures += wrongGuess(k, at, u, a, at + std::max(0, k - 3) * 100);
        }
        QTest::newRow("one guess after another: free tries, then a growing step")
            << base << fiveFailures;
        ThrottleSteps parallel;
        const QList<qint64> answerTimes{0, 0, 0, 100, 300, 600};
        for (int k = 0; k < answerTimes.size(); ++k) {
            parallel << arrive(k, 0, u, QStringLiteral("10.0.1.%1").arg(k), answerTimes[k]);
        }
        QTest::newRow("parallel guesses from many addresses count as they arrive")
            << base << parallel;
        QTest::newRow("the right password from an address that has not failed: at once")
            << base
            << fiveFailures +
                   ThrottleSteps{arrive(6, 6000, u, b, 6300), check(6, 6050, true, 6050)};
        QTest::newRow("the right password from the guessing address waits its turn")
            << base
            << fiveFailures +
                   ThrottleSteps{arrive(6, 6000, u, a, 6300), check(6, 6050, true, 6300)};
        QTest::newRow("an abandoned attempt gives its place in the spacing back")
            << base << ThrottleSteps{arrive(1, 0, u, QStringLiteral("10.0.1.1"), 0),
                                     arrive(2, 0, u, QStringLiteral("10.0.1.2"), 0),
                                     arrive(3, 0, u, QStringLiteral("10.0.1.3"), 0),
                                     arrive(4, 0, u, QStringLiteral("10.0.1.4"), 100),
                                     arrive(5, 0, u, QStringLiteral("10.0.1.5"), 300),
                                     gone(4, 10),
                                     arrive(6, 20, u, QStringLiteral("10.0.1.6"), 400)};
        SignInThrottle::Settings fewWaiting = base;
        fewWaiting.maxWaitingPerAddress = 2;
        QTest::newRow("one address holds only a few attempts in waiting")
            << fewWaiting
            << ThrottleSteps{arrive(1, 0, u, a, 0),   arrive(2, 0, u, a, 0),   refused(3, 0, u, a),
                             arrive(4, 0, u, b, 0),   check(1, 50, false, 50), answered(1, 50),
                             arrive(5, 60, u, a, 160)};
        SignInThrottle::Settings forgetful = base;
        forgetful.forgetAfterMs = 10000;
        QTest::newRow("failures are forgotten after a quiet while")
            << forgetful << fiveFailures + wrongGuess(6, 16000, u, a, 16000);
        SignInThrottle::Settings strictAddress = base;
        strictAddress.freeTriesPerAddress = 5;
        QTest::newRow("a success clears the user's count, not the address's")
            << strictAddress
            << fiveFailures +
                   ThrottleSteps{arrive(6, 6000, u, b, 6300), check(6, 6000, true, 6000),
                                 answered(6, 6000)} +
                   wrongGuess(7, 7000, u, b, 7000) +
                   wrongGuess(8, 8000, QStringLiteral("1|CHEF"), a, 8100);
    }
    void theThrottleDelaysTheGuesserNotTheUser() {
        QFETCH(SignInThrottle::Settings, settings);
        QFETCH(ThrottleSteps, steps);
        SignInThrottle throttle(settings);
        QHash<int, SignInThrottle::Reservation> attempts;
        for (const ThrottleStep& step : steps) {
            const QString where =
                QStringLiteral("attempt %1 at %2 ms").arg(step.attempt).arg(step.atMs);
            SignInThrottle::Reservation& r = attempts[step.attempt];
            switch (step.kind) {
            case ThrottleStep::Arrive:
            case ThrottleStep::Refused:
                r = throttle.reserve(step.user, step.address, step.atMs);
                QVERIFY2(r.refused == (step.kind == ThrottleStep::Refused), qPrintable(where));
                if (!r.refused) {
                    QCOMPARE(r.answerAtMs, step.expectedMs);
                }
                break;
            case ThrottleStep::Check:
                QCOMPARE(throttle.recordOutcome(r, step.correct, step.atMs), step.expectedMs);
                break;
            case ThrottleStep::Gone:
                throttle.finish(r, false, step.atMs);
                break;
            case ThrottleStep::Answered:
                throttle.finish(r, true, step.atMs);
                break;
            }
        }
    }

    void theThrottleTableStaysBoundedAndKeepsBusyKeys() {
        SignInThrottle::Settings settings;
        settings.maxKeys = 100;
        settings.stepMs = 1000;
        SignInThrottle throttle(settings);
        const QString guesser = QStringLiteral("10.9.9.9");
        qint64 now = 0;
        for (int k = 0; k < 25; ++k) {
            SignInThrottle::Reservation r =
                throttle.reserve(QStringLiteral("1|X%1").arg(k), guesser, now);
            throttle.recordOutcome(r, false, now);
            throttle.finish(r, true, now);
        }
        // Its next attempt is under way while others fill the table many times over, with
        // user codes of 4 KiB each.
        SignInThrottle::Reservation waiting =
            throttle.reserve(QStringLiteral("1|Y"), guesser, ++now);
        for (int k = 0; k < 5000; ++k) {
            SignInThrottle::Reservation r =
                throttle.reserve(QString(4096, QLatin1Char('Z')) + QString::number(k),
                                 QStringLiteral("10.1.%1.%2").arg(k / 256).arg(k % 256), ++now);
            throttle.recordOutcome(r, false, now);
            throttle.finish(r, true, now);
            QVERIFY(throttle.keyCount() <= settings.maxKeys);
        }
        QCOMPARE(throttle.failures(SignInThrottle::Kind::Address, guesser, now), 25);
        QVERIFY(throttle.recordOutcome(waiting, false, now) > now); // still slowed
        throttle.finish(waiting, true, now);
    }

    // A resume token signs in its own user while the account stands as it was, once, until it
    // expires; on a clock of its own.
    void aResumeTokenHoldsOnceForItsAccount_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("holds");
        QTest::newRow("nothing changed") << "" << true;
        QTest::newRow("the last second of its life") << "wait 43200" << true;
        QTest::newRow("expired") << "wait 43201" << false;
        QTest::newRow("used before") << "use" << false;
        QTest::newRow("another user") << "code CHEF" << false;
        QTest::newRow("another company") << "firma 2" << false;
        QTest::newRow("a new password") << "password_hash $new" << false;
        QTest::newRow("fewer rights") << "bergrp 7" << false;
        QTest::newRow("inactive") << "aktiv N" << false;
        QTest::newRow("a token cut short") << "cut" << false;
    }
    void aResumeTokenHoldsOnceForItsAccount() {
        QFETCH(QString, change);
        QFETCH(bool, holds);
        QTemporaryDir dir;
        Store store(dir.filePath(QStringLiteral("tokens.db")));
        UserRecord user{1, "DEMO", "$argon2id$old", "J", "Demo,Dora", "1", "1", "", "9"};
        store.putUser(user);
        qint64 now = 1'800'000'000;
        ResumeTokens tokens(store, [&now] { return now; });
        QString token = tokens.issue(user);
        qint64 firma = 1;
        QString code = QStringLiteral("DEMO");
        const QString what = change.section(' ', 0, 0);
        const QString value = change.section(' ', 1);
        if (what == "wait") {
            now += value.toLongLong();
        } else if (what == "use") {
            QVERIFY(tokens.redeem(firma, code, token));
        } else if (what == "code") {
            code = value;
        } else if (what == "firma") {
            firma = value.toLongLong();
        } else if (what == "cut") {
            token.chop(1);
        } else if (!what.isEmpty()) {
            (what == "password_hash" ? user.passwordHash
             : what == "bergrp"      ? user.berGrp
                                     : user.aktiv) = value;
            store.putUser(user);
        }
        const std::optional<UserRecord> account = tokens.redeem(firma, code, token);
        QCOMPARE(account.has_value(), holds);
        if (holds) {
            QCOMPARE(account->passwordHash, user.passwordHash);
            QVERIFY(!tokens.redeem(firma, code, token)); // once
        }
    }
};

QTEST_GUILESS_MAIN(TestServerAuth)
#include "tst_serverauth.moc"
