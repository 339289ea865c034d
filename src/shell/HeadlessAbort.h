#pragma once

#include <QString>

// Thrown in a run without a display wherever the program would need the user: a message box or
// a dialog. Deliberately not a std::exception, so that no clean-up handler swallows it.
struct HeadlessAbort {
    QString message;
};
