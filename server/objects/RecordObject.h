#pragma once

#include "ServerObject.h"

#include <QMap>
#include <QString>

#include <functional>

// An object of one of the personnel classes: its properties, read when it was opened, and its
// conversion methods, each taking one value and giving its display form.
class RecordObject : public ServerObject {
public:
    using Conversion = std::function<QString(const QString&)>;

    RecordObject(QString className, QMap<QString, QVariant> properties,
                 QMap<QString, Conversion> conversions);

    QString className() const override { return m_className; }
    QVariant property(const QString& name) const override;
    QVariant call(const QString& method, const QVariantList& args) const override;

private:
    QString m_className;
    QMap<QString, QVariant> m_properties;
    QMap<QString, Conversion> m_conversions;
};
