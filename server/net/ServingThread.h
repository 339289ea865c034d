#pragma once

#include "SharedServices.h"

#include <QSemaphore>
#include <QString>
#include <QThread>

class AddressPlaces;
class SessionHost;

// A thread of its own for sessions: it opens its own connection to the database (one
// connection serves one thread) and runs a SessionHost on it until told to quit.
class ServingThread : public QThread {
    Q_OBJECT
public:
    ServingThread(const QString& location, int busyTimeoutMs, const SharedServices& services,
                  AddressPlaces& places, QObject* parent = nullptr);
    ~ServingThread() override;

    // Starts the thread and returns its host once it serves; null, with the reason in problem,
    // when the database could not be opened there.
    SessionHost* begin(QString* problem);

protected:
    void run() override;

private:
    QString m_location;
    int m_busyTimeoutMs;
    SharedServices m_services;
    AddressPlaces& m_places;
    QSemaphore m_ready;
    SessionHost* m_host = nullptr;
    QString m_problem;
};
