#pragma once

#include "ServerClass.h"

class TelemetryReplyCache;

// Telemetrie.Kassa: class method NichtVerbuchtStatus() gives the not yet posted transactions of
// the session's branch, four fields per record, each field followed by "|":
// register|count|first counter|last counter|... A register may have several records.
// With keptReplies, the reply is served from there; without, it is built on every call.
class KassaClass : public ServerClass {
public:
    explicit KassaClass(TelemetryReplyCache* keptReplies = nullptr);
    QString name() const override { return QStringLiteral("Telemetrie.Kassa"); }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             MethodContext& context) const override;

private:
    TelemetryReplyCache* m_keptReplies;
};
