#include "LoopbackHttpServer.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QUrl>

namespace {

// A request head larger than this is not one of ours.
constexpr qsizetype kMaxHead = 16 * 1024;

QByteArray contentType(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"html" || suffix == u"htm")
        return "text/html; charset=utf-8";
    if (suffix == u"js")
        return "text/javascript; charset=utf-8";
    if (suffix == u"css")
        return "text/css; charset=utf-8";
    if (suffix == u"png")
        return "image/png";
    if (suffix == u"svg")
        return "image/svg+xml";
    if (suffix == u"wav")
        return "audio/wav";
    return "application/octet-stream";
}

void reply(QTcpSocket* socket, QByteArray status, const QByteArray& type, const QByteArray& body, bool withBody)
{
    QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    socket->write(head);
    if (withBody)
        socket->write(body);
    socket->disconnectFromHost();
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(QString rootFolder, QObject* parent)
    : QObject(parent)
    , m_root(rootFolder)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

bool LoopbackHttpServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

QString LoopbackHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    }
}

void LoopbackHttpServer::read(QTcpSocket* socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > kMaxHead)
            socket->abort();
        else
            socket->setProperty("head", head);
        return;
    }
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
        reply(socket, "400 Bad Request", "text/plain", "bad request\n", true);
        return;
    }
    emit requestSeen(QString::fromLatin1(requestLine[0]), QString::fromUtf8(requestLine[1]));
    answer(socket, requestLine[0], requestLine[1]);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const QByteArray& method, const QByteArray& target)
{
    const bool head = method == "HEAD";
    if (method != "GET" && !head) {
        reply(socket, "405 Method Not Allowed", "text/plain", "method not allowed\n", true);
        return;
    }
    QString path = QUrl::fromEncoded(target).path();
    if (path.endsWith(u'/'))
        path += QStringLiteral("index.html");
    // Only files inside the folder, however the path is spelled.
    const QString file = QFileInfo(m_root.filePath(path.mid(1))).canonicalFilePath();
    const QString root = m_root.canonicalPath();
    QFile content(file);
    if (file.isEmpty() || root.isEmpty() || !file.startsWith(root + u'/') || !QFileInfo(file).isFile() ||
        !content.open(QIODevice::ReadOnly)) {
        reply(socket, "404 Not Found", "text/plain", "not found\n", !head);
        return;
    }
    reply(socket, "200 OK", contentType(file), content.readAll(), !head);
}
