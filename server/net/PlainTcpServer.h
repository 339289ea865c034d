#pragma once

#include <QTcpServer>

// A listening socket that hands each accepted connection over as its bare descriptor, for a
// PlainSocketStream, instead of making a QTcpSocket of it.
class PlainTcpServer : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

signals:
    // The receiver owns the descriptor from now on.
    void accepted(qintptr descriptor);

protected:
    void incomingConnection(qintptr descriptor) override;
};
