#pragma once

#include <QtGlobal>

// What another process has used so far, read from /proc (Linux).
struct ProcessUsage {
    double cpuSeconds = 0.0;    // user + system
    qint64 residentKiB = 0;     // VmRSS
    qint64 peakResidentKiB = 0; // VmHWM

    static ProcessUsage of(qint64 pid);
};
