#include "monitors/MonitorKind.h"

#include "monitors/ClockRows.h"
#include "monitors/RegisterFold.h"

MonitorKind MonitorKind::kassa() {
    return MonitorKind{
        QStringLiteral("frmKassa.Timer1_Timer"),
        QStringLiteral("Telemetrie.Kassa"),
        QStringLiteral("NichtVerbuchtStatus"),
        [](const QString& reply, const QLocale& locale) {
            return RegisterFold(locale).rows(reply);
        },
        true,
        {QStringLiteral("Nr"), QStringLiteral("Anzahl"), QStringLiteral("FirstCNT"),
         QStringLiteral("LastCNT")},
        RowAttention::Rule::Registers,
        QStringLiteral("Kassa"),
        {1},
    };
}

MonitorKind MonitorKind::zeiterfassung() {
    return MonitorKind{
        QStringLiteral("frmZeiterfassung.Timer1_Timer"),
        QStringLiteral("Telemetrie.Zeiterfassung"),
        QStringLiteral("Zaehlerstand"),
        [](const QString& reply, const QLocale& locale) { return ClockRows(locale).rows(reply); },
        false,
        {QStringLiteral("Nr"), QStringLiteral("E Ist"), QStringLiteral("E Soll"),
         QStringLiteral("Diff"), QStringLiteral("S Ist"), QStringLiteral("S Soll"),
         QStringLiteral("Diff")},
        RowAttention::Rule::Clocks,
        QStringLiteral("Zeiterfassung"),
        {3, 6},
    };
}
