#include "BrowserLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <unistd.h>

BrowserLauncher::Environment BrowserLauncher::Environment::current()
{
    Environment environment;
    environment.hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    environment.runningAsRoot = ::geteuid() == 0;
    // Debian's /usr/bin/chromium is a shell script around this binary.
    environment.knownLocations = {QStringLiteral("/usr/lib/chromium/chromium")};
    return environment;
}

BrowserLauncher::BrowserLauncher(Environment environment)
    : m_environment(std::move(environment))
{}

QStringList BrowserLauncher::browserNames()
{
    return {QStringLiteral("chromium"), QStringLiteral("google-chrome"), QStringLiteral("microsoft-edge"),
            QStringLiteral("brave-browser")};
}

QString BrowserLauncher::defaultProfileDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tarnwick/browser-profile");
}

namespace {

struct KnownBrowser {
    QStringList programs; // file names of the program or its wrapper
    QString name;
    QString configFolder;
};

const QList<KnownBrowser>& knownBrowsers()
{
    static const QList<KnownBrowser> browsers{
        {{QStringLiteral("chromium"), QStringLiteral("chromium-browser")},
         QStringLiteral("Chromium"),
         QStringLiteral("chromium")},
        {{QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable"), QStringLiteral("chrome")},
         QStringLiteral("Google Chrome"),
         QStringLiteral("google-chrome")},
        {{QStringLiteral("google-chrome-beta")},
         QStringLiteral("Google Chrome Beta"),
         QStringLiteral("google-chrome-beta")},
        {{QStringLiteral("microsoft-edge"), QStringLiteral("microsoft-edge-stable"), QStringLiteral("msedge")},
         QStringLiteral("Microsoft Edge"),
         QStringLiteral("microsoft-edge")},
        {{QStringLiteral("brave-browser"), QStringLiteral("brave")},
         QStringLiteral("Brave"),
         QStringLiteral("BraveSoftware/Brave-Browser")},
    };
    return browsers;
}

const KnownBrowser* knownBrowser(const QString& browserPath)
{
    const QString program = QFileInfo(browserPath).fileName();
    for (const KnownBrowser& browser : knownBrowsers()) {
        if (browser.programs.contains(program))
            return &browser;
    }
    return nullptr;
}

} // namespace

QString BrowserLauncher::ownProfileDir(const QString& browserPath)
{
    const KnownBrowser* browser = knownBrowser(browserPath);
    if (!browser)
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + browser->configFolder;
}

QString BrowserLauncher::displayName(const QString& browserPath)
{
    const KnownBrowser* browser = knownBrowser(browserPath);
    return browser ? browser->name : QFileInfo(browserPath).fileName();
}

qint64 BrowserLauncher::profileHolder(const QString& profileDir)
{
    // "<host>-<pid>", a symbolic link that points nowhere; left behind by a browser that crashed.
    const QString target = QFileInfo(profileDir + QStringLiteral("/SingletonLock")).symLinkTarget();
    const QString link = target.isEmpty() ? QString() : QFileInfo(target).fileName();
    bool ok = false;
    const qint64 pid = link.section(u'-', -1).toLongLong(&ok);
    if (!ok || pid <= 0)
        return 0;
    const QString host = link.section(u'-', 0, -2);
    if (host != QSysInfo::machineHostName())
        return 0;
    return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)) ? pid : 0;
}

QString BrowserLauncher::findBrowser(const QString& requested, QString* error) const
{
    auto isProgram = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    auto lookUp = [this](const QString& name) {
        return m_environment.searchPath.isEmpty() ? QStandardPaths::findExecutable(name)
                                                  : QStandardPaths::findExecutable(name, m_environment.searchPath);
    };
    if (!requested.isEmpty()) {
        const QString found = requested.contains(QLatin1Char('/'))
                                  ? (isProgram(requested) ? QFileInfo(requested).absoluteFilePath() : QString())
                                  : lookUp(requested);
        if (found.isEmpty() && error)
            *error = QStringLiteral("browser not found or not executable: %1").arg(requested);
        return found;
    }
    for (const QString& location : m_environment.knownLocations) {
        if (isProgram(location))
            return location;
    }
    for (const QString& name : browserNames()) {
        const QString found = lookUp(name);
        if (!found.isEmpty())
            return found;
    }
    if (error)
        *error = QStringLiteral("no Chromium-family browser found (looked for %1)")
                     .arg((m_environment.knownLocations + browserNames()).join(QStringLiteral(", ")));
    return {};
}

QStringList BrowserLauncher::arguments(const Options& options, const QString& profileDir) const
{
    QStringList arguments{QStringLiteral("--remote-debugging-pipe"), QStringLiteral("--no-first-run")};
    if (!options.userProfile)
        arguments << QStringLiteral("--disable-background-networking") << QStringLiteral("--disable-component-update")
                  << QStringLiteral("--disable-sync");
    // The program is the one judge of popups in the browsers it launches. The browser's own blocker would hide an
    // allowed site's popups from it for good, and lets through what a page opens inside any click of the user's.
    arguments << QStringLiteral("--disable-popup-blocking") << QStringLiteral("--user-data-dir=%1").arg(profileDir);
    // The browser's sandbox refuses to run as root.
    if (m_environment.runningAsRoot)
        arguments << QStringLiteral("--no-sandbox");
    if (options.headless || !m_environment.hasDisplay)
        arguments << QStringLiteral("--headless=new") << QStringLiteral("--disable-gpu");
    if (!options.startUrls.isEmpty()) {
        // After "--" an address that starts with '-' cannot pass for a switch.
        arguments << QStringLiteral("--") << options.startUrls;
    }
    return arguments;
}

std::unique_ptr<PipeTransport> BrowserLauncher::launch(const Options& options, QString* error) const
{
    if ((options.headless || !m_environment.hasDisplay) && options.startUrls.size() > 1) {
        // Measured: headless Chromium exits at once with "Multiple targets are not supported".
        if (error)
            *error = QStringLiteral("a headless browser takes at most one start address");
        return nullptr;
    }
    const QString browser = findBrowser(options.browserPath, error);
    if (browser.isEmpty())
        return nullptr;
    const QString profileDir =
        QDir::cleanPath(QDir(options.profileDir.isEmpty() ? defaultProfileDir() : options.profileDir).absolutePath());
    if (!QDir().mkpath(profileDir)) {
        if (error)
            *error = QStringLiteral("could not create the browser profile folder %1").arg(profileDir);
        return nullptr;
    }
    return PipeTransport::launch(browser, arguments(options, profileDir), options.discardOutput, error);
}
