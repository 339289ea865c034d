#include "TelemetryClass.h"

#include "MethodContext.h"
#include "ServerError.h"
#include "Store.h"
#include "TelemetryReplyCache.h"
#include "WorkingBranch.h"

std::shared_ptr<const TelemetryClass> TelemetryClass::kassa(TelemetryReplyCache* keptReplies) {
    return std::make_shared<TelemetryClass>(
        QStringLiteral("Telemetrie.Kassa"), QStringLiteral("NichtVerbuchtStatus"),
        &TelemetryReplyCache::registers, &Store::registerReply, keptReplies);
}

std::shared_ptr<const TelemetryClass>
TelemetryClass::zeiterfassung(TelemetryReplyCache* keptReplies) {
    return std::make_shared<TelemetryClass>(
        QStringLiteral("Telemetrie.Zeiterfassung"), QStringLiteral("Zaehlerstand"),
        &TelemetryReplyCache::clocks, &Store::clockReply, keptReplies);
}

TelemetryClass::TelemetryClass(QString name, QString method, KeptReply kept, FreshReply fresh,
                               TelemetryReplyCache* keptReplies)
    : m_name(std::move(name))
    , m_method(std::move(method))
    , m_kept(kept)
    , m_fresh(fresh)
    , m_keptReplies(keptReplies) {
}

QVariant TelemetryClass::callClassMethod(const QString& method, const QVariantList& args,
                                         MethodContext& context) const {
    if (method != m_method) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (!args.isEmpty()) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> %1 takes no argument").arg(m_method));
    }
    const std::optional<WorkingBranch> branch = WorkingBranch::of(context.variables);
    if (!branch) {
        return QString();
    }
    if (m_keptReplies) {
        return (m_keptReplies->*m_kept)(branch->firma, branch->filiale);
    }
    return (context.store.*m_fresh)(branch->firma, branch->filiale);
}
