// Finding running browsers by their profiles' DevToolsActivePort, against a real headless Chromium
// started with its DevTools on a port, in a profile folder under this test's own XDG_CONFIG_HOME.
#include "BrowserDiscovery.h"
#include "BrowserLauncher.h"
#include "ChildProcess.h"
#include "DevToolsEndpoint.h"
#include "ShellWindowsGroup.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QString kPage = QStringLiteral("data:text/html,<title>discovered</title>here");

bool showsPage(const ShellWindows& windows)
{
    const auto all = windows.windows();
    return std::any_of(all.begin(), all.end(), [](const auto& window) { return window->LocationURL() == kPage; });
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// A loopback port nobody listens on, as a browser that is gone leaves behind.
quint16 deadPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return 0;
    return server.serverPort();
}

} // namespace

class TestBrowserDiscovery : public QObject {
    Q_OBJECT

    QString m_browser;
    QString m_config;
    QString m_profile; // the known folder "chromium"
    std::unique_ptr<ChildProcess> m_running;

    // Starts Chromium the way the launcher would, but with its DevTools on a port of its choosing.
    std::unique_ptr<ChildProcess> startBrowser(const QString& profileDir)
    {
        BrowserLauncher::Options options;
        options.headless = true;
        options.startUrls = {kPage};
        QStringList arguments = BrowserLauncher().arguments(options, profileDir);
        arguments.replaceInStrings(QStringLiteral("--remote-debugging-pipe"),
                                   QStringLiteral("--remote-debugging-port=0"));
        ChildProcess::Options quiet;
        quiet.discardOutput = true;
        QString error;
        auto process = ChildProcess::start(m_browser, arguments, quiet, &error);
        if (!process)
            qWarning("%s", qPrintable(error));
        return process;
    }

    static QString portFile(const QString& profileDir) { return profileDir + QStringLiteral("/DevToolsActivePort"); }

private slots:
    void initTestCase()
    {
        QString error;
        m_browser = BrowserLauncher().findBrowser({}, &error);
        if (m_browser.isEmpty())
            QSKIP(qPrintable(error));
        m_config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        // isolated.sh gives the test a config folder of its own; never look into a user's.
        QVERIFY(qEnvironmentVariable("XDG_CONFIG_HOME") == m_config);
        m_profile = m_config + QStringLiteral("/chromium");
        QVERIFY(QDir().mkpath(m_profile));
        m_running = startBrowser(m_profile);
        QVERIFY(m_running);
        QTRY_VERIFY_WITH_TIMEOUT(!DevToolsEndpoint::fromActivePortFile(m_profile, nullptr).isEmpty(), 20000);
    }

    void cleanupTestCase() { m_running.reset(); }

    void foundAtFirstScanAndConnectedOnce()
    {
        // The same endpoint named by a second known folder must not make a second connection.
        const QString copy = m_config + QStringLiteral("/google-chrome");
        QVERIFY(QDir().mkpath(copy));
        QVERIFY(QFile::copy(portFile(m_profile), portFile(copy)));

        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, BrowserDiscovery::knownProfileDirs(), 100ms);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        discovery.start();
        QCOMPARE(group.memberCount(), 1); // connecting since the first scan, before any timer

        QVERIFY(found.wait(10000));
        QCOMPARE(found.at(0).at(0).toString(), m_profile);
        QCOMPARE(found.at(0).at(1).toUrl(), DevToolsEndpoint::fromActivePortFile(m_profile, nullptr));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(group), 10000);

        for (int i = 0; i < 3; ++i)
            discovery.scan();
        QTest::qWait(500); // several timed scans too
        QCOMPARE(group.memberCount(), 1);
        QCOMPARE(found.size(), 1);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0).value(0).toString()));
        QVERIFY(QFile::remove(portFile(copy)));
    }

    void skippedProfileIsNeverConnected()
    {
        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, {m_profile}, 50ms);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        QSignalSpy lost(&discovery, &BrowserDiscovery::browserLost);
        // Written another way, it is still the same folder.
        discovery.skipProfile(m_config + QStringLiteral("/google-chrome/../chromium/"));
        discovery.start();
        QTest::qWait(400);
        QCOMPARE(group.memberCount(), 0);
        QCOMPARE(found.size(), 0);

        // Told after it has connected: the browser is let go, as handed over rather than lost.
        BrowserDiscovery early(group, {m_profile}, 50ms);
        QSignalSpy earlyFound(&early, &BrowserDiscovery::browserFound);
        QSignalSpy earlyLost(&early, &BrowserDiscovery::browserLost);
        early.start();
        QVERIFY(earlyFound.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(group), 10000);
        early.skipProfile(m_profile);
        QTRY_COMPARE(group.memberCount(), 0);
        QVERIFY(group.windows().isEmpty());
        QTest::qWait(300);
        QCOMPARE(group.memberCount(), 0);
        QCOMPARE(earlyFound.size(), 1);
        QCOMPARE(earlyLost.size(), 0);
        QCOMPARE(found.size(), 0);
        QCOMPARE(lost.size(), 0);
    }

    void staleFileIsSaidOnceUntilItChanges()
    {
        const QString dir = m_config + QStringLiteral("/microsoft-edge");
        QVERIFY(QDir().mkpath(dir));
        const quint16 port = deadPort();
        QVERIFY(port != 0);
        const QByteArray stale = QByteArray::number(port) + "\n/devtools/browser/gone\n";
        writeFile(portFile(dir), stale);

        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, {dir, m_config + QStringLiteral("/nothing-here")}, 30ms);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        discovery.start();
        QVERIFY(messages.wait(5000));
        QVERIFY2(messages.at(0).at(0).toString().contains(QString::number(port)),
                 qPrintable(messages.at(0).at(0).toString()));
        QTest::qWait(400); // a dozen scans
        QCOMPARE(messages.size(), 1);
        QTRY_COMPARE(group.memberCount(), 0);

        // Same text, but written again: perhaps a browser that took the same port. Tried, and said, once more.
        QFile file(portFile(dir));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QTRY_COMPARE(messages.size(), 2);

        // Not a port file at all: said once, naming the file.
        writeFile(portFile(dir), "garbage");
        QTRY_COMPARE(messages.size(), 3);
        QVERIFY2(messages.at(2).at(0).toString().contains(portFile(dir)), qPrintable(messages.at(2).at(0).toString()));
        QTest::qWait(300);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(found.size(), 0);
    }

    void silentListenerIsGivenUpOnce()
    {
        // Another program took the port: it accepts the connection and never answers the handshake.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        int accepted = 0;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (silent.nextPendingConnection())
                ++accepted;
        });
        const QString dir = m_config + QStringLiteral("/microsoft-edge-dev");
        QVERIFY(QDir().mkpath(dir));
        writeFile(portFile(dir), QByteArray::number(silent.serverPort()) + "\n/devtools/browser/other\n");

        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, {dir}, 50ms);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        discovery.start();
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 20000); // after the connection's command time-out
        QTRY_COMPARE(group.memberCount(), 0);
        QTest::qWait(300);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(accepted, 1);
    }

    // Last: it restarts the shared browser.
    void killedBrowserLeavesAndRestartedIsFoundAgain()
    {
        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, {m_profile}, 100ms);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        QSignalSpy lost(&discovery, &BrowserDiscovery::browserLost);
        QSignalSpy revoked(&group, &ShellWindows::WindowRevoked);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        discovery.start();
        QVERIFY(found.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(group), 10000);
        const QUrl first = found.at(0).at(1).toUrl();

        QCOMPARE(::kill(m_running->pid(), SIGKILL), 0);
        QVERIFY(lost.wait(10000));
        QCOMPARE(lost.at(0).at(0).toString(), m_profile);
        QVERIFY(group.windows().isEmpty());
        QVERIFY(!revoked.isEmpty());
        QTRY_COMPARE(group.memberCount(), 0);
        QTRY_VERIFY(!m_running->isRunning());

        // The killed browser's file stays behind until the new one writes its own.
        m_running = startBrowser(m_profile);
        QVERIFY(m_running);
        QTRY_COMPARE_WITH_TIMEOUT(found.size(), 2, 20000);
        QVERIFY(found.at(1).at(1).toUrl() != first);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(group), 10000);
        QCOMPARE(group.memberCount(), 1);
        QCOMPARE(lost.size(), 1);
        // The file the killed browser left was tried again, but its loss had been said already.
        for (const QList<QVariant>& message : std::as_const(messages))
            QVERIFY2(!message.at(0).toString().contains(first.toDisplayString()), qPrintable(message.at(0).toString()));
    }
};

QTEST_GUILESS_MAIN(TestBrowserDiscovery)
#include "tst_browser_discovery.moc"
