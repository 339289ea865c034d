#include "PlainTcpServer.h"

#include <QMetaMethod>

#include <unistd.h>

void PlainTcpServer::incomingConnection(qintptr descriptor) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&PlainTcpServer::accepted))) {
        ::close(static_cast<int>(descriptor)); // nobody would own it
        return;
    }
    emit accepted(descriptor);
}
