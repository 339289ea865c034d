#pragma once

#include <QString>

#include <stdexcept>

// A failed call into the object server: the run-time error with its number and description.
class CacheError : public std::runtime_error {
public:
    CacheError(int number, const QString& description);

    int number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }

private:
    int m_number;
    QString m_description;
};
