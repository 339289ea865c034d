#pragma once

#include "ServerClass.h"

// Telemetrie.Zeiterfassung: class method Zaehlerstand() gives the four clocks of the session's
// branch, five "|"-separated fields each (number, first counter actual and expected, second
// counter actual and expected): twenty fields when the branch has all four clocks.
class ZeiterfassungClass : public ServerClass {
public:
    QString name() const override { return QStringLiteral("Telemetrie.Zeiterfassung"); }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             SessionContext& context) const override;
};
