#pragma once

#include "ProcessVariables.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// Runs a server command line on a session's variables. The whole line is read and checked first
// and then applied to a copy, so a line that fails anywhere changes nothing.
class XecuteInterpreter {
public:
    using Routine = std::function<void(ProcessVariables&)>;

    // Knows the routine ^%XTT, the terminal set-up every new connection runs: it marks the
    // session as set up (%XTT=1).
    XecuteInterpreter();

    // Throws ServerError (Syntax, UnknownRoutine, TooManyVariables); variables stay unchanged
    // then.
    void execute(const QString& line, ProcessVariables& variables) const;

    QStringList routines() const { return m_routines.keys(); }

private:
    QMap<QString, Routine> m_routines;
};
