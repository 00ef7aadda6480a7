// The headless runner as a user starts it: a real program, a real browser, a page on loopback.
#include "LoopbackHttpServer.h"
#include "TestFiles.h"
#include "TestProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString program()
{
    return QStringLiteral(TARNWICK_EXECUTABLE);
}

QString dataFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Tarnwick");
}

QString settingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwick/Tarnwick.ini");
}

// A page that asks for a popup again and again, so that one comes once the runner watches, and settings that
// block it without a question or a sound.
bool writePopupSite(const QTemporaryDir& site)
{
    return writeBytes(site.filePath("index.html"),
                      "<!doctype html><title>opener</title>"
                      "<script>setInterval(() => window.open('/ad.html'), 300)</script>") &&
           writeBytes(site.filePath("ad.html"), "<!doctype html><title>ad</title>") &&
           writeBytes(settingsFile(), "[Settings]\nchkAuto=0\nchkSound=0\n");
}

// The pids of the browsers started with the given profile folder.
QList<qint64> browsersWithProfile(const QString& profile)
{
    QList<qint64> pids;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        bool ok = false;
        const qint64 pid = it.fileName().toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray cmdline = readBytes(it.filePath() + QStringLiteral("/cmdline"));
        if (cmdline.contains(("--user-data-dir=" + profile).toUtf8()) && !cmdline.contains("--type="))
            pids.append(pid);
    }
    return pids;
}

// The socket inodes the process listens on over TCP, by its open descriptors and the kernel's tables.
QSet<QByteArray> tcpListeners(qint64 pid)
{
    QSet<QByteArray> listening;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const QList<QByteArray> rows = readBytes(QString::fromLatin1(table)).split('\n');
        for (const QByteArray& row : rows.mid(1)) {
            const QList<QByteArray> fields = row.simplified().split(' ');
            if (fields.size() > 9 && fields.at(3) == "0A") // LISTEN
                listening.insert(fields.at(9));
        }
    }
    QSet<QByteArray> own;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        QByteArray raw(256, '\0');
        const ssize_t size = ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), raw.data(), raw.size());
        if (size <= 0)
            continue;
        raw.truncate(size);
        if (raw.startsWith("socket:[")) {
            const QByteArray inode = raw.mid(8, raw.size() - 9);
            if (listening.contains(inode))
                own.insert(inode);
        }
    }
    return own;
}

} // namespace

class TestHeadless : public QObject {
    Q_OBJECT
private slots:
    void demoPrintsEveryDecisionAndEnds();
    void storedOptionsListsAndCount();
    void closingTheLaunchedBrowserEndsTheRunner();
    void watchesABrowserStartedWithItsDebuggingPort();
    void findsABrowserStartedWithItsDebuggingPort_data();
    void findsABrowserStartedWithItsDebuggingPort();
    void launchesTheBrowserOnItsOwnProfile();
    void refusesWhatItCannotDo_data();
    void refusesWhatItCannotDo();
    void unusableDataFolderStopsStartUp();
    void oddThingsInTheUsersFilesStopStartUp();
    void withNothingGivenItLooksForBrowsers();
};

void TestHeadless::demoPrintsEveryDecisionAndEnds()
{
    QProcess runner;
    runner.start(program(), {QStringLiteral("--demo")});
    QVERIFY(runner.waitForFinished(90000));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QVERIFY2(runner.exitCode() == 0, runner.readAllStandardError().constData());
    const QList<QByteArray> lines = runner.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(lines[i].startsWith("blocked\t127.0.0.1:"), lines[i].constData());
    QVERIFY(lines[4].startsWith("allowed\t127.0.0.1:"));
    QVERIFY(lines[4].endsWith("/popup/wanted.html"));
    // The demo keeps to itself.
    QVERIFY(!QFile::exists(dataFolder()));
    QVERIFY(!QFile::exists(settingsFile()));
}

void TestHeadless::storedOptionsListsAndCount()
{
    QTemporaryDir site;
    QVERIFY(writeBytes(site.filePath("index.html"),
                       "<!doctype html><title>asks</title><script>window.open('/ad.html')</script>"));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    QStringList seen;
    connect(&server, &LoopbackHttpServer::requestSeen, this, [&seen](const QString&, const QString& t) { seen << t; });

    // Setup mode on and the site on neither list: nobody can answer, so the popup is blocked and no
    // list changes. A damaged value reads as its default.
    QVERIFY(writeBytes(settingsFile(), "[Settings]\nchkStopPop=not a number\nchkAuto=1\nchkSound=0\nintStopped=41\n"));
    QVERIFY(writeBytes(dataFolder() + "/allowed.txt", "other.example\r\n"));
    QVERIFY(writeBytes(dataFolder() + "/disallowed.txt", "\r\n"));

    QProcess runner;
    runner.start(program(), {"--headless", "--launch", "--open", server.url("/index.html")});
    QVERIFY(runner.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return runner.canReadLine(); }, 60000));
    const QByteArray line = runner.readLine();
    QCOMPARE(line, QByteArray("blocked\t127.0.0.1:" + QByteArray::number(server.port()) + '\t' +
                              server.url("/ad.html").toUtf8() + '\n'));
    QVERIFY(QTest::qWaitFor(
        [] { return QSettings(settingsFile(), QSettings::IniFormat).value("Settings/intStopped") == "42"; }, 5000));
    QVERIFY(!seen.contains("/ad.html"));
    QCOMPARE(readBytes(dataFolder() + "/allowed.txt"), QByteArray("other.example\r\n"));
    QCOMPARE(readBytes(dataFolder() + "/disallowed.txt"), QByteArray("\r\n"));

    ::kill(pid_t(runner.processId()), SIGTERM);
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), 0);
    // The launched browser went with it.
    QVERIFY(QTest::qWaitFor([] { return browsersWithProfile(dataFolder() + "/browser-profile").isEmpty(); }, 10000));
}

void TestHeadless::closingTheLaunchedBrowserEndsTheRunner()
{
    QVERIFY(QDir(dataFolder()).removeRecursively());
    QProcess runner;
    runner.start(program(), {"--headless", "--launch"});
    QVERIFY(runner.waitForStarted());
    // First start: the lists are made, the product's own site allowed.
    QVERIFY(QTest::qWaitFor([] { return QFile::exists(dataFolder() + "/disallowed.txt"); }, 10000));
    QCOMPARE(readBytes(dataFolder() + "/allowed.txt"), QByteArray("www.tarnwick.example\r\n"));
    QCOMPARE(readBytes(dataFolder() + "/disallowed.txt"), QByteArray("\r\n"));
    QList<qint64> browsers;
    QVERIFY(QTest::qWaitFor(
        [&] { return !(browsers = browsersWithProfile(dataFolder() + "/browser-profile")).isEmpty(); }, 30000));
    for (qint64 pid : browsers)
        ::kill(pid_t(pid), SIGTERM);
    QVERIFY(runner.waitForFinished(30000));
    QCOMPARE(runner.exitCode(), 0);
    QVERIFY(runner.readAllStandardError().contains("launched browser has ended"));
}

// As the README has it: a browser the user started with --remote-debugging-port, watched by its address.
void TestHeadless::watchesABrowserStartedWithItsDebuggingPort()
{
    QTemporaryDir site;
    QVERIFY(writePopupSite(site));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());

    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    QTemporaryDir profile;
    // Chromium's own blocker would stop a popup that no click asked for before any program sees it.
    TestProcess browser;
    QVERIFY(startChromium(browser, {"--disable-popup-blocking", QStringLiteral("--remote-debugging-port=%1").arg(port),
                                    "--user-data-dir=" + profile.path(), server.url("/index.html")}));

    TestProcess tarnwick;
    QProcess& runner = tarnwick.process();
    // The browser may not listen yet: the runner is started again until it connects, as a user would.
    QByteArray line;
    for (int attempt = 0; attempt < 5 && line.isEmpty(); ++attempt) {
        runner.start(program(), {"--headless", "--browser-url", QStringLiteral("http://127.0.0.1:%1").arg(port)});
        QVERIFY(runner.waitForStarted());
        if (QTest::qWaitFor([&] { return runner.canReadLine() || runner.state() != QProcess::Running; }, 30000) &&
            runner.canReadLine())
            line = runner.readLine();
        else
            runner.waitForFinished(5000);
    }
    QCOMPARE(line, QByteArray("blocked\t127.0.0.1:" + QByteArray::number(server.port()) + '\t' +
                              server.url("/ad.html").toUtf8() + '\n'));
    ::kill(pid_t(runner.processId()), SIGTERM);
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), 0);
    // The user's browser is theirs: it goes on.
    QCOMPARE(browser.process().state(), QProcess::Running);
}

void TestHeadless::findsABrowserStartedWithItsDebuggingPort_data()
{
    QTest::addColumn<bool>("fixedPort");
    QTest::newRow("fixed port, as the README says") << true;
    QTest::newRow("port of its choosing") << false;
}

// Plain "tarnwick --headless" finds the user's Chromium on its usual profile, however its port was chosen.
void TestHeadless::findsABrowserStartedWithItsDebuggingPort()
{
    QFETCH(bool, fixedPort);
    QTemporaryDir site;
    QVERIFY(writePopupSite(site));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());

    quint16 port = 0;
    if (fixedPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    const QString profile = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/chromium");
    QFile::remove(profile + QStringLiteral("/DevToolsActivePort"));
    TestProcess browser;
    QVERIFY(startChromium(browser, {"--disable-popup-blocking", QStringLiteral("--remote-debugging-port=%1").arg(port),
                                    "--user-data-dir=" + profile, server.url("/index.html")}));

    // Started together, as at log-in: the runner keeps looking until the browser listens.
    TestProcess tarnwick;
    QProcess& runner = tarnwick.process();
    runner.start(program(), {"--headless"});
    QVERIFY(runner.waitForStarted());
    // Other browsers of this user with their DevTools open are watched too: their lines are not this one.
    const QByteArray expected("blocked\t127.0.0.1:" + QByteArray::number(server.port()) + '\t' +
                              server.url("/ad.html").toUtf8() + '\n');
    QByteArray out;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     out += runner.readAllStandardOutput();
                     return out.startsWith(expected) || out.contains('\n' + expected) ||
                            runner.state() != QProcess::Running;
                 },
                 60000),
             out.constData());
    QVERIFY2(out.startsWith(expected) || out.contains('\n' + expected), out.constData());
    ::kill(pid_t(runner.processId()), SIGTERM);
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitCode(), 0);
    const QString err = QString::fromUtf8(runner.readAllStandardError());
    const QString watching = fixedPort ? QStringLiteral("watching chromium (pid %1, port %2, profile %3)")
                                             .arg(browser.process().processId())
                                             .arg(port)
                                             .arg(profile)
                                       : QStringLiteral("watching the browser of ") + profile;
    QVERIFY2(err.contains(watching), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("cannot watch")), qPrintable(err));
}

// The user's own Chromium profile, over the pipe: popups blocked, no port open; a second launch there, or one
// beside a Chromium the user started themselves, is refused with words to act on and its own exit status.
void TestHeadless::launchesTheBrowserOnItsOwnProfile()
{
    QTemporaryDir site;
    QVERIFY(writePopupSite(site));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    const QString profile = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/chromium");

    {
        TestProcess tarnwick;
        QProcess& runner = tarnwick.process();
        runner.start(program(),
                     {"--headless", "--launch", "--browser-profile=default", "--open", server.url("/index.html")});
        QVERIFY(runner.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return runner.canReadLine() || runner.state() != QProcess::Running; }, 60000));
        QCOMPARE(runner.readLine(), QByteArray("blocked\t127.0.0.1:" + QByteArray::number(server.port()) + '\t' +
                                               server.url("/ad.html").toUtf8() + '\n'));
        const QList<qint64> browsers = browsersWithProfile(profile);
        QCOMPARE(browsers.size(), 1);
        const QList<QByteArray> arguments =
            readBytes(QStringLiteral("/proc/%1/cmdline").arg(browsers.first())).split('\0');
        QVERIFY(arguments.contains("--remote-debugging-pipe"));
        QVERIFY(std::none_of(arguments.begin(), arguments.end(),
                             [](const QByteArray& a) { return a.startsWith("--remote-debugging-port"); }));
        QVERIFY(tcpListeners(browsers.first()).isEmpty());
        // Its sync and services stay the user's.
        QVERIFY(!arguments.contains("--disable-sync"));

        // A second launch there would only hand a window to the browser already running, unwatched.
        QProcess second;
        second.start(program(), {"--headless", "--launch", "--browser-profile=default"});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 4);
        const QByteArray err = second.readAllStandardError();
        QVERIFY2(err.contains("Chromium is already running on its own profile, guarded by another program"),
                 err.constData());

        ::kill(pid_t(runner.processId()), SIGTERM);
        QVERIFY(runner.waitForFinished(15000));
        QTRY_VERIFY_WITH_TIMEOUT(browsersWithProfile(profile).isEmpty(), 30000);
    }

    // The user's own Chromium, started without the program.
    TestProcess browser;
    QVERIFY(startChromium(browser, {"--user-data-dir=" + profile, "about:blank"}));
    // Once it holds the profile (a lock left by the one before names a process gone).
    const QString holder = QStringLiteral("-%1").arg(browser.process().processId());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::symLinkTarget(profile + "/SingletonLock").endsWith(holder), 30000);
    QProcess runner;
    runner.start(program(), {"--headless", "--launch", "--browser-profile=default"});
    QVERIFY(runner.waitForFinished(30000));
    QCOMPARE(runner.exitCode(), 4);
    const QByteArray err = runner.readAllStandardError();
    QVERIFY2(err.contains("Chromium is already running unguarded: close it, then start it from Tarnwick"),
             err.constData());
    QCOMPARE(browser.process().state(), QProcess::Running);
}

void TestHeadless::refusesWhatItCannotDo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("another machine") << QStringList{"--headless", "--browser-url", "http://192.0.2.1:9222"}
                                     << "192.0.2.1";
    QTest::newRow("open without launch") << QStringList{"--headless", "--browser-url", "http://127.0.0.1:9", "--open",
                                                        "http://127.0.0.1/"}
                                         << "--open needs --launch";
    QTest::newRow("profile without launch")
        << QStringList{"--headless", "--browser-profile=default"} << "--browser-profile needs --launch";
    QTest::newRow("no such profile") << QStringList{"--headless", "--launch", "--browser-profile=mine"}
                                     << "--browser-profile takes";
    QTest::newRow("no such browser") << QStringList{"--headless", "--launch=/nonexistent/browser"}
                                     << "/nonexistent/browser";
}

void TestHeadless::refusesWhatItCannotDo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess runner;
    runner.start(program(), arguments);
    QVERIFY(runner.waitForFinished(30000));
    QVERIFY(runner.exitCode() != 0);
    const QString err = QString::fromUtf8(runner.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
}

void TestHeadless::unusableDataFolderStopsStartUp()
{
    QTemporaryDir scratch;
    const QString blocker = scratch.filePath("not-a-folder");
    QVERIFY(writeBytes(blocker, "a file where the data folder should go"));
    QProcess runner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", blocker);
    runner.setProcessEnvironment(environment);
    runner.start(program(), {"--headless", "--launch"});
    QVERIFY(runner.waitForFinished(30000));
    QCOMPARE(runner.exitCode(), 1);
    QVERIFY(runner.readAllStandardError().contains(blocker.toUtf8() + "/Tarnwick"));
}

void TestHeadless::oddThingsInTheUsersFilesStopStartUp()
{
    auto fileType = [](const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
    };
    auto startUpFails = [](const QString& path) {
        QProcess runner;
        runner.start(program(), {"--headless", "--launch"});
        if (!runner.waitForFinished(30000) || runner.exitCode() != 1)
            return false;
        const QByteArray error = runner.readAllStandardError();
        return error.startsWith("cannot start: cannot use " + path.toUtf8() + ": ");
    };

    // A FIFO in the settings' place: start-up stops at once instead of waiting for a writer, and it stays.
    QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).path()));
    QFile::remove(settingsFile());
    QCOMPARE(::mkfifo(QFile::encodeName(settingsFile()).constData(), 0600), 0);
    QVERIFY(startUpFails(settingsFile()));
    QCOMPARE(fileType(settingsFile()), mode_t(S_IFIFO));
    QVERIFY(QFile::remove(settingsFile()));

    // A link to a device in the allowed list's place: the device is left alone.
    QTemporaryDir scratch;
    const QString device = scratch.filePath("null");
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("device nodes cannot be made here");
    QVERIFY(QDir(dataFolder()).removeRecursively());
    QVERIFY(QDir().mkpath(dataFolder()));
    const QString allowed = dataFolder() + "/allowed.txt";
    QVERIFY(QFile::link(device, allowed));
    QVERIFY(startUpFails(allowed));
    QCOMPARE(fileType(device), mode_t(S_IFCHR));
    QVERIFY(QFileInfo(allowed).isSymLink());
    QVERIFY(QDir(dataFolder()).removeRecursively());
}

void TestHeadless::withNothingGivenItLooksForBrowsers()
{
    // A browser that published its DevTools in a known profile and is gone: said once, then waiting.
    QVERIFY(writeBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + "/chromium/DevToolsActivePort",
                       "9\n/devtools/browser/x\n"));
    QProcess runner;
    runner.start(program(), {"--headless"});
    QVERIFY(runner.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return runner.readAllStandardError().contains("127.0.0.1:9"); }, 20000));
    QCOMPARE(runner.state(), QProcess::Running);
    ::kill(pid_t(runner.processId()), SIGINT);
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
