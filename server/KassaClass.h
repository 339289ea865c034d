#pragma once

#include "ServerClass.h"

// Telemetrie.Kassa: class method NichtVerbuchtStatus() gives the not yet posted transactions of
// the session's branch, four fields per record, each field followed by "|":
// register|count|first counter|last counter|... A register may have several records.
class KassaClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("Telemetrie.Kassa"); }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             SessionContext& context) const override;
};
