#include "RecordObject.h"

#include "ServerError.h"
#include "ValueText.h"

RecordObject::RecordObject(QString className, QMap<QString, QVariant> properties,
                           QMap<QString, Conversion> conversions)
    : m_className(std::move(className))
    , m_properties(std::move(properties))
    , m_conversions(std::move(conversions)) {
}

QVariant RecordObject::property(const QString& name) const {
    const auto it = m_properties.constFind(name);
    if (it == m_properties.constEnd()) {
        throw ServerError(
            ServerErrorNumber::UnknownProperty,
            QStringLiteral("<PROPERTY DOES NOT EXIST> %1 of class %2").arg(name, m_className));
    }
    return it.value();
}

QVariant RecordObject::call(const QString& method, const QVariantList& args) const {
    const auto it = m_conversions.constFind(method);
    if (it == m_conversions.constEnd()) {
        throw ServerError(
            ServerErrorNumber::UnknownMethod,
            QStringLiteral("<METHOD DOES NOT EXIST> %1 of class %2").arg(method, m_className));
    }
    if (args.size() != 1) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> %1 takes one argument, not %2")
                              .arg(method)
                              .arg(args.size()));
    }
    return it.value()(valueText(args.first()));
}
