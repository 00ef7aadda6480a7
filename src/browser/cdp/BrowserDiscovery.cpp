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

BrowserDiscovery::BrowserDiscovery(ShellWindowsGroup& group, const QStringList& profileDirs,
                                   std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent)
    , m_group(group)
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
}

void BrowserDiscovery::skipProfile(const QString& profileDir)
{
    const QString clean = normalized(profileDir);
    m_skipped.insert(clean);
    for (Profile& profile : m_profiles) {
        if (profile.dir == clean && profile.browser)
            letGo(profile);
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
    connectTo(profile, endpoint, stamp);
}

void BrowserDiscovery::connectTo(Profile& profile, const QUrl& endpoint, const FileStamp& stamp)
{
    QString error;
    auto transport = WebSocketTransport::connectTo(endpoint.toString(), &error);
    if (!transport) {
        fail(profile, stamp, error);
        return;
    }
    profile.transport = transport.get();
    auto owned = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)), profile.dir);
    CdpBrowser* browser = owned.get();
    profile.browser = browser;
    profile.endpoint = endpoint;
    profile.stamp = stamp;
    profile.found = false;
    connect(browser, &CdpBrowser::ready, this, [this, browser] { onReady(browser); });
    connect(browser, &CdpBrowser::disconnected, this,
            [this, browser](const QString& reason) { onDisconnected(browser, reason); });
    browser->start();
    m_group.add(std::move(owned));
}

void BrowserDiscovery::onReady(CdpBrowser* browser)
{
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

void BrowserDiscovery::letGo(Profile& profile)
{
    m_leaving.append(profile.browser);
    profile.browser.clear();
    profile.transport = nullptr;
    profile.endpoint.clear();
    profile.found = false;
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

bool BrowserDiscovery::isConnectedTo(const QUrl& endpoint) const
{
    return std::any_of(m_profiles.begin(), m_profiles.end(),
                       [&](const Profile& p) { return p.browser && p.endpoint == endpoint; });
}
