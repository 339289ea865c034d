#pragma once

#include "StoreRecords.h"

#include <QString>
#include <QStringList>

class Store;

// Whether the monitor can work with a user: its sign-in reads, besides the user's own row, the
// department of the user and the base data of the user's personnel number, and the monitors
// answer rights group 8 or more only. The server signs a user in without any of them, so an
// admin learns of a gap only from the monitor's access error unless set-user tells.
class UserReadiness {
public:
    // The lowest rights group the monitors admit.
    static constexpr qint64 kLowestMonitorRightsGroup = 8;

    // One plain sentence per gap, each naming the admin command that closes it; empty when the
    // user is complete. database is the --db value the commands are given with.
    static QStringList gaps(const Store& store, const UserRecord& user, const QString& database);
};
