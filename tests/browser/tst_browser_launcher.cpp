// How the launcher picks a browser and builds its command line, and how it reports failure.
#include "BrowserLauncher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/wait.h>

namespace {

void makeFile(const QTemporaryDir& dir, const QString& name, bool executable, const QByteArray& content = "#!/bin/sh\n")
{
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) > 0);
    file.close();
    QVERIFY(file.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner));
}

BrowserLauncher::Environment environment(bool display, bool root, const QStringList& searchPath = {})
{
    BrowserLauncher::Environment environment;
    environment.hasDisplay = display;
    environment.runningAsRoot = root;
    environment.searchPath = searchPath;
    return environment;
}

} // namespace

class TestBrowserLauncher : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<bool>("display");
        QTest::addColumn<bool>("root");
        QTest::addColumn<bool>("askedHeadless");
        QTest::newRow("desktop user") << true << false << false;
        QTest::newRow("root") << true << true << false;
        QTest::newRow("asked headless") << true << false << true;
        QTest::newRow("no display") << false << false << false;
    }

    void commandLine()
    {
        QFETCH(bool, display);
        QFETCH(bool, root);
        QFETCH(bool, askedHeadless);
        BrowserLauncher::Options options;
        options.headless = askedHeadless;
        options.startUrls = {"--remote-debugging-port=9222"}; // an address cannot pass for a switch
        const QStringList arguments = BrowserLauncher(environment(display, root)).arguments(options, "/data/profile");
        for (const char* flag : {"--remote-debugging-pipe", "--no-first-run", "--disable-background-networking",
                                 "--disable-component-update", "--disable-sync", "--disable-popup-blocking",
                                 "--user-data-dir=/data/profile"})
            QVERIFY2(arguments.contains(flag), flag);
        QCOMPARE(arguments.contains("--no-sandbox"), root);
        QCOMPARE(arguments.contains("--headless=new"), askedHeadless || !display);
        QCOMPARE(arguments.contains("--disable-gpu"), askedHeadless || !display);
        QCOMPARE(arguments.mid(arguments.size() - 2), QStringList({"--", "--remote-debugging-port=9222"}));
    }

    void findsBrowsersInOrder()
    {
        QTemporaryDir dir;
        makeFile(dir, "chromium", false); // not executable: skipped
        makeFile(dir, "brave-browser", true);
        makeFile(dir, "microsoft-edge", true);
        auto env = environment(true, false, {dir.path()});
        QString error;
        QCOMPARE(BrowserLauncher(env).findBrowser({}, &error), dir.filePath("microsoft-edge"));
        makeFile(dir, "google-chrome", true);
        QCOMPARE(BrowserLauncher(env).findBrowser({}, &error), dir.filePath("google-chrome"));
        env.knownLocations = {dir.filePath("missing"), dir.filePath("brave-browser")}; // known ones come first
        QCOMPARE(BrowserLauncher(env).findBrowser({}, &error), dir.filePath("brave-browser"));
        QCOMPARE(BrowserLauncher(env).findBrowser("chromium", &error), QString()); // asked for, not executable
        QVERIFY2(error.contains("chromium"), qPrintable(error));
    }

    void failuresAreClear()
    {
        QTemporaryDir dir;
        BrowserLauncher::Options options;
        options.profileDir = dir.filePath("profile");
        QString error;
        QVERIFY(!BrowserLauncher(environment(true, false, {dir.path()})).launch(options, &error));
        QVERIFY2(error.startsWith("no Chromium-family browser found (looked for chromium, google-chrome"),
                 qPrintable(error));

        makeFile(dir, "broken", true, "this is no program\n");
        options.browserPath = dir.filePath("broken");
        QVERIFY(!BrowserLauncher(environment(true, false)).launch(options, &error));
        QCOMPARE(error, QString("could not start %1: Exec format error").arg(options.browserPath));
        QVERIFY(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD); // the failed child was reaped
        QVERIFY(QDir(options.profileDir).exists());                        // made before the browser starts

        options.startUrls = {"about:blank", "about:blank"};
        QVERIFY(!BrowserLauncher(environment(false, false)).launch(options, &error));
        QVERIFY(error.contains("at most one"));
    }
};

QTEST_GUILESS_MAIN(TestBrowserLauncher)
#include "tst_browser_launcher.moc"
