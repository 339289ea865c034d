// Feeds arbitrary text to the server command interpreter. A line either runs completely or fails
// with one of its numbered errors and changes nothing; an accepted line, written out again in
// canonical form, reads back to the same commands.
#include "ProcessVariables.h"
#include "ServerError.h"
#include "XecuteInterpreter.h"
#include "XecuteParser.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

QString canonical(const QList<XecuteCommand>& commands, bool& exact) {
    QStringList parts;
    for (const XecuteCommand& command : commands) {
        if (command.kind == XecuteCommand::Kind::Do) {
            parts << QStringLiteral("D ^") + command.routine;
            continue;
        }
        QStringList assignments;
        for (const auto& [name, value] : command.assignments) {
            if (value.typeId() == QMetaType::QString) {
                QString text = value.toString();
                text.replace(QLatin1String("\""), QLatin1String("\"\""));
                assignments << name + QStringLiteral("=\"") + text + QLatin1Char('"');
            } else if (value.typeId() == QMetaType::LongLong) {
                assignments << name + QLatin1Char('=') + QString::number(value.toLongLong());
            } else {
                exact = false; // a double has no single text form to compare
                assignments << name + QStringLiteral("=0");
            }
        }
        parts << QStringLiteral("S ") + assignments.join(QLatin1Char(','));
    }
    return parts.join(QLatin1Char(' '));
}

bool sameCommands(const QList<XecuteCommand>& a, const QList<XecuteCommand>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].routine != b[i].routine ||
            a[i].assignments != b[i].assignments) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const XecuteInterpreter interpreter;
    ProcessVariables variables;
    variables.set(QStringLiteral("FIRMA"), QVariant::fromValue<qint64>(1));
    try {
        interpreter.execute(line, variables);
    } catch (const ServerError& error) {
        const bool known = error.number() == ServerErrorNumber::Syntax ||
                           error.number() == ServerErrorNumber::UnknownRoutine ||
                           error.number() == ServerErrorNumber::TooManyVariables;
        if (!known || variables.count() != 1 ||
            variables.value(QStringLiteral("FIRMA")).toLongLong() != 1) {
            std::abort();
        }
        return 0;
    }
    const QList<XecuteCommand> commands = XecuteParser::parse(line);
    bool exact = true;
    const QString again = canonical(commands, exact);
    if (exact && !sameCommands(XecuteParser::parse(again), commands)) {
        std::abort();
    }
    return 0;
}
