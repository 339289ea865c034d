#include "ZeiterfassungClass.h"

#include "ServerError.h"
#include "Store.h"
#include "TelemetryReplyCache.h"
#include "WorkingBranch.h"

ZeiterfassungClass::ZeiterfassungClass(TelemetryReplyCache* keptReplies)
    : m_keptReplies(keptReplies) {
}

QVariant ZeiterfassungClass::callClassMethod(const QString& method, const QVariantList& args,
                                             MethodContext& context) const {
    if (method != QLatin1String("Zaehlerstand")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (!args.isEmpty()) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> Zaehlerstand takes no argument"));
    }
    const std::optional<WorkingBranch> branch = WorkingBranch::of(context.variables);
    if (!branch) {
        return QString();
    }
    return m_keptReplies ? m_keptReplies->clocks(branch->firma, branch->filiale)
                         : context.store.clockReply(branch->firma, branch->filiale);
}
