#include "WebSocketTransport.h"

#include "DevToolsEndpoint.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QWebSocket>

#include <utility>

namespace {

constexpr int kVersionTimeoutMs = 5000;
// DevTools messages can be large (screenshots, page sources); the default limit suits them poorly.
constexpr quint64 kMaxIncomingMessage = quint64(256) * 1024 * 1024;

} // namespace

std::unique_ptr<WebSocketTransport> WebSocketTransport::connectTo(const QString& endpoint, QString* error)
{
    auto fail = [error](const QString& reason) -> std::unique_ptr<WebSocketTransport> {
        if (error)
            *error = reason;
        return nullptr;
    };
    const QUrl url(endpoint.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("ws"))
        return fail(
            QStringLiteral("not a DevTools address: \"%1\" (use http://127.0.0.1:PORT or ws://...)").arg(endpoint));
    if (const QString refused = DevToolsEndpoint::refusal(url); !refused.isEmpty())
        return fail(refused);

    std::unique_ptr<WebSocketTransport> transport(new WebSocketTransport());
    transport->m_endpoint = url;
    if (scheme == QLatin1String("http"))
        transport->askVersion(url);
    else
        transport->openSocket(url);
    return transport;
}

WebSocketTransport::WebSocketTransport() = default;

WebSocketTransport::~WebSocketTransport()
{
    // Deleted later: this may run inside a signal of the socket or the reply.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->setParent(nullptr);
        m_socket->deleteLater();
    }
}

void WebSocketTransport::askVersion(const QUrl& httpEndpoint)
{
    m_network = new QNetworkAccessManager(this);
    // Loopback traffic never goes through a proxy.
    m_network->setProxy(QNetworkProxy::NoProxy);
    QUrl versionUrl = httpEndpoint;
    versionUrl.setPath(QStringLiteral("/json/version"));
    versionUrl.setQuery(QString());
    versionUrl.setFragment(QString());
    QNetworkRequest request(versionUrl);
    // A redirect could lead off this machine.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kVersionTimeoutMs);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &WebSocketTransport::onVersionReply);
}

void WebSocketTransport::onVersionReply()
{
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    const QString shown = m_endpoint.toDisplayString();
    if (reply->error() != QNetworkReply::NoError) {
        closeWith(QStringLiteral("could not reach %1: %2").arg(shown, reply->errorString()));
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        closeWith(QStringLiteral("%1 answered /json/version with HTTP status %2").arg(shown).arg(status));
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->read(1024 * 1024));
    const QJsonValue address = document.object().value(QLatin1String("webSocketDebuggerUrl"));
    const QUrl url(address.toString(), QUrl::StrictMode);
    if (!address.isString() || url.scheme().toLower() != QLatin1String("ws")) {
        closeWith(QStringLiteral("%1 gave no DevTools WebSocket address").arg(shown));
        return;
    }
    if (const QString refused = DevToolsEndpoint::refusal(url); !refused.isEmpty()) {
        closeWith(refused);
        return;
    }
    openSocket(url);
}

void WebSocketTransport::openSocket(const QUrl& url)
{
    m_webSocketUrl = url;
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setMaxAllowedIncomingMessageSize(kMaxIncomingMessage);
    m_socket->setMaxAllowedIncomingFrameSize(kMaxIncomingMessage);
    connect(m_socket, &QWebSocket::connected, this, &WebSocketTransport::onConnected);
    connect(m_socket, &QWebSocket::disconnected, this, &WebSocketTransport::onDisconnected);
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            &WebSocketTransport::onSocketError);
    connect(m_socket, &QWebSocket::textMessageReceived, this, [this](const QString& message) {
        if (!m_closed)
            emit messageReceived(message.toUtf8());
    });
    connect(m_socket, &QWebSocket::binaryMessageReceived, this, [this](const QByteArray& message) {
        if (!m_closed)
            emit messageReceived(message);
    });
    m_socket->open(url);
}

void WebSocketTransport::sendMessage(const QByteArray& message)
{
    if (m_closed)
        return;
    if (!m_connected) {
        m_outbox.append(message);
        return;
    }
    m_socket->sendTextMessage(QString::fromUtf8(message));
}

void WebSocketTransport::onConnected()
{
    if (m_closed)
        return;
    m_connected = true;
    for (const QByteArray& message : std::exchange(m_outbox, {}))
        m_socket->sendTextMessage(QString::fromUtf8(message));
    emit connected();
}

void WebSocketTransport::onDisconnected()
{
    QString reason = m_socket->closeReason();
    if (reason.isEmpty())
        reason = m_connected ? QStringLiteral("the browser closed the DevTools connection")
                             : QStringLiteral("could not connect to %1: %2")
                                   .arg(m_webSocketUrl.toDisplayString(), m_socket->errorString());
    closeWith(reason);
}

void WebSocketTransport::onSocketError(QAbstractSocket::SocketError)
{
    const QString prefix =
        m_connected ? QStringLiteral("DevTools connection to %1 failed") : QStringLiteral("could not connect to %1");
    closeWith(QStringLiteral("%1: %2").arg(prefix.arg(m_webSocketUrl.toDisplayString()), m_socket->errorString()));
}

void WebSocketTransport::closeWith(const QString& reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_outbox.clear();
    emit closed(reason);
}
