#include "XecuteInterpreter.h"

#include "ServerError.h"
#include "XecuteParser.h"

XecuteInterpreter::XecuteInterpreter() {
    m_routines.insert(QStringLiteral("%XTT"), [](ProcessVariables& variables) {
        variables.set(QStringLiteral("%XTT"), QVariant::fromValue<qint64>(1));
    });
}

void XecuteInterpreter::execute(const QString& line, ProcessVariables& variables) const {
    const QList<XecuteCommand> commands = XecuteParser::parse(line);
    for (const XecuteCommand& command : commands) {
        if (command.kind == XecuteCommand::Kind::Do && !m_routines.contains(command.routine)) {
            throw ServerError(ServerErrorNumber::UnknownRoutine,
                              QStringLiteral("<NOROUTINE> ^%1").arg(command.routine));
        }
    }
    ProcessVariables result = variables;
    for (const XecuteCommand& command : commands) {
        if (command.kind == XecuteCommand::Kind::Set) {
            for (const auto& [name, value] : command.assignments) {
                result.set(name, value);
            }
        } else {
            m_routines.value(command.routine)(result);
        }
    }
    variables = result;
}
