#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM (systemctl stop) and SIGINT (Ctrl-C) into a signal of the main thread's event
// loop, so that a stop can be logged and the sessions ended in order. Only the first is caught:
// a second stop signal ends the process at once, so an administrator can cut a stop short. A
// stop is bounded: limitSeconds after the signal the process ends with status 1 and a line on
// stderr that says so, whatever thread it is still waiting for.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(unsigned limitSeconds, QObject* parent = nullptr);
    // Gives SIGTERM and SIGINT their default actions again (the bound, once running, stays).
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // "SIGTERM" or "SIGINT", the only two it catches.
    static QString nameOf(int signalNumber);

signals:
    // Once, for the first stop signal.
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};
