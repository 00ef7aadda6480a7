// Finding running browsers by their profiles' DevToolsActivePort and by their command lines, against real
// headless Chromiums started with their DevTools on a port (of their choosing, and a fixed one as users do),
// in profile folders under this test's own XDG_CONFIG_HOME.
#include "BrowserDiscovery.h"
#include "BrowserLauncher.h"
#include "ChildProcess.h"
#include "DevToolsEndpoint.h"
#include "ShellWindowsGroup.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

// The browser processes a test lists by hand, for what real ones cannot be made to do safely.
class ListedProcesses : public BrowserProcessTable {
public:
    QList<DebuggingPortProcess> debuggingPortProcesses() const override { return listed; }
    QList<DebuggingPortProcess> listed;
};

// A command line as /proc shows it: each argument ended by a NUL.
QByteArray commandLine(std::initializer_list<const char*> arguments)
{
    QByteArray text;
    for (const char* argument : arguments)
        text.append(argument).append('\0');
    return text;
}

// The browser's WebSocket path as its /json/version gives it; empty while it does not answer.
QByteArray webSocketPath(QNetworkAccessManager& network, quint16 port)
{
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/version").arg(port)))));
    QEventLoop wait;
    QObject::connect(reply.get(), &QNetworkReply::finished, &wait, &QEventLoop::quit);
    wait.exec();
    const QUrl url(QJsonDocument::fromJson(reply->readAll())["webSocketDebuggerUrl"].toString());
    return url.path().toUtf8();
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

    // Starts Chromium the way the launcher would, but with its DevTools on a port: of its choosing by default,
    // else the one given, as the README tells users.
    std::unique_ptr<ChildProcess> startBrowser(const QString& profileDir, quint16 port = 0)
    {
        BrowserLauncher::Options options;
        options.headless = true;
        options.startUrls = {kPage};
        QStringList arguments = BrowserLauncher().arguments(options, profileDir);
        arguments.replaceInStrings(QStringLiteral("--remote-debugging-pipe"),
                                   QStringLiteral("--remote-debugging-port=%1").arg(port));
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
        BrowserDiscovery discovery(group, std::make_unique<NoBrowserProcesses>(), BrowserDiscovery::knownProfileDirs(),
                                   100ms);
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
        BrowserDiscovery discovery(group, std::make_unique<NoBrowserProcesses>(), {m_profile}, 50ms);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        QSignalSpy lost(&discovery, &BrowserDiscovery::browserLost);
        // Written another way, it is still the same folder.
        discovery.skipProfile(m_config + QStringLiteral("/google-chrome/../chromium/"));
        discovery.start();
        QTest::qWait(400);
        QCOMPARE(group.memberCount(), 0);
        QCOMPARE(found.size(), 0);

        // Told after it has connected: the browser is let go, as handed over rather than lost.
        BrowserDiscovery early(group, std::make_unique<NoBrowserProcesses>(), {m_profile}, 50ms);
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
        BrowserDiscovery discovery(group, std::make_unique<NoBrowserProcesses>(),
                                   {dir, m_config + QStringLiteral("/nothing-here")}, 30ms);
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
        BrowserDiscovery discovery(group, std::make_unique<NoBrowserProcesses>(), {dir}, 50ms);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        discovery.start();
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 20000); // after the connection's command time-out
        QTRY_COMPARE(group.memberCount(), 0);
        QTest::qWait(300);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(accepted, 1);
    }

    void commandLinesThatNameABrowserOnAPort_data()
    {
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("profile");
        QTest::newRow("as the README says")
            << commandLine({"/usr/lib/chromium/chromium", "--remote-debugging-port=9222"}) << true << quint16(9222)
            << "127.0.0.1"
            << "";
        QTest::newRow("own profile, address, last port wins")
            << commandLine({"chrome", "--remote-debugging-port=1", "--user-data-dir=/p q",
                            "--remote-debugging-address=::1", "--remote-debugging-port=9333"})
            << true << quint16(9333) << "::1"
            << "/p q";
        QTest::newRow("a helper process")
            << commandLine({"chromium", "--type=renderer", "--remote-debugging-port=9222"}) << false << quint16(0) << ""
            << "";
        QTest::newRow("port of its choosing")
            << commandLine({"chromium", "--remote-debugging-port=0"}) << false << quint16(0) << ""
            << "";
        QTest::newRow("not a port") << commandLine({"chromium", "--remote-debugging-port=99999"}) << false << quint16(0)
                                    << ""
                                    << "";
        QTest::newRow("pipe") << commandLine({"chromium", "--remote-debugging-pipe"}) << false << quint16(0) << ""
                              << "";
        QTest::newRow("after --") << commandLine({"chromium", "--", "--remote-debugging-port=9222"}) << false
                                  << quint16(0) << ""
                                  << "";
    }

    void commandLinesThatNameABrowserOnAPort()
    {
        QFETCH(QByteArray, cmdline);
        QFETCH(bool, listed);
        const auto process = DebuggingPortProcess::fromCommandLine(42, cmdline);
        QCOMPARE(process.has_value(), listed);
        if (!listed)
            return;
        QCOMPARE(process->pid, 42);
        QFETCH(quint16, port);
        QFETCH(QString, address);
        QFETCH(QString, profile);
        QCOMPARE(process->port, port);
        QCOMPARE(process->address, address);
        QCOMPARE(process->profileDir, profile);
    }

    // Started as the README tells users, with a fixed port: no DevToolsActivePort, found by its command line.
    void fixedPortBrowserIsFoundByItsCommandLine()
    {
        const QString profile = m_config + QStringLiteral("/google-chrome-beta");
        QVERIFY(QDir().mkpath(profile));
        const quint16 port = deadPort();
        QVERIFY(port != 0);
        auto fixed = startBrowser(profile, port);
        QVERIFY(fixed);
        const QString pid = QStringLiteral("pid %1, port %2").arg(fixed->pid()).arg(port);

        // The same browser named by a file in another known folder too (a copied file, or one written by a
        // browser that publishes both ways) must not make a second connection.
        const QString copy = m_config + QStringLiteral("/microsoft-edge-beta");
        QVERIFY(QDir().mkpath(copy));
        QByteArray path;
        QNetworkAccessManager network;
        QTRY_VERIFY_WITH_TIMEOUT(!(path = webSocketPath(network, port)).isEmpty(), 30000);
        writeFile(portFile(copy), QByteArray::number(port) + '\n' + path + '\n');

        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, std::make_unique<ProcBrowserProcessTable>(), {m_profile}, 100ms);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        QSignalSpy lost(&discovery, &BrowserDiscovery::browserLost);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        const auto foundNamed = [&](const QString& text) {
            return std::count_if(found.begin(), found.end(),
                                 [&](const QList<QVariant>& args) { return args.at(0).toString().contains(text); });
        };
        discovery.start();
        // Found by its command line (no file names it here), and the one on a port of its choosing by its file.
        QTRY_COMPARE_WITH_TIMEOUT(foundNamed(pid), 1, 30000);
        QCOMPARE(foundNamed(profile), 1);
        QTRY_COMPARE_WITH_TIMEOUT(foundNamed(m_profile), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(group), 10000);

        // Now the copied file is looked at as well: same browser, no second connection.
        BrowserDiscovery both(group, std::make_unique<ProcBrowserProcessTable>(), {copy}, 100ms);
        QSignalSpy bothFound(&both, &BrowserDiscovery::browserFound);
        QSignalSpy bothMessages(&both, &BrowserDiscovery::message);
        both.start();
        QTRY_VERIFY_WITH_TIMEOUT(!bothFound.isEmpty(), 30000);
        QTest::qWait(1000); // several scans of each
        const auto bothNamed = [&](const QString& text) {
            return std::count_if(bothFound.begin(), bothFound.end(),
                                 [&](const QList<QVariant>& args) { return args.at(0).toString().contains(text); });
        };
        QCOMPARE(foundNamed(pid) + bothNamed(pid) + bothNamed(copy), 2); // once by each discovery, never twice
        QCOMPARE(foundNamed(pid), 1);
        for (const auto& spy : {&messages, &bothMessages}) {
            for (const QList<QVariant>& message : std::as_const(*spy))
                QVERIFY2(!message.at(0).toString().contains(QString::number(port)),
                         qPrintable(message.at(0).toString()));
        }

        // Quitting is a loss, said once; the process gone, nothing more.
        QCOMPARE(::kill(fixed->pid(), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(lost.begin(), lost.end(),
                        [&](const QList<QVariant>& args) { return args.at(0).toString().contains(pid); }),
            20000);
        QTRY_VERIFY_WITH_TIMEOUT(!fixed->isRunning(), 20000);
        QTest::qWait(500);
        QCOMPARE(std::count_if(lost.begin(), lost.end(),
                               [&](const QList<QVariant>& args) { return args.at(0).toString().contains(pid); }),
                 1);
        for (const QList<QVariant>& message : std::as_const(messages))
            QVERIFY2(!message.at(0).toString().contains(pid), qPrintable(message.at(0).toString()));
        QVERIFY(QFile::remove(portFile(copy)));
    }

    void browserProcessThatCannotBeWatchedIsNamedOnce()
    {
        auto owned = std::make_unique<ListedProcesses>();
        ListedProcesses& table = *owned;
        DebuggingPortProcess exposed;
        exposed.pid = 4000001;
        exposed.program = QStringLiteral("chromium");
        exposed.address = QStringLiteral("0.0.0.0");
        exposed.port = 9222;
        DebuggingPortProcess silent = exposed;
        silent.pid = 4000002;
        silent.address = QStringLiteral("127.0.0.1");
        silent.port = deadPort();
        table.listed = {exposed, silent};

        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, std::move(owned), {}, 50ms);
        QSignalSpy messages(&discovery, &BrowserDiscovery::message);
        QSignalSpy found(&discovery, &BrowserDiscovery::browserFound);
        discovery.start();
        // Listening where other machines reach it: said at once, never contacted.
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).at(0).toString().contains(QStringLiteral("pid 4000001")) &&
                     messages.at(0).at(0).toString().contains(QStringLiteral("0.0.0.0")),
                 qPrintable(messages.at(0).at(0).toString()));
        // Nothing on its port: tried while it may still be starting, then said once.
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 2, 60000);
        QVERIFY2(messages.at(1).at(0).toString().contains(QStringLiteral("pid 4000002")),
                 qPrintable(messages.at(1).at(0).toString()));
        QTest::qWait(500);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(found.size(), 0);
        QTRY_COMPARE(group.memberCount(), 0);

        // A new process on that port is a new browser: its failure is news again.
        silent.pid = 4000003;
        table.listed = {exposed, silent};
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 3, 60000);
        QVERIFY2(messages.at(2).at(0).toString().contains(QStringLiteral("pid 4000003")),
                 qPrintable(messages.at(2).at(0).toString()));
    }

    // Last: it restarts the shared browser.
    void killedBrowserLeavesAndRestartedIsFoundAgain()
    {
        ShellWindowsGroup group;
        BrowserDiscovery discovery(group, std::make_unique<NoBrowserProcesses>(), {m_profile}, 100ms);
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
