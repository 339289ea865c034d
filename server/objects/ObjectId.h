#pragma once

#include <QString>

#include <optional>

// The id of a personnel object: the company number, "||" and the key ("1||DEMO").
struct ObjectId {
    qint64 firma = 0;
    QString key;

    // Empty when the company is not a whole number of digits or the key is empty.
    static std::optional<ObjectId> parse(const QString& id);
    // The error for an id with no row (or no valid id at all).
    [[noreturn]] static void throwNotFound(const QString& className, const QString& id);
};
