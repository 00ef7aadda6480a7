#include "CdpConnection.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

using Reply = CdpConnection::Reply;

Reply failure(Reply::Status status, const QString& error)
{
    Reply reply;
    reply.status = status;
    reply.error = error;
    return reply;
}

} // namespace

CdpConnection::CdpConnection(std::unique_ptr<CdpTransport> transport, QObject* parent)
    : QObject(parent)
    , m_transport(std::move(transport))
{
    if (!m_transport) {
        m_closed = true;
        m_closeReason = QStringLiteral("no DevTools transport");
        return;
    }
    connect(m_transport.get(), &CdpTransport::messageReceived, this, &CdpConnection::onMessage);
    connect(m_transport.get(), &CdpTransport::closed, this, &CdpConnection::onTransportClosed);
    if (m_transport->isClosed()) {
        m_closed = true;
        m_closeReason = QStringLiteral("the DevTools connection is closed");
    }
}

CdpConnection::~CdpConnection()
{
    if (m_transport)
        m_transport->disconnect(this);
}

void CdpConnection::setDefaultTimeout(std::chrono::milliseconds timeout)
{
    if (timeout.count() > 0)
        m_defaultTimeout = timeout;
}

int CdpConnection::nextId()
{
    for (;;) {
        const int id = m_nextId;
        m_nextId = m_nextId == INT_MAX ? 1 : m_nextId + 1;
        if (!m_pending.contains(id))
            return id;
    }
}

int CdpConnection::send(const QString& method, const QJsonObject& params, Callback callback, const QString& sessionId,
                        std::chrono::milliseconds timeout)
{
    const int id = nextId();
    if (m_closed) {
        if (callback) {
            QMetaObject::invokeMethod(
                this,
                [callback = std::move(callback), reason = m_closeReason] {
                    callback(failure(Reply::Status::Closed, reason));
                },
                Qt::QueuedConnection);
        }
        return id;
    }
    QJsonObject message{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    if (!sessionId.isEmpty())
        message.insert(QStringLiteral("sessionId"), sessionId);

    if (timeout.count() <= 0)
        timeout = m_defaultTimeout;
    Pending pending{method, sessionId, std::move(callback), startTimer(timeout)};
    if (pending.timerId != 0)
        m_commandOfTimer.insert(pending.timerId, id);
    m_pending.insert(id, std::move(pending));
    m_transport->sendMessage(QJsonDocument(message).toJson(QJsonDocument::Compact));
    return id;
}

CdpConnection::Pending CdpConnection::takePending(int id)
{
    Pending pending = m_pending.take(id);
    if (pending.timerId != 0) {
        killTimer(pending.timerId);
        m_commandOfTimer.remove(pending.timerId);
    }
    return pending;
}

void CdpConnection::timerEvent(QTimerEvent* event)
{
    const auto found = m_commandOfTimer.constFind(event->timerId());
    if (found == m_commandOfTimer.constEnd()) {
        QObject::timerEvent(event);
        return;
    }
    const int id = found.value();
    Pending pending = takePending(id);
    // A reply that comes later finds no command and is ignored.
    if (pending.callback)
        pending.callback(
            failure(Reply::Status::TimedOut, QStringLiteral("%1 got no reply in time").arg(pending.method)));
}

void CdpConnection::onMessage(const QByteArray& message)
{
    if (m_closed)
        return;
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonObject object = document.object();
    const QJsonValue sessionId = object.value(QLatin1String("sessionId"));
    if (!sessionId.isUndefined() && !sessionId.isString())
        return;
    if (object.contains(QLatin1String("id"))) {
        onReply(object, sessionId);
        return;
    }
    const QJsonValue method = object.value(QLatin1String("method"));
    if (!method.isString() || method.toString().isEmpty())
        return;
    onEvent(sessionId.toString(), method.toString(), object.value(QLatin1String("params")));
}

void CdpConnection::onReply(const QJsonObject& message, const QJsonValue& sessionId)
{
    const qint64 id = message.value(QLatin1String("id")).toInteger(-1);
    if (id <= 0 || id > INT_MAX)
        return;
    const auto found = m_pending.constFind(static_cast<int>(id));
    if (found == m_pending.constEnd())
        return;
    // The browser answers a command in the session it was sent to (or, for an unknown session, in none).
    if (sessionId.isString() && sessionId.toString() != found->sessionId)
        return;

    Reply reply;
    if (message.contains(QLatin1String("error"))) {
        const QJsonValue error = message.value(QLatin1String("error"));
        const QJsonValue text = error.toObject().value(QLatin1String("message"));
        if (!error.isObject() || !text.isString())
            return;
        reply.status = Reply::Status::Error;
        reply.error = text.toString().isEmpty() ? QStringLiteral("the browser reported an error") : text.toString();
        const qint64 code = error.toObject().value(QLatin1String("code")).toInteger(0);
        reply.errorCode = code >= INT_MIN && code <= INT_MAX ? static_cast<int>(code) : 0;
    } else {
        const QJsonValue result = message.value(QLatin1String("result"));
        if (!result.isObject())
            return;
        reply.result = result.toObject();
    }
    Pending pending = takePending(static_cast<int>(id));
    if (pending.callback)
        pending.callback(reply);
}

void CdpConnection::onEvent(const QString& sessionId, const QString& method, const QJsonValue& paramsValue)
{
    if (!paramsValue.isUndefined() && !paramsValue.isObject())
        return;
    if (!sessionId.isEmpty() && !m_sessions.contains(sessionId))
        return;
    const QJsonObject params = paramsValue.toObject();
    const QString subject = params.value(QLatin1String("sessionId")).toString();
    QString detached;
    if (!subject.isEmpty()) {
        if (method == QLatin1String("Target.attachedToTarget")) {
            m_sessions.insert(subject);
        } else if (method == QLatin1String("Target.detachedFromTarget") && m_sessions.remove(subject)) {
            detached = subject;
        }
    }
    const QPointer<CdpConnection> self(this);
    if (!detached.isEmpty()) {
        failSession(detached, QStringLiteral("session %1 detached").arg(detached));
        if (!self)
            return;
    }
    emit eventReceived(sessionId, method, params);
}

void CdpConnection::failSession(const QString& sessionId, const QString& reason)
{
    std::vector<int> ids;
    for (const auto& [id, pending] : m_pending.asKeyValueRange()) {
        if (pending.sessionId == sessionId)
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    std::vector<Callback> callbacks;
    for (const int id : ids)
        callbacks.push_back(takePending(id).callback);
    // Only locals from here: a callback may delete this connection.
    for (const Callback& callback : callbacks) {
        if (callback)
            callback(failure(Reply::Status::Closed, reason));
    }
}

void CdpConnection::onTransportClosed(const QString& reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_closeReason = reason.isEmpty() ? QStringLiteral("the DevTools connection closed") : reason;
    m_sessions.clear();
    std::vector<int> ids(m_pending.keyBegin(), m_pending.keyEnd());
    std::sort(ids.begin(), ids.end());
    std::vector<Callback> callbacks;
    for (const int id : ids)
        callbacks.push_back(takePending(id).callback);
    const QString closeReason = m_closeReason;
    const QPointer<CdpConnection> self(this);
    for (const Callback& callback : callbacks) {
        if (callback)
            callback(failure(Reply::Status::Closed, closeReason));
    }
    if (self)
        emit closed(closeReason);
}
