// The DevTools connection's protocol logic, driven through a fake transport.
#include "CdpConnection.h"

#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <vector>

using namespace std::chrono_literals;
using Reply = CdpConnection::Reply;
using Replies = std::vector<Reply>;

namespace {

// Records what the connection sends and hands it any bytes the test likes.
class FakeTransport : public CdpTransport {
public:
    void sendMessage(const QByteArray& message) override { sent.append(message); }
    bool isClosed() const override { return false; }
    void deliver(const QByteArray& message) { emit messageReceived(message); }
    void close(const QString& reason) { emit closed(reason); } // may come twice: the connection copes
    QByteArrayList sent;
};

CdpConnection::Callback into(Replies& replies)
{
    return [&replies](const Reply& reply) {
        replies.push_back(reply);
    };
}

QByteArray reply(int id, const QByteArray& body = "\"result\":{}")
{
    return "{\"id\":" + QByteArray::number(id) + "," + body + "}";
}

QByteArray sessionEvent(const QByteArray& method, const QByteArray& subject, const QByteArray& onSession = {})
{
    return "{\"method\":\"" + method + "\",\"params\":{\"sessionId\":\"" + subject + "\"}" +
           (onSession.isEmpty() ? "" : ",\"sessionId\":\"" + onSession + "\"") + "}";
}

} // namespace

class TestCdpConnection : public QObject {
    Q_OBJECT

    FakeTransport* m_transport = nullptr;
    std::unique_ptr<CdpConnection> m_connection;

private slots:
    void init()
    {
        auto transport = std::make_unique<FakeTransport>();
        m_transport = transport.get();
        m_connection = std::make_unique<CdpConnection>(std::move(transport));
    }
    void cleanup() { m_connection.reset(); }

    void repliesReachTheirOwnCommandsOnce()
    {
        Replies a, b;
        const int idA = m_connection->send("A.a", {}, into(a));
        const int idB = m_connection->send("B.b", {{"x", 1}}, into(b), "S1");
        const QJsonObject sentB = QJsonDocument::fromJson(m_transport->sent.value(1)).object();
        QCOMPARE(sentB,
                 QJsonObject({{"id", idB}, {"method", "B.b"}, {"params", QJsonObject{{"x", 1}}}, {"sessionId", "S1"}}));
        QCOMPARE(QJsonDocument::fromJson(m_transport->sent.value(0)).object(),
                 QJsonObject({{"id", idA}, {"method", "A.a"}}));

        m_transport->deliver(reply(idA + idB + 100)); // nobody's
        m_transport->deliver(reply(idB, "\"sessionId\":\"S1\",\"error\":{\"code\":-32601,\"message\":\"no B\"}"));
        m_transport->deliver(reply(idA, "\"result\":{\"n\":1}"));
        m_transport->deliver(reply(idA, "\"result\":{\"n\":2}"));
        QCOMPARE(a.size(), size_t(1));
        QCOMPARE(a[0].result.value("n").toInt(), 1);
        QCOMPARE(b.size(), size_t(1));
        QCOMPARE(b[0].status, Reply::Status::Error);
        QCOMPARE(b[0].error, QString("no B"));
        QCOMPARE(b[0].errorCode, -32601);
    }

    void garbageIsIgnored_data()
    {
        QTest::addColumn<QByteArray>("message"); // %1 stands for the pending command's id
        const char* rows[] = {"",
                              "{\"id\":%1,",
                              "{\"id\":%1,\"result\":{}} x",
                              "[{\"id\":%1,\"result\":{}}]",
                              "null",
                              "%1",
                              "\"%1\"",
                              "{\"id\":\"%1\",\"result\":{}}",
                              "{\"id\":%1.5,\"result\":{}}",
                              "{\"id\":-%1,\"result\":{}}",
                              "{\"id\":1e300,\"result\":{}}",
                              "{\"id\":4294967297,\"result\":{}}",
                              "{\"id\":null,\"result\":{}}",
                              "{\"id\":%1,\"result\":[]}",
                              "{\"id\":%1,\"result\":\"ok\"}",
                              "{\"id\":%1}",
                              "{\"id\":%1,\"error\":\"bad\"}",
                              "{\"id\":%1,\"error\":{\"code\":1}}",
                              "{\"id\":%1,\"error\":{\"message\":5}}",
                              "{\"id\":%1,\"sessionId\":5,\"result\":{}}",
                              "{\"id\":%1,\"sessionId\":\"OTHER\",\"result\":{}}",
                              "{\"method\":5,\"params\":{}}",
                              "{\"method\":\"\",\"params\":{}}",
                              "{\"method\":\"Page.x\",\"params\":[]}",
                              "{\"method\":\"Page.x\",\"sessionId\":\"NOPE\"}",
                              "{\"method\":\"Page.\xff\xfe\",\"params\":{}}",
                              "{\"error\":{\"code\":-32600,\"message\":\"x\"}}"};
        for (const char* row : rows)
            QTest::addRow("%s", *row ? row : "(empty)") << QByteArray(row);
        QTest::newRow("nul inside") << QByteArray("{\"id\":%1,\0\"result\":{}}", 22);
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }

    void garbageIsIgnored()
    {
        QFETCH(QByteArray, message);
        Replies replies;
        QSignalSpy events(m_connection.get(), &CdpConnection::eventReceived);
        const int id = m_connection->send("A.a", {}, into(replies));
        m_transport->deliver(message.replace("%1", QByteArray::number(id)));
        QVERIFY(replies.empty());
        QCOMPARE(events.size(), 0);
        // The connection is unharmed: a proper reply still lands.
        m_transport->deliver(reply(id, "\"result\":{\"ok\":true}"));
        QCOMPARE(replies.size(), size_t(1));
        QVERIFY(replies[0].result.value("ok").toBool());
    }

    void timeoutFailsOnceAndLateReplyIsIgnored()
    {
        Replies slow, patient;
        const int slowId = m_connection->send("Slow.a", {}, into(slow), {}, 30ms);
        const int patientId = m_connection->send("Patient.b", {}, into(patient), {}, 10s);
        QTRY_COMPARE(slow.size(), size_t(1));
        QCOMPARE(slow[0].status, Reply::Status::TimedOut);
        QVERIFY(slow[0].error.contains("Slow.a"));
        m_transport->deliver(reply(slowId));
        m_transport->deliver(reply(patientId));
        QCOMPARE(slow.size(), size_t(1));
        QVERIFY(patient.size() == 1 && patient[0].ok());
    }

    void eventsFlowOnlyForAttachedSessions()
    {
        QSignalSpy events(m_connection.get(), &CdpConnection::eventReceived);
        const QByteArray pageEvent = "{\"method\":\"Page.loadEventFired\",\"sessionId\":\"S2\"}";
        m_transport->deliver(pageEvent);
        m_transport->deliver(sessionEvent("Target.attachedToTarget", "S3", "NOPE")); // on an unknown session
        QCOMPARE(events.size(), 0);
        m_transport->deliver(sessionEvent("Target.attachedToTarget", "S1"));
        m_transport->deliver(sessionEvent("Target.attachedToTarget", "S2", "S1")); // auto-attached below S1
        m_transport->deliver(pageEvent);
        QCOMPARE(events.size(), 3);
        QCOMPARE(events.last(), QList<QVariant>({"S2", "Page.loadEventFired", QJsonObject()}));
        QVERIFY(!m_connection->hasSession("S3"));

        // Detaching fails the session's pending commands, not others, and silences the session.
        Replies inSession, inBrowser;
        m_connection->send("Runtime.evaluate", {}, into(inSession), "S2");
        m_connection->send("Browser.getVersion", {}, into(inBrowser));
        m_transport->deliver(sessionEvent("Target.detachedFromTarget", "S2", "S1"));
        QVERIFY(inSession.size() == 1 && inSession[0].status == Reply::Status::Closed);
        QVERIFY(inBrowser.empty());
        m_transport->deliver(pageEvent);
        QCOMPARE(events.size(), 4);
    }

    void closeFailsEveryPendingCommandOnce()
    {
        m_transport->deliver(sessionEvent("Target.attachedToTarget", "S1"));
        Replies a, b, late;
        m_connection->send("A.a", {}, into(a));
        const int idB = m_connection->send("B.b", {}, into(b), "S1", 20ms);
        QSignalSpy closed(m_connection.get(), &CdpConnection::closed);
        QSignalSpy events(m_connection.get(), &CdpConnection::eventReceived);
        m_transport->close("the browser went away");
        for (const Replies* replies : {&a, &b}) {
            QCOMPARE(replies->size(), size_t(1));
            QCOMPARE(replies->at(0).status, Reply::Status::Closed);
            QCOMPARE(replies->at(0).error, QString("the browser went away"));
        }
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).toString(), QString("the browser went away"));

        // Nothing counts after the close; a new command fails from the event loop, not inside send().
        m_transport->deliver(reply(idB));
        m_transport->deliver("{\"method\":\"Target.targetCreated\",\"params\":{}}");
        m_transport->close("again");
        m_connection->send("C.c", {}, into(late));
        QVERIFY(late.empty());
        QTRY_COMPARE(late.size(), size_t(1));
        QCOMPARE(late[0].error, QString("the browser went away"));
        QTest::qWait(40); // past B's time-out
        QVERIFY(b.size() == 1 && events.isEmpty() && closed.size() == 1);
    }

    void callbackMayDeleteTheConnection()
    {
        Replies later;
        m_connection->send("A.a", {}, [this](const Reply&) { m_connection.reset(); });
        m_connection->send("B.b", {}, into(later));
        const QPointer<FakeTransport> transport(m_transport);
        m_transport->close("bye");
        QVERIFY(!m_connection && !transport);
        QCOMPARE(later.size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestCdpConnection)
#include "tst_cdp_connection.moc"
