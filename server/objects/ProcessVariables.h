#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

// The variables of one session's server process (FIRMA, FIL, PERSONAL, ...). Names are
// case-sensitive. The count is bounded so that a client cannot grow them without limit.
class ProcessVariables {
public:
    static constexpr int kMaxVariables = 256;

    bool contains(const QString& name) const { return m_values.contains(name); }
    // Throws ServerError (Undefined) when the variable has no value.
    QVariant value(const QString& name) const;
    // Throws ServerError (TooManyVariables) when a new name would exceed kMaxVariables; an
    // existing name is always replaced.
    void set(const QString& name, const QVariant& value);
    int count() const { return static_cast<int>(m_values.size()); }

private:
    QHash<QString, QVariant> m_values;
};
