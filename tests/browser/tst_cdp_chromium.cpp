// The DevTools connection against a real headless Chromium: over the pipe of a browser we launch,
// and over the WebSocket of one started on its own.
#include "BrowserLauncher.h"
#include "CdpConnection.h"
#include "DevToolsEndpoint.h"
#include "WebSocketTransport.h"

#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Reply = CdpConnection::Reply;

namespace {

// Sends a command and runs the event loop until its callback has run.
Reply call(CdpConnection& connection, const QString& method, const QJsonObject& params = {},
           const QString& sessionId = {})
{
    auto got = std::make_shared<std::optional<Reply>>(Reply{Reply::Status::Closed, {}, "test: no callback", 0});
    QEventLoop loop;
    connection.send(
        method, params,
        [got, waiting = QPointer<QEventLoop>(&loop)](const Reply& reply) {
            *got = reply;
            if (waiting)
                waiting->exit(1);
        },
        sessionId);
    // The connection's own time-out (10 s) ends the wait; this one only guards against a fault.
    QTimer::singleShot(15s, &loop, &QEventLoop::quit);
    loop.exec();
    return **got;
}

QJsonValue value(const Reply& evaluated)
{
    return evaluated.result.value("result").toObject().value("value");
}

// A command whose reply never comes: a promise nobody resolves.
const QJsonObject neverAnswered{{"expression", "new Promise(() => {})"}, {"awaitPromise", true}};

} // namespace

class TestCdpChromium : public QObject {
    Q_OBJECT

    QString m_browser;
    std::unique_ptr<CdpConnection> m_connection; // one browser for the tests that leave it alive
    pid_t m_pid = 0;

    std::unique_ptr<CdpConnection> launch(const QString& profileDir, pid_t* pid)
    {
        BrowserLauncher::Options options;
        options.browserPath = m_browser;
        options.profileDir = profileDir;
        options.headless = true;
        options.discardOutput = true;
        QString error;
        auto transport = BrowserLauncher().launch(options, &error);
        if (!transport)
            qWarning("%s", qPrintable(error));
        if (!transport)
            return nullptr;
        *pid = transport->process()->pid();
        return std::make_unique<CdpConnection>(std::move(transport));
    }

    // Opens a blank page and attaches to it with flattened sessions; returns the session id.
    static QString attachToNewPage(CdpConnection& connection)
    {
        const QString targetId =
            call(connection, "Target.createTarget", {{"url", "about:blank"}}).result.value("targetId").toString();
        return call(connection, "Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}})
            .result.value("sessionId")
            .toString();
    }

private slots:
    void initTestCase()
    {
        QString error;
        m_browser = BrowserLauncher().findBrowser({}, &error);
        if (m_browser.isEmpty())
            QSKIP(qPrintable(error));
        m_connection = launch({}, &m_pid); // the default profile, under this test's own data folder
        QVERIFY(m_connection);
    }

    void cleanupTestCase()
    {
        // Dropping the connection ends the browser and reaps it before returning.
        m_connection.reset();
        QVERIFY(m_pid == 0 || (::kill(m_pid, 0) == -1 && errno == ESRCH));
    }

    void getVersionOverThePipe()
    {
        const Reply reply = call(*m_connection, "Browser.getVersion");
        QVERIFY2(reply.ok(), qPrintable(reply.error));
        QCOMPARE(reply.result.value("protocolVersion").toString(), QString("1.3"));
        QVERIFY(reply.result.value("product").toString().contains("Chrome/"));
        QVERIFY(QDir(BrowserLauncher::defaultProfileDir()).exists("Default"));
    }

    void evaluateInAttachedSession()
    {
        QSignalSpy events(m_connection.get(), &CdpConnection::eventReceived);
        const QString sessionId = attachToNewPage(*m_connection);
        QVERIFY(m_connection->hasSession(sessionId));
        const Reply reply = call(*m_connection, "Runtime.evaluate", {{"expression", "6 * 7"}}, sessionId);
        QVERIFY2(reply.ok(), qPrintable(reply.error));
        QCOMPARE(value(reply).toInt(), 42);
        // The session's own events carry its id.
        QVERIFY(call(*m_connection, "Runtime.enable", {}, sessionId).ok());
        QTRY_VERIFY(std::any_of(events.cbegin(), events.cend(), [&](const QList<QVariant>& event) {
            return event.at(0) == sessionId && event.at(1) == "Runtime.executionContextCreated";
        }));
    }

    void errorsFromTheBrowser()
    {
        const Reply unknownMethod = call(*m_connection, "Nope.nothing");
        QCOMPARE(unknownMethod.status, Reply::Status::Error);
        QCOMPARE(unknownMethod.errorCode, -32601);
        QVERIFY2(unknownMethod.error.contains("Nope.nothing"), qPrintable(unknownMethod.error));
        // Answered without a sessionId: it must still reach its command.
        const Reply unknownSession = call(*m_connection, "Runtime.evaluate", {{"expression", "1"}}, "0123ABCD");
        QCOMPARE(unknownSession.status, Reply::Status::Error);
    }

    void commandTimesOutAndLateReplyIsIgnored()
    {
        const QString sessionId = attachToNewPage(*m_connection);
        std::vector<Reply> slow;
        m_connection->send(
            "Runtime.evaluate", {{"expression", "const t = Date.now(); while (Date.now() - t < 800) {} 1"}},
            [&](const Reply& reply) { slow.push_back(reply); }, sessionId, 200ms);
        QTRY_COMPARE(slow.size(), size_t(1));
        QCOMPARE(slow[0].status, Reply::Status::TimedOut);
        // Queued behind the busy page, so its reply comes after the late one.
        QCOMPARE(value(call(*m_connection, "Runtime.evaluate", {{"expression", "2"}}, sessionId)).toInt(), 2);
        QCOMPARE(slow.size(), size_t(1));
    }

    void killedBrowserFailsPendingCommands()
    {
        QTemporaryDir profile;
        pid_t pid = 0;
        auto connection = launch(profile.path(), &pid);
        QVERIFY(connection);
        const QString sessionId = attachToNewPage(*connection);
        std::vector<Reply> failed;
        for (const QString& session : {sessionId, QString()})
            connection->send(
                "Runtime.evaluate", neverAnswered, [&](const Reply& r) { failed.push_back(r); }, session, 30s);
        QSignalSpy closed(connection.get(), &CdpConnection::closed);
        QCOMPARE(::kill(pid, SIGKILL), 0);

        QVERIFY(closed.wait(10000));
        QCOMPARE(failed.size(), size_t(2));
        for (const Reply& reply : failed) {
            QCOMPARE(reply.status, Reply::Status::Closed);
            QVERIFY2(reply.error.contains("killed by signal 9"), qPrintable(reply.error));
        }
        // Reaped by the transport: no zombie, nothing left for anyone else to wait for.
        QVERIFY(::kill(pid, 0) == -1 && errno == ESRCH);
        QVERIFY(::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD);
        QCOMPARE(call(*connection, "Browser.getVersion").status, Reply::Status::Closed);
        QCOMPARE(closed.size(), 1);
    }

    void webSocketToASeparateBrowser()
    {
        QTemporaryDir profile;
        QProcess browser;
        QStringList arguments{"--headless=new",
                              "--disable-gpu",
                              "--no-first-run",
                              "--remote-debugging-port=0",
                              "--user-data-dir=" + profile.path(),
                              "about:blank"};
        if (::geteuid() == 0)
            arguments << "--no-sandbox";
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(m_browser, arguments);
        QVERIFY(browser.waitForStarted());
        QUrl webSocketUrl;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(webSocketUrl = DevToolsEndpoint::fromActivePortFile(profile.path(), nullptr)).isEmpty(), 20000);

        QString error;
        auto byWs = WebSocketTransport::connectTo(webSocketUrl.toString(), &error);
        QVERIFY2(byWs, qPrintable(error));
        CdpConnection wsConnection(std::move(byWs));
        const Reply version = call(wsConnection, "Browser.getVersion");
        QVERIFY2(version.ok(), qPrintable(version.error));

        // By http:// address the socket address comes from /json/version: the same browser.
        auto byHttp =
            WebSocketTransport::connectTo(QStringLiteral("http://127.0.0.1:%1").arg(webSocketUrl.port()), &error);
        QVERIFY2(byHttp, qPrintable(error));
        const QPointer<WebSocketTransport> httpTransport(byHttp.get());
        CdpConnection httpConnection(std::move(byHttp));
        const QString sessionId = attachToNewPage(httpConnection);
        QCOMPARE(httpTransport->webSocketUrl().path(), webSocketUrl.path());
        QCOMPARE(value(call(httpConnection, "Runtime.evaluate", {{"expression", "'ws' + 1"}}, sessionId)).toString(),
                 QString("ws1"));

        // The browser going away ends both connections and fails what was pending.
        std::optional<Reply> pending;
        httpConnection.send(
            "Runtime.evaluate", neverAnswered, [&](const Reply& r) { pending = r; }, sessionId, 30s);
        browser.kill();
        QVERIFY(browser.waitForFinished(10000));
        QTRY_VERIFY(wsConnection.isClosed() && httpConnection.isClosed());
        QVERIFY(pending.has_value() && pending->status == Reply::Status::Closed);
    }
};

QTEST_GUILESS_MAIN(TestCdpChromium)
#include "tst_cdp_chromium.moc"
