#include "WindowsClass.h"

#include "AccessRules.h"
#include "ProcessVariables.h"
#include "ServerError.h"
#include "ValueText.h"
#include "XecuteInterpreter.h"

QVariant WindowsClass::callClassMethod(const QString& method, const QVariantList& args,
                                       MethodContext& context) const {
    if (method != QLatin1String("Xecute")) {
        return ServerClass::callClassMethod(method, args, context);
    }
    if (args.size() != 1) {
        throw ServerError(
            ServerErrorNumber::WrongArguments,
            QStringLiteral("<PARAMETER> Xecute takes one argument, not %1").arg(args.size()));
    }
    // Applied to a copy, so that a line that sets a work context the user may not have changes
    // nothing.
    ProcessVariables result = context.variables;
    context.interpreter.execute(valueText(args.first()), result);
    if (context.identity) {
        AccessRules::checkWorkContext(*context.identity, result);
    }
    context.variables = std::move(result);
    return QString();
}
