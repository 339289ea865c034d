#pragma once

#include "ServerClass.h"

class TelemetryReplyCache;

// Telemetrie.Zeiterfassung: class method Zaehlerstand() gives the four clocks of the session's
// branch, five "|"-separated fields each (number, first counter actual and expected, second
// counter actual and expected): twenty fields when the branch has all four clocks.
// With keptReplies, the reply is served from there; without, it is built on every call.
class ZeiterfassungClass : public ServerClass {
public:
    explicit ZeiterfassungClass(TelemetryReplyCache* keptReplies = nullptr);
    QString name() const override { return QStringLiteral("Telemetrie.Zeiterfassung"); }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             MethodContext& context) const override;

private:
    TelemetryReplyCache* m_keptReplies;
};
