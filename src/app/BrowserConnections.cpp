#include "BrowserConnections.h"

#include "BrowserDiscovery.h"
#include "BrowserLauncher.h"
#include "BrowserProcessTable.h"
#include "CdpBrowser.h"
#include "CdpConnection.h"
#include "ShellWindowsGroup.h"
#include "WebSocketTransport.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>

namespace {

// Discovery names a browser by the profile folder whose file led to it, or by its process.
QString described(const QString& name)
{
    return QDir::isAbsolutePath(name) ? QStringLiteral("the browser of ") + name : name;
}

} // namespace

BrowserConnections::BrowserConnections(Options options, ShellWindowsGroup& group, QTextStream& messages,
                                       QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_group(group)
{
    connect(this, &BrowserConnections::message, this,
            [&messages](const QString& text) { messages << text << Qt::endl; });
}

BrowserConnections::~BrowserConnections() = default;

bool BrowserConnections::start(QString* error)
{
    if (!m_options.openUrls.isEmpty() && !m_options.launch) {
        *error = QStringLiteral("--open needs --launch");
        return false;
    }
    if (!m_options.launch && m_options.browserUrls.isEmpty() && !m_options.browserOwnProfile) {
        startDiscovery();
        return true;
    }
    return add(m_options, error);
}

bool BrowserConnections::add(const Options& more, QString* error)
{
    if (more.browserOwnProfile && !more.launch) {
        *error = QStringLiteral("--browser-profile needs --launch");
        return false;
    }
    if (!more.openUrls.isEmpty() && !more.launch) {
        *error = QStringLiteral("--open needs --launch");
        return false;
    }
    for (const QString& url : more.browserUrls) {
        QString reason;
        auto transport = WebSocketTransport::connectTo(url, &reason);
        if (!transport) {
            *error = QStringLiteral("cannot connect to %1: %2").arg(url, reason);
            return false;
        }
        watch(std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)), url), false, url);
    }
    return !more.launch || launch(more, error);
}

QString BrowserConnections::guardText(int browsers, int tabs)
{
    if (browsers == 0)
        return QStringLiteral("Not guarding any browser");
    return QStringLiteral("Guarding %1 %2, %3 %4")
        .arg(browsers)
        .arg(browsers == 1 ? QStringLiteral("browser") : QStringLiteral("browsers"))
        .arg(tabs)
        .arg(tabs == 1 ? QStringLiteral("tab") : QStringLiteral("tabs"));
}

void BrowserConnections::startDiscovery()
{
    m_discovery = std::make_unique<BrowserDiscovery>(m_group, std::make_unique<ProcBrowserProcessTable>());
    connect(m_discovery.get(), &BrowserDiscovery::message, this, &BrowserConnections::message);
    connect(m_discovery.get(), &BrowserDiscovery::browserFound, this,
            [this](const QString& name, const QUrl& endpoint) {
                emit message(QStringLiteral("watching %1 (%2)").arg(described(name), endpoint.toString()));
                m_foundByDiscovery.insert(name);
                emit guardChanged();
            });
    connect(m_discovery.get(), &BrowserDiscovery::browserLost, this,
            [this](const QString& name, const QString& reason) {
                emit message(QStringLiteral("lost %1: %2").arg(described(name), reason));
                m_foundByDiscovery.remove(name);
                emit guardChanged();
            });
    emit message(QStringLiteral("looking for browsers with DevTools enabled (--remote-debugging-port): this user's, by "
                                "their profiles and command lines"));
    m_discovery->start();
}

bool BrowserConnections::launch(const Options& options, QString* error)
{
    m_runsUnguarded = false;
    BrowserLauncher launcher;
    BrowserLauncher::Options launch;
    launch.browserPath = options.browserPath;
    launch.discardOutput = true;
    if (!options.launchProfile.isEmpty())
        launch.profileDir = options.launchProfile;
    QString name = QStringLiteral("the launched browser");
    if (options.browserOwnProfile) {
        const QString path = launcher.findBrowser(options.browserPath, error);
        if (path.isEmpty())
            return false;
        const QString browser = BrowserLauncher::displayName(path);
        launch.browserPath = path;
        launch.profileDir = BrowserLauncher::ownProfileDir(path);
        launch.userProfile = true;
        if (launch.profileDir.isEmpty()) {
            *error = QStringLiteral("%1 is not a browser whose own profile Tarnwick knows: start it with Tarnwick's "
                                    "separate profile (--launch without --browser-profile)")
                         .arg(browser);
            return false;
        }
        // A second copy on that profile would only hand its window to the one running, unwatched.
        if (const qint64 holder = BrowserLauncher::profileHolder(launch.profileDir)) {
            const auto ours = std::find(m_launchedPids.cbegin(), m_launchedPids.cend(), holder);
            if (ours != m_launchedPids.cend()) {
                emit message(QStringLiteral("%1 is already guarded").arg(browser));
                return true;
            }
            m_runsUnguarded = true;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(holder));
            const bool pipe = cmdline.open(QIODevice::ReadOnly) &&
                              cmdline.readAll().split('\0').contains(QByteArrayLiteral("--remote-debugging-pipe"));
            *error = pipe ? QStringLiteral("%1 is already running on its own profile, guarded by another program (pid "
                                           "%2): close it, then start it from Tarnwick")
                                .arg(browser)
                                .arg(holder)
                          : QStringLiteral("%1 is already running unguarded: close it, then start it from Tarnwick")
                                .arg(browser);
            return false;
        }
        name = browser + QStringLiteral(" on its own profile");
    }
    auto transport = launcher.launch(launch, error);
    if (!transport)
        return false;
    const qint64 pid = transport->process() ? qint64(transport->process()->pid()) : 0;
    auto browser = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)), name);
    CdpBrowser* launched = browser.get();
    m_launched = launched;
    m_launchedPids.insert(launched, pid);
    connect(launched, &CdpBrowser::ready, this, [launched, urls = options.openUrls] {
        for (const QString& url : urls)
            launched->openPage(url);
    });
    if (options.browserOwnProfile) {
        // Google Chrome 136 and later ignore the pipe on their own profile: the browser runs, unwatched.
        connect(launched, &CdpBrowser::disconnected, this, [this, launched, name](const QString&) {
            if (!m_ready.contains(launched))
                emit message(QStringLiteral("%1 did not open its DevTools to Tarnwick (Google Chrome 136 and later "
                                            "refuse to on their own profile): start it with Tarnwick's separate "
                                            "profile instead (--launch without --browser-profile)")
                                 .arg(name));
        });
    }
    watch(std::move(browser), true, name);
    return true;
}

void BrowserConnections::watch(std::unique_ptr<CdpBrowser> browser, bool launched, const QString& name)
{
    CdpBrowser* raw = browser.get();
    connect(raw, &CdpBrowser::ready, this, [this, raw] {
        if (raw->isConnected() && !m_ready.contains(raw)) {
            m_ready.insert(raw);
            emit guardChanged();
        }
    });
    connect(raw, &CdpBrowser::disconnected, this,
            [this, raw, launched, name](const QString& reason) { browserLost(raw, launched, name, reason); });
    raw->start();
    m_group.add(std::move(browser));
}

void BrowserConnections::browserLost(CdpBrowser* browser, bool launched, const QString& name, const QString& reason)
{
    emit message(launched ? QStringLiteral("%1 has ended (%2)").arg(name, reason)
                          : QStringLiteral("lost the connection to %1: %2").arg(name, reason));
    if (m_launched == browser)
        m_launched = nullptr;
    m_launchedPids.remove(browser);
    if (m_ready.remove(browser))
        emit guardChanged();
    // Not from inside the browser's own signal.
    QTimer::singleShot(0, this, [this, browser, launched, reason] {
        m_group.remove(browser);
        if (launched) {
            emit launchedBrowserEnded(reason);
        } else if (m_group.memberCount() == 0) {
            emit message(QStringLiteral("no browser left to watch"));
            emit noBrowserLeft();
        }
    });
}
