#pragma once

#include "ServerClass.h"

class Store;
class TelemetryReplyCache;

// A telemetry class: one class method without arguments that gives the telemetry of the
// session's branch (FIRMA and FILIALE) as one "|"-joined text, or an empty one without a branch.
// With keptReplies, the reply is served from there; without, it is built on every call.
class TelemetryClass : public ServerClass {
public:
    using KeptReply = QVariant (TelemetryReplyCache::*)(qint64 firma, qint64 filiale);
    using FreshReply = QString (Store::*)(qint64 firma, qint64 filiale) const;

    // Telemetrie.Kassa: NichtVerbuchtStatus() gives the not yet posted transactions, four fields
    // per record, each followed by "|": register|count|first counter|last counter|... A register
    // may have several records.
    static std::shared_ptr<const TelemetryClass> kassa(TelemetryReplyCache* keptReplies);
    // Telemetrie.Zeiterfassung: Zaehlerstand() gives the four clocks, five "|"-separated fields
    // each (number, first counter actual and expected, second counter actual and expected):
    // twenty fields when the branch has all four clocks.
    static std::shared_ptr<const TelemetryClass> zeiterfassung(TelemetryReplyCache* keptReplies);

    TelemetryClass(QString name, QString method, KeptReply kept, FreshReply fresh,
                   TelemetryReplyCache* keptReplies);
    QString name() const override { return m_name; }
    QVariant callClassMethod(const QString& method, const QVariantList& args,
                             MethodContext& context) const override;

private:
    QString m_name;
    QString m_method;
    KeptReply m_kept;
    FreshReply m_fresh;
    TelemetryReplyCache* m_keptReplies;
};
