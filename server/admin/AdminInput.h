#pragma once

#include "StoreRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

// Bad input from the admin: reported, nothing changed.
struct InputError {
    QString text;
};

// The most register records the monitor folds for one branch.
inline constexpr qsizetype kMaxRegisterRecords = 8192;

// Checks of what an admin gives; each throws InputError. A value must fit its column (what
// names the option: "--name"; telemetry fields take 32 characters) and hold no control
// character; a telemetry field must not hold the reply separator "|".
void checkField(const QString& what, const QString& value, bool telemetry);
// A branch's register records must still make a reply the server can send and the monitor
// folds: at most kMaxRegisterRecords records, the reply text within the protocol's text limit.
void checkRegisterReply(const QList<RegisterRecord>& records);

// The records of an import, from its lines (blank and comment lines taken out already):
// "register|count|first|last", or "nr|e-ist|e-soll|s-ist|s-soll" for at most four clocks;
// numbered in order from 1.
QList<RegisterRecord> registerRecords(const QStringList& lines, qint64 firma, qint64 filiale);
QList<ClockRecord> clockRecords(const QStringList& lines, qint64 firma, qint64 filiale);
