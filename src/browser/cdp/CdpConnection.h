#pragma once

#include "CdpTransport.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QJsonValue;

// A DevTools Protocol client over one transport: numbers the commands, hands each reply to its
// command's callback, and delivers events. Sessions are flattened: a command or event of an attached
// target carries its sessionId. Whatever arrives that makes no sense (bad JSON, wrong types, unknown
// ids or sessions, a second reply) is ignored. Everything happens on the thread the connection lives
// in. It may be deleted at any time, even from inside its own signals or callbacks; callbacks still
// pending are then dropped, not called.
class CdpConnection : public QObject {
    Q_OBJECT
public:
    struct Reply {
        enum class Status { Ok, Error, TimedOut, Closed };
        Status status = Status::Ok;
        QJsonObject result; // for Ok
        QString error;      // the browser's message, or why no reply came; empty for Ok
        int errorCode = 0;  // the browser's code, for Error
        bool ok() const { return status == Status::Ok; }
    };
    using Callback = std::function<void(const Reply&)>;

    static constexpr std::chrono::milliseconds kDefaultTimeout{10000};

    explicit CdpConnection(std::unique_ptr<CdpTransport> transport, QObject* parent = nullptr);
    ~CdpConnection() override;

    // Sends a command to the browser, or to the target of sessionId. callback, if any, runs exactly
    // once, never inside send(): with the reply, or an error when the time-out passes (a zero timeout
    // means the default), the session detaches or the connection closes. Returns the command's id.
    int send(const QString& method, const QJsonObject& params = {}, Callback callback = {},
             const QString& sessionId = {}, std::chrono::milliseconds timeout = {});

    void setDefaultTimeout(std::chrono::milliseconds timeout);
    bool isClosed() const { return m_closed; }
    QString closeReason() const { return m_closeReason; }
    // Sessions announced by Target.attachedToTarget and not yet detached.
    bool hasSession(const QString& sessionId) const { return m_sessions.contains(sessionId); }
    int pendingCount() const { return static_cast<int>(m_pending.size()); }
    CdpTransport* transport() const { return m_transport.get(); }

signals:
    // An event of the browser (sessionId empty) or of an attached session.
    void eventReceived(const QString& sessionId, const QString& method, const QJsonObject& params);
    // The connection ended; every command still pending has been failed with the same reason.
    void closed(const QString& reason);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Pending {
        QString method;
        QString sessionId;
        Callback callback;
        int timerId = 0;
    };

    int nextId();
    void onMessage(const QByteArray& message);
    void onReply(const QJsonObject& message, const QJsonValue& sessionId);
    void onEvent(const QString& sessionId, const QString& method, const QJsonValue& params);
    void onTransportClosed(const QString& reason);
    Pending takePending(int id);
    void failSession(const QString& sessionId, const QString& reason);

    std::unique_ptr<CdpTransport> m_transport;
    QHash<int, Pending> m_pending;
    QHash<int, int> m_commandOfTimer;
    QSet<QString> m_sessions;
    std::chrono::milliseconds m_defaultTimeout = kDefaultTimeout;
    int m_nextId = 1;
    bool m_closed = false;
    QString m_closeReason;
};
