// The desktop program as a user starts it, offscreen: it starts, it ends on a signal as "Exit" ends it,
// and what it counted survives being killed right after a block.
#include "LoopbackHttpServer.h"
#include "TestFiles.h"
#include "TestProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
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

QString setting(const QString& key)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Settings/") + key).toString();
}

// Waits until the main window has loaded: its load stores the sound option, and then the program starts
// looking for browsers.
bool waitForMainWindow(QProcess& tarnwick, QByteArray& err)
{
    return QTest::qWaitFor(
        [&] {
            err += tarnwick.readAllStandardError();
            return err.contains("looking for browsers") || err.contains("launched browser") ||
                   tarnwick.state() == QProcess::NotRunning;
        },
        30000);
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void init();
    void signalsCloseLikeExit_data();
    void signalsCloseLikeExit();
    void killedRightAfterABlockLosesNothing();
    void unusableDataFolderStopsStartUp();
    void fifoAsTheSettingsStopsStartUp();
    void withoutAScreenItSaysSo();
    void oneProgramPerSession();
    void guardStatusFollowsTheBrowser();
    void guardedLaunchersValidateAndStartTheBrowser();
};

void TestDesktop::init()
{
    QFile::remove(settingsFile());
}

void TestDesktop::signalsCloseLikeExit_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestDesktop::signalsCloseLikeExit()
{
    QFETCH(int, signalNumber);
    QProcess tarnwick;
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForStarted());
    QByteArray err;
    QVERIFY2(waitForMainWindow(tarnwick, err), err.constData());
    QCOMPARE(tarnwick.state(), QProcess::Running);
    QCOMPARE(setting("chkSound"), "1");
    QVERIFY(setting("state").isEmpty());

    ::kill(pid_t(tarnwick.processId()), signalNumber);
    QVERIFY(tarnwick.waitForFinished(15000));
    QCOMPARE(tarnwick.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tarnwick.exitCode(), 0);
    QCOMPARE(setting("chkRunAtStart"), "0");
    QCOMPARE(setting("chkOnTop"), "0");
    QCOMPARE(setting("chkAuto"), "1");
    QCOMPARE(setting("chkStopPop"), "1");
    QCOMPARE(setting("chkLinks"), "0");
    QCOMPARE(setting("intStopped"), "0");
    QCOMPARE(setting("strAllowed"), "www.tarnwick.example\r\n");
    QCOMPARE(setting("state"), "up");
}

void TestDesktop::killedRightAfterABlockLosesNothing()
{
    QTemporaryDir site;
    QVERIFY(writeBytes(site.filePath("opener.html"),
                       "<!doctype html><title>opener</title><script>window.open('/popup.html')</script>"));
    QVERIFY(writeBytes(site.filePath("popup.html"), "<!doctype html><title>popup</title>"));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());

    // Out of setup mode: a site on neither list is blocked without a question.
    QVERIFY(writeBytes(settingsFile(), "[Settings]\nchkAuto=0\n"));
    QProcess tarnwick;
    tarnwick.start(program(), {"--launch", "--open", server.url("/opener.html")});
    QVERIFY(tarnwick.waitForStarted());
    QByteArray err;
    QVERIFY2(
        QTest::qWaitFor([&] { return setting("intStopped") == u"1" || tarnwick.state() != QProcess::Running; }, 60000),
        (err + tarnwick.readAllStandardError()).constData());
    ::kill(pid_t(tarnwick.processId()), SIGTERM);
    QVERIFY(tarnwick.waitForFinished(30000));
    QCOMPARE(tarnwick.exitCode(), 0);

    QProcess next;
    next.start(program(), {});
    QVERIFY(next.waitForStarted());
    QVERIFY(waitForMainWindow(next, err));
    ::kill(pid_t(next.processId()), SIGTERM);
    QVERIFY(next.waitForFinished(15000));
    QCOMPARE(setting("intStopped"), "1");
    QCOMPARE(readBytes(qEnvironmentVariable("XDG_DATA_HOME") + "/Tarnwick/allowed.txt"), "www.tarnwick.example\r\n");
}

void TestDesktop::unusableDataFolderStopsStartUp()
{
    QTemporaryDir scratch;
    const QString blocker = scratch.filePath("not-a-folder");
    QVERIFY(writeBytes(blocker, "a file where the data folder should go"));
    QProcess tarnwick;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", blocker);
    tarnwick.setProcessEnvironment(environment);
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForFinished(30000));
    QCOMPARE(tarnwick.exitCode(), 1);
    const QByteArray err = tarnwick.readAllStandardError();
    QVERIFY2(err.contains(blocker.toUtf8() + "/Tarnwick"), err.constData());
}

void TestDesktop::fifoAsTheSettingsStopsStartUp()
{
    // Reading it would wait for a writer for ever: the program says what is wrong and ends, and the FIFO stays.
    QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).path()));
    QCOMPARE(::mkfifo(QFile::encodeName(settingsFile()).constData(), 0600), 0);
    QProcess tarnwick;
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForFinished(30000));
    QCOMPARE(tarnwick.exitCode(), 1);
    const QByteArray err = tarnwick.readAllStandardError();
    QVERIFY2(err.contains("cannot start: cannot use " + settingsFile().toUtf8() + ": it is not a regular file"),
             err.constData());
    QVERIFY(!QFileInfo(settingsFile()).isFile() && QFileInfo::exists(settingsFile()));
    QVERIFY(QFile::remove(settingsFile()));
}

void TestDesktop::withoutAScreenItSaysSo()
{
    QProcess tarnwick;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    tarnwick.setProcessEnvironment(environment);
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForFinished(30000));
    QCOMPARE(tarnwick.exitCode(), 2);
    QVERIFY(tarnwick.readAllStandardError().contains("--headless"));
}

// A later start hands its command line to the program running and ends; a crashed program's socket does not
// stand in the way; the headless runner runs beside it, saying that they share their files.
void TestDesktop::oneProgramPerSession()
{
    QTemporaryDir site;
    QVERIFY(writeBytes(site.filePath("opener.html"),
                       "<!doctype html><title>opener</title><script>window.open('/popup.html')</script>"));
    QVERIFY(writeBytes(site.filePath("popup.html"), "<!doctype html><title>popup</title>"));
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    // Out of setup mode, and in the tray (or, with none, minimised) since the last time.
    QVERIFY(writeBytes(settingsFile(), "[Settings]\nchkAuto=0\nstate=down\n"));

    TestProcess first;
    QProcess& tarnwick = first.process();
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForStarted());
    QByteArray err;
    QVERIFY2(waitForMainWindow(tarnwick, err), err.constData());
    QCOMPARE(setting("state"), "down");

    // A plain second start: the running program's window comes up.
    QProcess second;
    second.start(program(), {});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardOutput().contains("handed over"));
    QTRY_COMPARE_WITH_TIMEOUT(setting("state"), "up", 15000);

    // Asked for a browser: the running program launches it and blocks its popup.
    second.start(program(), {"--launch", "--open", server.url("/opener.html")});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(
        QTest::qWaitFor([&] { return setting("intStopped") == u"1" || tarnwick.state() != QProcess::Running; }, 60000));
    QCOMPARE(setting("intStopped"), "1");
    QByteArray out;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     out += tarnwick.readAllStandardOutput();
                     return out.contains("blocked\t127.0.0.1:" + QByteArray::number(server.port()));
                 },
                 15000),
             out.constData());

    // The headless runner is a process of its own, and says whose files it shares.
    QProcess runner;
    runner.start(program(), {"--headless"});
    QVERIFY(runner.waitForStarted());
    QByteArray runnerErr;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     runnerErr += runner.readAllStandardError();
                     return runnerErr.contains("looking for browsers");
                 },
                 30000),
             runnerErr.constData());
    QVERIFY2(runnerErr.contains("the desktop Tarnwick (pid " + QByteArray::number(tarnwick.processId()) +
                                ") uses the same data folder"),
             runnerErr.constData());
    ::kill(pid_t(runner.processId()), SIGTERM);
    QVERIFY(runner.waitForFinished(15000));
    QCOMPARE(runner.exitCode(), 0);

    // Crashed: its socket stays behind, and the next start is the program again.
    const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/Tarnwick.socket";
    QVERIFY(QFileInfo::exists(socket));
    QCOMPARE(QFileInfo(socket).permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    ::kill(pid_t(tarnwick.processId()), SIGKILL);
    QVERIFY(tarnwick.waitForFinished(15000));
    QVERIFY(QFileInfo::exists(socket));
    TestProcess next;
    next.process().start(program(), {});
    QVERIFY(next.process().waitForStarted());
    err.clear();
    QVERIFY2(waitForMainWindow(next.process(), err), err.constData());
    QCOMPARE(next.process().state(), QProcess::Running);
    QVERIFY2(!err.contains("already running"), err.constData());
    second.start(program(), {});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardOutput().contains("handed over"));

    // What the running program cannot do is said by the start that asked, in words and in its exit status.
    const QString profile = qEnvironmentVariable("XDG_CONFIG_HOME") + "/chromium";
    TestProcess browser;
    QVERIFY(startChromium(browser, {"--user-data-dir=" + profile, "about:blank"}));
    const QString holder = QStringLiteral("-%1").arg(browser.process().processId());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::symLinkTarget(profile + "/SingletonLock").endsWith(holder), 30000);
    second.start(program(), {"--launch", "--browser-profile=default"});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 4);
    const QByteArray said = second.readAllStandardError();
    QVERIFY2(said.contains("Chromium is already running unguarded: close it, then start it from Tarnwick"),
             said.constData());
    QCOMPARE(next.process().state(), QProcess::Running);
}

// The user starts their browser with a debugging port while the program runs, then quits it.
void TestDesktop::guardStatusFollowsTheBrowser()
{
    TestProcess first;
    QProcess& tarnwick = first.process();
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForStarted());
    QByteArray err;
    QVERIFY2(waitForMainWindow(tarnwick, err), err.constData());

    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    TestProcess browser;
    QVERIFY(startChromium(browser,
                          {QStringLiteral("--remote-debugging-port=%1").arg(port),
                           "--user-data-dir=" + qEnvironmentVariable("XDG_CONFIG_HOME") + "/chromium", "about:blank"}));
    const auto said = [&](const QByteArray& text) {
        return QTest::qWaitFor(
            [&] {
                err += tarnwick.readAllStandardError();
                return err.contains(text);
            },
            60000);
    };
    QVERIFY2(said("Guarding 1 browser, 1 tab\n"), err.constData());
    err.clear();
    browser.process().terminate();
    QVERIFY(browser.process().waitForFinished(30000));
    QVERIFY2(said("Not guarding any browser\n"), err.constData());
}

void TestDesktop::guardedLaunchersValidateAndStartTheBrowser()
{
    QProcess tool;
    tool.start(program(), {"--install-launchers"});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    const QString entry = qEnvironmentVariable("XDG_DATA_HOME") + "/applications/tarnwick-guarded-chromium.desktop";
    QVERIFY2(tool.readAllStandardOutput().contains(entry.toUtf8()), qPrintable(entry));

    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {entry});
    if (!validate.waitForStarted())
        QSKIP("desktop-file-validate is not installed");
    QVERIFY(validate.waitForFinished(30000));
    const QByteArray complaints = validate.readAll();
    QCOMPARE(validate.exitCode(), 0);
    QVERIFY2(complaints.trimmed().isEmpty(), complaints.constData());

    QString exec, icon, name;
    for (const QString& line : QString::fromUtf8(readBytes(entry)).split(u'\n')) {
        if (line.startsWith(u"Exec="))
            exec = line.mid(5);
        else if (line.startsWith(u"Icon="))
            icon = line.mid(5);
        else if (line.startsWith(u"Name="))
            name = line.mid(5);
    }
    QCOMPARE(name, QStringLiteral("Chromium (guarded)"));
    // The browser's own icon, as its own entry names it.
    for (const QString& line : QString::fromUtf8(readBytes("/usr/share/applications/chromium.desktop")).split(u'\n')) {
        if (line.startsWith(u"Icon=")) {
            QCOMPARE(icon, line.mid(5));
            break;
        }
    }

    // Started from the menu: the program, which starts the browser on the user's own profile over its pipe.
    QStringList command;
    for (const QString& word : exec.split(u' '))
        command << (word.startsWith(u'"') ? word.mid(1, word.size() - 2) : word);
    QCOMPARE(command.first(), program());
    TestProcess started;
    started.process().start(command.first(), command.mid(1));
    QVERIFY(started.process().waitForStarted());
    const QByteArray profile = ("--user-data-dir=" + qEnvironmentVariable("XDG_CONFIG_HOME") + "/chromium").toUtf8();
    const auto guardedBrowsers = [&] {
        int count = 0;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QList<QByteArray> arguments = readBytes("/proc/" + pid + "/cmdline").split('\0');
            if (arguments.contains(profile) && arguments.contains("--remote-debugging-pipe") &&
                std::none_of(arguments.begin(), arguments.end(),
                             [](const QByteArray& a) { return a.startsWith("--type="); }))
                ++count;
        }
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(guardedBrowsers(), 1, 60000);
    started.process().terminate();
    QVERIFY(started.process().waitForFinished(30000));
    QTRY_COMPARE_WITH_TIMEOUT(guardedBrowsers(), 0, 30000);

    tool.start(program(), {"--remove-launchers"});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(entry));
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
