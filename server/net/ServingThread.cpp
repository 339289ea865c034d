#include "ServingThread.h"

#include "EpollEventDispatcher.h"

#include "ServerError.h"
#include "ServerLog.h"
#include "SessionHost.h"
#include "Store.h"

#include <memory>

ServingThread::ServingThread(const QString& location, int busyTimeoutMs,
                             const SharedServices& services, AddressPlaces& places, QObject* parent)
    : QThread(parent)
    , m_location(location)
    , m_busyTimeoutMs(busyTimeoutMs)
    , m_services(services)
    , m_places(places) {
    setEventDispatcher(new EpollEventDispatcher);
}

ServingThread::~ServingThread() {
    quit();
    wait();
}

SessionHost* ServingThread::begin(QString* problem) {
    start();
    m_ready.acquire();
    if (!m_host) {
        *problem = m_problem;
    }
    return m_host;
}

void ServingThread::run() {
    std::unique_ptr<Store> store;
    try {
        store = std::make_unique<Store>(m_location, m_busyTimeoutMs);
    } catch (const ServerError& error) {
        m_problem = error.text();
        m_ready.release();
        return;
    }
    const ServerLog& log = m_services.log;
    store->setHealthLog([&log](const QString& line) { log.write(line); });
    {
        // Destroyed here, on its thread, before the store it reads.
        SessionHost host(*store, m_services, m_places);
        m_host = &host;
        m_ready.release();
        exec();
        m_host = nullptr;
    }
}
