#include "BrowserDiscovery.h"

#include "BrowserLauncher.h"
#include "CdpBrowser.h"
#include "DevToolsEndpoint.h"
#include "ShellWindowsGroup.h"
#include "WebSocketTransport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace {

// The same folder however it was written, so that a skip and a scan agree.
QString normalized(const QString& dir)
{
    return QDir::cleanPath(QDir(dir).absolutePath());
}

} // namespace

QStringList BrowserDiscovery::knownProfileDirs()
{
    // Honours $XDG_CONFIG_HOME and falls back to ~/.config.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QStringList dirs;
    for (const char* name :
         {"chromium", "google-chrome", "google-chrome-beta", "google-chrome-unstable", "microsoft-edge",
          "microsoft-edge-beta", "microsoft-edge-dev", "BraveSoftware/Brave-Browser"})
        dirs << config + u'/' + QLatin1String(name);
    dirs << BrowserLauncher::defaultProfileDir();
    return dirs;
}

BrowserDiscovery::BrowserDiscovery(ShellWindowsGroup& group, std::unique_ptr<BrowserProcessTable> processes,
                                   const QStringList& profileDirs, std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent)
    , m_group(group)
    , m_processTable(std::move(processes))
{
    for (const QString& dir : profileDirs) {
        const QString clean = normalized(dir);
        if (std::none_of(m_profiles.begin(), m_profiles.end(), [&](const Profile& p) { return p.dir == clean; })) {
            m_profiles.emplace_back();
            m_profiles.back().dir = clean;
        }
    }
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &BrowserDiscovery::scan);
}

BrowserDiscovery::~BrowserDiscovery()
{
    for (Profile& profile : m_profiles) {
        if (profile.browser)
            letGo(profile);
    }
    for (Process& process : m_processes) {
        if (process.browser)
            letGo(process);
    }
    dropLeaving();
}

void BrowserDiscovery::start()
{
    m_timer.start();
    scan();
}

void BrowserDiscovery::scan()
{
    for (Profile& profile : m_profiles) {
        if (!profile.browser && !m_skipped.contains(profile.dir))
            look(profile);
    }
    lookAtProcesses();
}

void BrowserDiscovery::skipProfile(const QString& profileDir)
{
    const QString clean = normalized(profileDir);
    m_skipped.insert(clean);
    for (Profile& profile : m_profiles) {
        if (profile.dir == clean && profile.browser)
            letGo(profile);
    }
    for (Process& process : m_processes) {
        if (!process.process.profileDir.isEmpty() && normalized(process.process.profileDir) == clean && process.browser)
            letGo(process);
    }
}

void BrowserDiscovery::look(Profile& profile)
{
    QFile file(profile.dir + QStringLiteral("/DevToolsActivePort"));
    if (!file.open(QIODevice::ReadOnly)) {
        // No browser with its DevTools open here; a file that comes back is a new one.
        profile.failed.reset();
        return;
    }
    // The file holds two short lines; anything longer is not one.
    const FileStamp stamp{file.read(4096), QFileInfo(file).lastModified()};
    if (profile.failed == stamp)
        return;
    QString error;
    const QUrl endpoint = DevToolsEndpoint::fromActivePortText(stamp.content, &error);
    if (endpoint.isEmpty()) {
        fail(profile, stamp, QStringLiteral("%1: %2").arg(file.fileName(), error));
        return;
    }
    // Two folders may name one browser (a copied file): one connection is enough.
    if (isConnectedTo(endpoint))
        return;
    profile.stamp = stamp;
    if (!connectTo(profile, endpoint, profile.dir, &error))
        fail(profile, stamp, error);
}

bool BrowserDiscovery::connectTo(Link& link, const QUrl& endpoint, const QString& name, QString* error)
{
    auto transport = WebSocketTransport::connectTo(endpoint.toString(), error);
    if (!transport)
        return false;
    link.transport = transport.get();
    auto owned = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)), name);
    CdpBrowser* browser = owned.get();
    link.browser = browser;
    link.endpoint = endpoint;
    link.found = false;
    connect(browser, &CdpBrowser::ready, this, [this, browser] { onReady(browser); });
    connect(browser, &CdpBrowser::disconnected, this,
            [this, browser](const QString& reason) { onDisconnected(browser, reason); });
    browser->start();
    m_group.add(std::move(owned));
    return true;
}

void BrowserDiscovery::lookAtProcesses()
{
    const QList<DebuggingPortProcess> running = m_processTable->debuggingPortProcesses();
    // A process gone is forgotten once its connection, if any, has gone too.
    std::erase_if(m_processes,
                  [&](const Process& known) { return !known.browser && !running.contains(known.process); });
    for (const DebuggingPortProcess& process : running) {
        if (std::none_of(m_processes.begin(), m_processes.end(),
                         [&](const Process& known) { return known.process == process; })) {
            Process added;
            added.process = process;
            added.name = QStringLiteral("%1 (pid %2, port %3").arg(process.program).arg(process.pid).arg(process.port);
            if (!process.profileDir.isEmpty())
                added.name += QStringLiteral(", profile ") + process.profileDir;
            added.name += u')';
            m_processes.push_back(std::move(added));
        }
    }
    for (Process& process : m_processes) {
        if (!process.browser && !process.failed && running.contains(process.process))
            look(process);
    }
}

void BrowserDiscovery::look(Process& process)
{
    const DebuggingPortProcess& found = process.process;
    if (!found.profileDir.isEmpty() && m_skipped.contains(normalized(found.profileDir)))
        return;
    if (!DevToolsEndpoint::isLoopbackHost(found.address)) {
        fail(process, QStringLiteral("its DevTools listen on %1, which other machines can reach; only a browser "
                                     "listening on loopback (127.0.0.1, the default) is watched")
                          .arg(found.address));
        return;
    }
    QUrl endpoint;
    endpoint.setScheme(QStringLiteral("http"));
    endpoint.setHost(found.address);
    endpoint.setPort(found.port);
    // Its DevToolsActivePort, or another process naming the same port, may have led here already.
    if (isConnectedTo(endpoint))
        return;
    QString error;
    if (!connectTo(process, endpoint, process.name, &error))
        fail(process, error);
}

void BrowserDiscovery::onReady(CdpBrowser* browser)
{
    if (Process* process = processOf(browser)) {
        if (process->found || !browser->isConnected())
            return;
        if (!process->transport->isConnected()) {
            fail(*process, QStringLiteral("no DevTools answer at %1").arg(process->endpoint.toDisplayString()));
            return;
        }
        process->found = true;
        process->lost = false;
        process->refusedSince.reset();
        emit browserFound(process->name, process->endpoint);
        return;
    }
    Profile* profile = profileOf(browser);
    // A closed connection also makes the browser ready; disconnected() follows and says why.
    if (!profile || profile->found || !browser->isConnected())
        return;
    if (!profile->transport->isConnected()) {
        // Something listens there but never completed the handshake: not a browser to wait for.
        fail(*profile, profile->stamp,
             QStringLiteral("no DevTools answer at %1 (named by %2/DevToolsActivePort)")
                 .arg(profile->endpoint.toDisplayString(), profile->dir));
        return;
    }
    profile->found = true;
    emit browserFound(profile->dir, profile->endpoint);
}

void BrowserDiscovery::onDisconnected(CdpBrowser* browser, const QString& reason)
{
    if (Process* process = processOf(browser)) {
        if (process->found) {
            const QString name = process->name;
            // The process may still be there (only the connection broke): the next scan tries once more.
            process->lost = true;
            letGo(*process);
            emit browserLost(name, reason);
            return;
        }
        // Just started, a browser may not listen yet: it is tried again for a while before this is news.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (!process->lost && (!process->refusedSince ||
                               process->refusedSince->msecsTo(now) < std::chrono::milliseconds(kStartGrace).count())) {
            if (!process->refusedSince)
                process->refusedSince = now;
            letGo(*process);
            return;
        }
        fail(*process, QStringLiteral("no DevTools at %1: %2").arg(process->endpoint.toDisplayString(), reason));
        return;
    }
    Profile* profile = profileOf(browser);
    if (!profile)
        return;
    if (profile->found) {
        const QString dir = profile->dir;
        // The browser leaves its file behind even on a clean exit. The next scan tries it once more (in
        // case only the connection broke) without saying so; a restarted browser writes a new one.
        profile->lost = profile->stamp;
        letGo(*profile);
        emit browserLost(dir, reason);
        return;
    }
    fail(*profile, profile->stamp,
         QStringLiteral("no browser at %1 (named by %2/DevToolsActivePort): %3")
             .arg(profile->endpoint.toDisplayString(), profile->dir, reason));
}

void BrowserDiscovery::fail(Profile& profile, const FileStamp& stamp, const QString& reason)
{
    if (profile.browser)
        letGo(profile);
    profile.failed = stamp;
    if (profile.lost != stamp)
        emit message(reason);
}

void BrowserDiscovery::fail(Process& process, const QString& reason)
{
    if (process.browser)
        letGo(process);
    process.failed = true;
    if (!process.lost)
        emit message(QStringLiteral("cannot watch %1: %2").arg(process.name, reason));
}

void BrowserDiscovery::letGo(Link& link)
{
    m_leaving.append(link.browser);
    link.browser.clear();
    link.transport = nullptr;
    link.endpoint.clear();
    link.found = false;
    if (m_leaving.size() == 1)
        QTimer::singleShot(0, this, &BrowserDiscovery::dropLeaving);
}

void BrowserDiscovery::dropLeaving()
{
    // One the group has dropped already is gone from here too.
    for (const QPointer<CdpBrowser>& browser : std::exchange(m_leaving, {})) {
        if (!browser)
            continue;
        disconnect(browser, nullptr, this, nullptr);
        m_group.remove(browser);
    }
}

BrowserDiscovery::Profile* BrowserDiscovery::profileOf(const CdpBrowser* browser)
{
    const auto it = std::find_if(m_profiles.begin(), m_profiles.end(),
                                 [browser](const Profile& p) { return p.browser == browser; });
    return it == m_profiles.end() ? nullptr : &*it;
}

BrowserDiscovery::Process* BrowserDiscovery::processOf(const CdpBrowser* browser)
{
    const auto it = std::find_if(m_processes.begin(), m_processes.end(),
                                 [browser](const Process& p) { return p.browser == browser; });
    return it == m_processes.end() ? nullptr : &*it;
}

bool BrowserDiscovery::isConnectedTo(const QUrl& endpoint) const
{
    // Every endpoint is on this machine's loopback, where a port names one browser however it is written.
    const auto same = [&](const Link& link) {
        return link.browser && link.endpoint.port() == endpoint.port();
    };
    return std::any_of(m_profiles.begin(), m_profiles.end(), same) ||
           std::any_of(m_processes.begin(), m_processes.end(), same);
}
