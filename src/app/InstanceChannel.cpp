#include "InstanceChannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// Long enough for a busy program to answer; a program that never answers is not waited for longer.
constexpr int kAnswerMs = 10000;
// A line is one JSON object; nothing a start sends comes near this.
constexpr qint64 kMaxLine = 1 << 20;

QByteArray line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> readLine(QLocalSocket& socket)
{
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > kMaxLine || !socket.waitForReadyRead(kAnswerMs))
            return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(socket.readLine(kMaxLine));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

QString InstanceChannel::defaultPath(const QString& product)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        return QDir(QDir::tempPath()).filePath(QStringLiteral("%1-%2.socket").arg(product).arg(::getuid()));
    return QDir(folder).filePath(product + QStringLiteral(".socket"));
}

InstanceChannel::InstanceChannel(QString path, QString dataFolder, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_dataFolder(std::move(dataFolder))
{}

InstanceChannel::~InstanceChannel() = default;

InstanceChannel::Claim InstanceChannel::claimOrHandOver(const QStringList& arguments, QString* error, Answer* answer)
{
    // Two starts at once: one claims, the other finds it. The lock is taken over from a crashed holder.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(kAnswerMs)) {
        *error = QStringLiteral("could not lock %1").arg(lock.fileName());
        return Claim::Failed;
    }
    Running running;
    bool reached = false;
    if (std::unique_ptr<QLocalSocket> socket = connectToRunning(&running, &reached)) {
        QJsonObject request;
        request[QStringLiteral("arguments")] = QJsonArray::fromStringList(arguments);
        socket->write(line(request));
        const std::optional<QJsonObject> reply = readLine(*socket);
        if (!reply || !reply->value(QStringLiteral("taken")).toBool()) {
            *error = QStringLiteral("the running program (pid %1) did not take the request").arg(running.pid);
            return Claim::Failed;
        }
        answer->status = reply->value(QStringLiteral("status")).toInt();
        answer->message = reply->value(QStringLiteral("message")).toString();
        return Claim::HandedOver;
    }
    if (reached) {
        // Someone listens but says nothing: a program too busy to answer is not replaced.
        *error = QStringLiteral("a program listens on %1 but does not answer").arg(m_path);
        return Claim::Failed;
    }
    // Nobody listens: what is there was left by a program that ended without removing it.
    QLocalServer::removeServer(m_path);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        *error = QStringLiteral("could not listen on %1: %2").arg(m_path, m_server->errorString());
        m_server.reset();
        return Claim::Failed;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &InstanceChannel::onNewConnection);
    return Claim::Claimed;
}

std::optional<InstanceChannel::Running> InstanceChannel::running() const
{
    Running running;
    bool reached = false;
    if (!connectToRunning(&running, &reached))
        return std::nullopt;
    return running;
}

std::unique_ptr<QLocalSocket> InstanceChannel::connectToRunning(Running* running, bool* reached) const
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(m_path);
    if (!socket->waitForConnected(kAnswerMs))
        return nullptr;
    *reached = true;
    const std::optional<QJsonObject> hello = readLine(*socket);
    if (!hello)
        return nullptr;
    running->pid = hello->value(QStringLiteral("pid")).toInteger();
    running->dataFolder = hello->value(QStringLiteral("dataFolder")).toString();
    return socket;
}

void InstanceChannel::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        QJsonObject hello;
        hello[QStringLiteral("pid")] = QCoreApplication::applicationPid();
        hello[QStringLiteral("dataFolder")] = m_dataFolder;
        socket->write(line(hello));
    }
}

void InstanceChannel::onReadable(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QJsonDocument document = QJsonDocument::fromJson(socket->readLine(kMaxLine));
        const QJsonValue arguments = document.object().value(QStringLiteral("arguments"));
        if (!arguments.isArray()) {
            socket->disconnectFromServer();
            return;
        }
        QStringList list;
        for (const QJsonValue& argument : arguments.toArray())
            list.append(argument.toString());
        const Answer answer = m_handler ? m_handler(list) : Answer{};
        QJsonObject reply;
        reply[QStringLiteral("taken")] = true;
        reply[QStringLiteral("status")] = answer.status;
        reply[QStringLiteral("message")] = answer.message;
        socket->write(line(reply));
        socket->flush();
    }
    if (socket->bytesAvailable() > kMaxLine)
        socket->disconnectFromServer();
}
