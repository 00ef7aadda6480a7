#pragma once

#include "CdpTransport.h"

#include <QAbstractSocket>
#include <QByteArrayList>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QWebSocket;

// The DevTools WebSocket of a browser already running on this machine. Messages sent before the
// socket is up are queued; a failure to connect arrives as closed(reason).
class WebSocketTransport : public CdpTransport {
    Q_OBJECT
public:
    // endpoint is "http://127.0.0.1:PORT" (the socket address is then asked of /json/version) or a
    // "ws://" address. A host other than loopback is refused here, before anything is contacted:
    // the result is null and error says why, naming the address.
    static std::unique_ptr<WebSocketTransport> connectTo(const QString& endpoint, QString* error);
    ~WebSocketTransport() override;

    void sendMessage(const QByteArray& message) override;
    bool isClosed() const override { return m_closed; }
    bool isConnected() const { return m_connected; }
    // The socket address, once known.
    QUrl webSocketUrl() const { return m_webSocketUrl; }

signals:
    void connected();

private:
    WebSocketTransport();
    void askVersion(const QUrl& httpEndpoint);
    void onVersionReply();
    void openSocket(const QUrl& url);
    void onConnected();
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void closeWith(const QString& reason);

    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QWebSocket* m_socket = nullptr;
    QUrl m_endpoint;
    QUrl m_webSocketUrl;
    QByteArrayList m_outbox;
    bool m_connected = false;
    bool m_closed = false;
};
