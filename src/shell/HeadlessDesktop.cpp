#include "shell/HeadlessDesktop.h"

#include "shell/HeadlessAbort.h"

MsgAnswer HeadlessDesktop::AbortingMessageBoxes::show(const QString& text, const QString& title,
                                                      MsgButtons, MsgIcon) {
    QString message = text.trimmed();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString heading = title;
    if (heading.endsWith(QLatin1Char('.'))) {
        heading.chop(1);
    }
    throw HeadlessAbort{heading.isEmpty() ? message : heading + QStringLiteral(": ") + message};
}

void HeadlessDesktop::UnwindingProcessEnd::endProgram(int exitCode) {
    m_settings.sync();
    throw ProgramEnded{exitCode};
}
