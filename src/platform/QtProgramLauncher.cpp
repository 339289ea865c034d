#include "platform/QtProgramLauncher.h"

#include <QFileInfo>
#include <QProcess>

namespace {
// Registry texts name paths with backslashes; Qt takes forward slashes on every system, and
// elsewhere than Windows a backslash would otherwise be part of a file name.
QString portablePath(const QString& path) {
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}
} // namespace

bool QtProgramLauncher::start(const QString& program) {
    if (program.trimmed().isEmpty()) {
        return false;
    }
    return QProcess::startDetached(portablePath(program), {});
}

bool QtProgramLauncher::fileExists(const QString& path) const {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(portablePath(path));
    return info.exists() && info.isFile();
}
