#include "ProcessVariables.h"

#include "ServerError.h"

QVariant ProcessVariables::value(const QString& name) const {
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd()) {
        throw ServerError(ServerErrorNumber::Undefined, QStringLiteral("<UNDEFINED> %1").arg(name));
    }
    return it.value();
}

void ProcessVariables::set(const QString& name, const QVariant& value) {
    if (!m_values.contains(name) && m_values.size() >= kMaxVariables) {
        throw ServerError(ServerErrorNumber::TooManyVariables,
                          QStringLiteral("<STORE> more than %1 variables").arg(kMaxVariables));
    }
    m_values.insert(name, value);
}
