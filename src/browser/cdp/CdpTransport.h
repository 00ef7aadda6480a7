#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// A channel to a browser's DevTools endpoint that carries whole JSON messages both ways.
// Implementations emit closed() exactly once; after it nothing more is sent or received.
class CdpTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CdpTransport() override;

    // Queues one JSON text for the browser; never blocks. Dropped once the transport is closed.
    virtual void sendMessage(const QByteArray& message) = 0;
    virtual bool isClosed() const = 0;

signals:
    void messageReceived(const QByteArray& message);
    void closed(const QString& reason);
};
