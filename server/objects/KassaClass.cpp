#include "KassaClass.h"

#include "ServerError.h"
#include "Store.h"
#include "TelemetryReplyCache.h"
#include "WorkingBranch.h"

KassaClass::KassaClass(TelemetryReplyCache* keptReplies)
    : m_keptReplies(keptReplies) {
}

QVariant KassaClass::callClassMethod(const QString& method, const QVariantList& args,
                                     MethodContext& context) const {
    if (method != QLatin1String("NichtVerbuchtStatus")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (!args.isEmpty()) {
        throw ServerError(ServerErrorNumber::WrongArguments,
                          QStringLiteral("<PARAMETER> NichtVerbuchtStatus takes no argument"));
    }
    const std::optional<WorkingBranch> branch = WorkingBranch::of(context.variables);
    if (!branch) {
        return QString();
    }
    return m_keptReplies ? m_keptReplies->registers(branch->firma, branch->filiale)
                         : context.store.registerReply(branch->firma, branch->filiale);
}
