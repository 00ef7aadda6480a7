// Which DevTools addresses may be contacted, the profile's DevToolsActivePort file, and what the
// WebSocket transport makes of a /json/version answer that points elsewhere (served on 127.0.0.1).
#include "DevToolsEndpoint.h"
#include "WebSocketTransport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class TestDevToolsEndpoint : public QObject {
    Q_OBJECT

private slots:
    void onlyLoopbackIsContacted_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        const QString loopbackOnly = "only loopback addresses";
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:1"
                                   << "";
        QTest::newRow("127/8") << "ws://127.3.2.1:1/devtools/browser/x"
                               << "";
        QTest::newRow("::1") << "ws://[::1]:1/devtools/browser/x"
                             << "";
        QTest::newRow("localhost") << "http://LocalHost:1"
                                   << "";
        QTest::newRow("outside") << "http://192.0.2.1:9222"
                                 << "192.0.2.1:9222";
        QTest::newRow("outside ws") << "ws://192.0.2.1:9222/devtools/browser/x"
                                    << "192.0.2.1:9222";
        QTest::newRow("any") << "http://0.0.0.0:9222"
                             << "0.0.0.0:9222";
        QTest::newRow("mapped v4") << "http://[::ffff:192.0.2.1]:9222"
                                   << "192.0.2.1";
        QTest::newRow("v6") << "ws://[2001:db8::1]:9222/x"
                            << "2001:db8::1";
        QTest::newRow("name") << "http://localhost.example:9222"
                              << "localhost.example:9222";
        QTest::newRow("loopback-looking name") << "http://127.0.0.1.example:9222"
                                               << "127.0.0.1.example";
        QTest::newRow("loopback as user") << "http://127.0.0.1@192.0.2.1:9222"
                                          << "192.0.2.1:9222";
        QTest::newRow("https") << "https://127.0.0.1:9222"
                               << "not a DevTools address";
        QTest::newRow("no scheme") << "127.0.0.1:9222"
                                   << "not a DevTools address";
    }

    void onlyLoopbackIsContacted()
    {
        QFETCH(QString, endpoint);
        QFETCH(QString, refusal);
        QString error;
        const auto transport = WebSocketTransport::connectTo(endpoint, &error);
        QCOMPARE(!transport, !refusal.isEmpty());
        QVERIFY2(error.contains(refusal), qPrintable(error));
    }

    void activePortFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("url"); // empty: refused
        QTest::newRow("as written") << QByteArray("9222\n/devtools/browser/ab-1")
                                    << "ws://127.0.0.1:9222/devtools/browser/ab-1";
        QTest::newRow("crlf") << QByteArray("41234\r\n/devtools/browser/x\r\n")
                              << "ws://127.0.0.1:41234/devtools/browser/x";
        QTest::newRow("port zero") << QByteArray("0\n/devtools/browser/x") << "";
        QTest::newRow("port not a number") << QByteArray("92a2\n/devtools/browser/x") << "";
        QTest::newRow("path with query") << QByteArray("9222\n/x?y") << "";
        QTest::newRow("missing file") << QByteArray() << "";
    }

    void activePortFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, url);
        QTemporaryDir profile;
        QFile file(profile.filePath("DevToolsActivePort"));
        if (!text.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        QString error;
        QCOMPARE(DevToolsEndpoint::fromActivePortFile(profile.path(), &error).toString(), url);
        QCOMPARE(error.isEmpty(), !url.isEmpty());
        QVERIFY2(url.isEmpty() == error.contains(file.fileName()), qPrintable(error));
    }

    void versionAnswerLeadingElsewhereIsRefused_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("reason");
        const QByteArray elsewhere = "{\"webSocketDebuggerUrl\":\"ws://192.0.2.1:9222/devtools/browser/x\"}";
        QTest::newRow("socket elsewhere")
            << "200 OK\r\nContent-Length: " + QByteArray::number(elsewhere.size()) + "\r\n\r\n" + elsewhere
            << "refusing DevTools endpoint ws://192.0.2.1:9222";
        QTest::newRow("redirect") << QByteArray("302 Found\r\nLocation: http://192.0.2.1:9222/json/version\r\n"
                                                "Content-Length: 0\r\n\r\n")
                                  << "HTTP status 302";
        QTest::newRow("no address") << QByteArray("200 OK\r\nContent-Length: 2\r\n\r\n{}") << "no DevTools WebSocket";
    }

    void versionAnswerLeadingElsewhereIsRefused()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, reason);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray request;
        int requests = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                request += socket->readAll();
                if (request.endsWith("\r\n\r\n")) {
                    ++requests;
                    socket->write("HTTP/1.1 " + answer);
                    socket->disconnectFromHost();
                }
            });
        });
        QString error;
        auto transport =
            WebSocketTransport::connectTo(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()), &error);
        QVERIFY2(transport, qPrintable(error));
        QSignalSpy closed(transport.get(), &CdpTransport::closed);
        QVERIFY(closed.wait(10000));
        QVERIFY2(closed.at(0).at(0).toString().contains(reason), qPrintable(closed.at(0).at(0).toString()));
        QVERIFY(request.startsWith("GET /json/version HTTP/1.1\r\n"));
        QCOMPARE(requests, 1);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsEndpoint)
#include "tst_devtools_endpoint.moc"
