#pragma once

#include <QDir>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A small HTTP server on 127.0.0.1 that serves the files of one folder: the demo page's real site, and
// the pages of the browser tests. It answers GET and HEAD, closes each connection after one answer and
// reports every request it sees, so a test can tell whether a blocked popup reached the network.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    explicit LoopbackHttpServer(QString rootFolder, QObject* parent = nullptr);

    // Listens on 127.0.0.1, on the port given or a free one; false with the reason in errorString().
    bool listen(quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    // "http://127.0.0.1:PORT" followed by the path.
    QString url(const QString& path = QStringLiteral("/")) const;

signals:
    // The request line's target, e.g. "/popup.html?x=1".
    void requestSeen(const QString& method, const QString& target);

private:
    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& method, const QByteArray& target);

    QDir m_root;
    QTcpServer m_server;
};
