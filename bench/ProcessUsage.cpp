#include "ProcessUsage.h"

#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace {

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 statusKiB(const QByteArray& status, const QByteArray& key) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

} // namespace

ProcessUsage ProcessUsage::of(qint64 pid) {
    ProcessUsage usage;
    // The command name may hold blanks: the fields are counted after its closing ")".
    const QByteArray stat = procFile(pid, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12) {
        const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
        usage.cpuSeconds = (fields[11].toDouble() + fields[12].toDouble()) / ticks; // utime, stime
    }
    const QByteArray status = procFile(pid, "status");
    usage.residentKiB = statusKiB(status, "VmRSS:");
    usage.peakResidentKiB = statusKiB(status, "VmHWM:");
    return usage;
}
