#pragma once

#include <QString>
#include <QStringList>

class Store;

// Moves every row of one database into another, SQLite or PostgreSQL on either side, and proves
// the result by reading both back. Only the tables that hold data are copied: the target keeps
// its own schema record, and the sign-in throttle's counts are not moved.
class StoreCopy {
public:
    StoreCopy(const Store& source, Store& target);

    // Copies everything in one transaction on the target, values as they are (password hashes
    // stay hashes). False, with nothing written, when the target already holds rows and replace
    // is false; with replace, the target's rows are deleted first in the same transaction.
    bool copy(bool replace);
    // The differences between both databases, at most maxCount, each naming its table and the
    // row's key; empty when they hold the same rows. Holds one table of each side at a time
    // (register records: one branch).
    QStringList differences(int maxCount) const;

    // Whether two --db arguments name the same database: the same file (through links too), or
    // the same database of the same server.
    static bool sameDatabase(const QString& first, const QString& second);

private:
    const Store& m_source;
    Store& m_target;
};
