#include "access/FormHelpers.h"

#include "access/FormHost.h"
#include "platform/Platform.h"
#include "platform/RowList.h"

#include <exception>

namespace {

constexpr int LogRowLimit = 100;

// Clears the flag however the walk is left (a test's process end unwinds with an exception).
class EndingGuard {
public:
    explicit EndingGuard(bool& flag)
        : m_flag(flag) {
        m_flag = true;
    }
    ~EndingGuard() { m_flag = false; }
    EndingGuard(const EndingGuard&) = delete;
    EndingGuard& operator=(const EndingGuard&) = delete;

private:
    bool& m_flag;
};

} // namespace

FormHelpers::FormHelpers(Platform& platform, FormHost& forms)
    : m_platform(platform)
    , m_forms(forms) {
}

void FormHelpers::UnloadAllAndEnd(int exitCode) {
    // The main window's unload handler calls back in here while the outer walk is still
    // unloading; the outer call finishes the walk and ends the program, so the inner one is done.
    if (m_ending) {
        return;
    }
    EndingGuard guard(m_ending);
    try {
        m_forms.unloadAllWindows();
    } catch (const std::exception&) {
        // A window that fails to unload must not keep the program alive.
    }
    m_platform.processEnd.endProgram(exitCode);
}

void FormHelpers::AddListRow(const QString& part, const QString& text, const QString& parameter) {
    const QString row = part + QLatin1Char(';') + text + QLatin1Char(';') + parameter;
    try {
        m_forms.programLog().insertAt(row, 0);
    } catch (...) {
        // The log is a convenience: the monitors go on without it.
    }
    try {
        // Fails while the list holds 100 rows or fewer; that is the normal case.
        m_forms.programLog().removeAt(LogRowLimit);
    } catch (...) {
    }
}
