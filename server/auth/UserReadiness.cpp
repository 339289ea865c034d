#include "UserReadiness.h"

#include "Store.h"
#include "ValueText.h"

#include <QRegularExpression>

namespace {

// A value as the shell needs it to stay one word: as it is when it is plain, else quoted.
QString shellWord(const QString& value) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(value).hasMatch()) {
        return value;
    }
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

QStringList UserReadiness::gaps(const Store& store, const UserRecord& user,
                                const QString& database) {
    const QString command = QStringLiteral("lorvex-server --db %1 ").arg(shellWord(database));
    const QString firma = QString::number(user.firma);
    const QString setUser =
        command + QStringLiteral("set-user --firma %1 --code %2").arg(firma, shellWord(user.code));
    QStringList gaps;

    if (user.abtNr.isEmpty()) {
        gaps << QStringLiteral("it has no department (the monitor's \"Abteilungsermittlung\" "
                               "fails); give it one: %1 --department NUMBER")
                    .arg(setUser);
    } else if (!store.department(user.firma, user.abtNr)) {
        gaps << QStringLiteral("its department %1 does not exist in company %2 (the monitor's "
                               "\"Abteilungsermittlung\" fails); add it: %3set-department "
                               "--firma %2 --number %4 --title NAME")
                    .arg(user.abtNr, firma, command, shellWord(user.abtNr));
    }

    if (user.pnr.isEmpty()) {
        gaps << QStringLiteral("it has no personnel number (the monitor's \"PersBasis Nummern\" "
                               "fails); give it one with its base data: %1 --pnr NUMBER "
                               "--email ADDRESS")
                    .arg(setUser);
    } else if (!store.baseData(user.firma, user.pnr)) {
        gaps << QStringLiteral("personnel number %1 has no base data in company %2 (the "
                               "monitor's \"PersBasis Nummern\" fails); add it: %3set-base-data "
                               "--firma %2 --pnr %4 --email ADDRESS")
                    .arg(user.pnr, firma, command, shellWord(user.pnr));
    }

    const std::optional<qint64> rights = wholeNumber(user.berGrp);
    if (!rights || *rights < kLowestMonitorRightsGroup) {
        gaps << QStringLiteral("its rights group %1 is below %2 (the monitor ends right after "
                               "its sign-in, and the server refuses it the telemetry); raise "
                               "it: %3 --rights %2")
                    .arg(user.berGrp.isEmpty() ? QStringLiteral("(none)") : user.berGrp)
                    .arg(kLowestMonitorRightsGroup)
                    .arg(setUser);
    }
    return gaps;
}
