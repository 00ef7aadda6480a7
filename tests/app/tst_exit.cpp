// Ending the real program while popups are in flight, against a browser the user started (so that it outlives
// the program and shows what became of them): a popup printed "blocked" never loads, and no page stays frozen.
#include "LoopbackHttpServer.h"
#include "TestFiles.h"
#include "TestProcess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

namespace {

QString program()
{
    return QStringLiteral(TARNWICK_EXECUTABLE);
}

QString settingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwick/Tarnwick.ini");
}

// A Chromium the user started with its DevTools on a loopback port, showing a page.
class UserBrowser {
public:
    explicit UserBrowser(const QString& url)
    {
        {
            QTcpServer probe;
            if (probe.listen(QHostAddress::LocalHost))
                m_port = probe.serverPort();
        }
        // Chromium's own blocker would stop popups no click asked for before any program sees them.
        m_started = startChromium(m_browser,
                                  {"--disable-popup-blocking", QStringLiteral("--remote-debugging-port=%1").arg(m_port),
                                   "--user-data-dir=" + m_profile.path(), url});
    }
    bool started() const { return m_port != 0 && m_started; }
    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    quint16 m_port = 0;
    QTemporaryDir m_profile;
    TestProcess m_browser;
    bool m_started = false;
};

// The program's decision lines and the site's requests, as they come.
struct Watch {
    QProcess& program;
    QStringList lines;
    QStringList requests;

    void read()
    {
        while (program.canReadLine())
            lines << QString::fromUtf8(program.readLine()).trimmed();
    }
    bool hasLine(const QString& part)
    {
        read();
        return !lines.filter(part).isEmpty();
    }
    bool requested(const QString& prefix) const
    {
        return std::any_of(requests.begin(), requests.end(), [&](const QString& r) { return r.startsWith(prefix); });
    }
    // The addresses printed as blocked that the site was asked for after all.
    QStringList blockedButLoaded(const LoopbackHttpServer& server)
    {
        read();
        QStringList leaked;
        for (const QString& line : std::as_const(lines)) {
            const QStringList fields = line.split(u'\t');
            if (fields.size() != 3 || fields[0] != u"blocked")
                continue;
            const QString path = fields[2].mid(server.url(QStringLiteral("/")).size() - 1);
            if (requests.contains(path))
                leaked << path;
        }
        return leaked;
    }
};

} // namespace

class TestExit : public QObject {
    Q_OBJECT
private slots:
    void signalDuringABurstLeavesNoOpenerFrozen();
    void signalWhileThePromptHoldsAPopup_data();
    void signalWhileThePromptHoldsAPopup();
};

// Out of setup mode, a page opens popups one after another, each one freezing it until the program lets it go;
// the program is told to end right after one is blocked.
void TestExit::signalDuringABurstLeavesNoOpenerFrozen()
{
    QTemporaryDir site;
    // Popups until the test says "go" (so that one is blocked once the program watches), then a burst for as
    // long as the test lets it go on (no popup comes once the program has gone), then a tick now and then that
    // shows the page still runs.
    QVERIFY(writeBytes(site.filePath("index.html"), R"html(<!doctype html><title>opener</title><script>
let n = 0;
const probe = setInterval(() => window.open('/probe.html?' + n++), 300);
let going = false;
const poll = setInterval(async () => {
  const go = await fetch('/go.txt');
  if (!go.ok || going) return;
  going = true;
  clearInterval(probe); clearInterval(poll);
  for (let i = 0; i < 40; ++i) {
    window.open('/ad.html?' + i);
    if (!(await fetch('/more.txt')).ok) break;
  }
  let tick = 0;
  setInterval(() => fetch('/tick?' + tick++), 100);
}, 100);
</script>)html"));
    QVERIFY(writeBytes(site.filePath("more.txt"), "more"));
    QVERIFY(writeBytes(site.filePath("ad.html"), "<!doctype html><title>ad</title>"));
    QVERIFY(writeBytes(site.filePath("probe.html"), "<!doctype html><title>probe</title>"));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    QVERIFY(writeBytes(settingsFile(), "[Settings]\nchkAuto=0\nchkSound=0\n"));
    UserBrowser browser(server.url("/index.html"));
    QVERIFY(browser.started());

    TestProcess tarnwick;
    QProcess& runner = tarnwick.process();
    Watch watch{runner, {}, {}};
    connect(&server, &LoopbackHttpServer::requestSeen, this,
            [&watch](const QString&, const QString& target) { watch.requests << target; });
    // The browser may not listen yet: the runner is started again until it connects, as a user would.
    for (int attempt = 0; attempt < 5 && !watch.hasLine("/probe.html"); ++attempt) {
        runner.start(program(), {"--headless", "--browser-url", browser.endpoint()});
        QVERIFY(runner.waitForStarted());
        (void)QTest::qWaitFor([&] { return watch.hasLine("/probe.html") || runner.state() != QProcess::Running; },
                              30000);
        if (runner.state() == QProcess::Running)
            break;
        runner.waitForFinished(5000);
    }
    QVERIFY(watch.hasLine("/probe.html"));
    QVERIFY(writeBytes(site.filePath("go.txt"), "go"));
    QVERIFY(QTest::qWaitFor([&] { return watch.hasLine("/ad.html?"); }, 30000));
    QVERIFY(QFile::remove(site.filePath("more.txt")));
    ::kill(pid_t(runner.processId()), SIGTERM);
    watch.requests << QStringLiteral("(end asked)");
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), 0);

    // The page goes on: not one opener was left paused on a popup's account.
    QVERIFY2(QTest::qWaitFor([&] { return watch.requested("/tick?3"); }, 30000), qPrintable(watch.requests.join(u' ')));
    QTest::qWait(1000);
    QVERIFY2(watch.blockedButLoaded(server).isEmpty(),
             qPrintable(watch.blockedButLoaded(server).join(u' ') + u'\n' + watch.requests.join(u' ') + u'\n' +
                        watch.lines.join(u'\n')));
}

// In setup mode the desktop program holds a popup while its prompt asks; told to end, it blocks the popup,
// which never loads.
void TestExit::signalWhileThePromptHoldsAPopup_data()
{
    QTest::addColumn<QByteArray>("opening");
    QTest::newRow("window.open") << QByteArray("window.open('/held.html');");
    // A new tab without an opener, its document held at the browser-wide gate.
    QTest::newRow("scripted ctrl+click") << QByteArray(
        "const a = document.createElement('a'); a.href = '/held.html'; document.body.appendChild(a);"
        " a.dispatchEvent(new MouseEvent('click', {bubbles: true, cancelable: true, ctrlKey: true}));");
}

void TestExit::signalWhileThePromptHoldsAPopup()
{
    QFETCH(QByteArray, opening);
    QTemporaryDir site;
    // A page on a site the list blocks shows when the program watches; told to, it goes on to a page of a site on
    // neither list, which opens one popup, then ticks: a held popup leaves its opener running.
    QVERIFY(writeBytes(site.filePath("probe.html"), R"html(<!doctype html><title>probe</title><script>
let n = 0;
const probe = setInterval(() => window.open('/probe-ad.html?' + n++), 300);
const poll = setInterval(async () => {
  const go = await fetch('/go.txt');
  if (!go.ok) return;
  clearInterval(probe); clearInterval(poll);
  location.href = 'http://localhost:' + location.port + '/asks.html';
}, 100);
</script>)html"));
    QVERIFY(writeBytes(site.filePath("asks.html"), R"html(<!doctype html><title>asks</title><body><script>
)html" + opening + R"html(
let tick = 0;
setInterval(() => fetch('/tick?' + tick++), 100);
</script>)html"));
    QVERIFY(writeBytes(site.filePath("held.html"), "<!doctype html><title>held</title>"));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    QVERIFY(writeBytes(settingsFile(), "[Settings]\nchkAuto=1\nchkSound=0\n"));
    QVERIFY(writeBytes(qEnvironmentVariable("XDG_DATA_HOME") + "/Tarnwick/disallowed.txt", "127.0.0.1\r\n"));
    UserBrowser browser(server.url("/probe.html"));
    QVERIFY(browser.started());

    TestProcess tarnwick;
    QProcess& program = tarnwick.process();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    Watch watch{program, {}, {}};
    connect(&server, &LoopbackHttpServer::requestSeen, this,
            [&watch](const QString&, const QString& target) { watch.requests << target; });
    for (int attempt = 0; attempt < 5 && !watch.hasLine("/probe-ad.html"); ++attempt) {
        program.start(::program(), {"--browser-url", browser.endpoint()});
        QVERIFY(program.waitForStarted());
        (void)QTest::qWaitFor([&] { return watch.hasLine("/probe-ad.html") || program.state() != QProcess::Running; },
                              60000);
        if (program.state() == QProcess::Running)
            break;
        program.waitForFinished(5000);
    }
    QVERIFY(watch.hasLine("/probe-ad.html"));
    QVERIFY(writeBytes(site.filePath("go.txt"), "go"));
    // The opener ticks only once its popup is held: until then the popup, paused, holds it too. A new tab's
    // opener ticks all along; two seconds of ticks give the program time to put its question.
    QVERIFY(QTest::qWaitFor([&] { return watch.requested("/tick?20"); }, 30000));
    QVERIFY(!watch.hasLine("/held.html"));
    QVERIFY(!watch.requested("/held.html"));

    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(watch.hasLine(QStringLiteral("blocked\tlocalhost:%1\thttp://localhost:%1/held.html").arg(server.port())),
             qPrintable(watch.lines.join(u'\n')));
    // Long after, the popup has still not asked for its page.
    const int ticks = int(watch.requests.filter(QRegularExpression("^/tick")).size());
    QVERIFY(QTest::qWaitFor([&] { return watch.requests.filter(QRegularExpression("^/tick")).size() > ticks + 10; },
                            30000));
    QVERIFY2(!watch.requested("/held.html"), qPrintable(watch.requests.join(u' ')));
}

QTEST_GUILESS_MAIN(TestExit)
#include "tst_exit.moc"
