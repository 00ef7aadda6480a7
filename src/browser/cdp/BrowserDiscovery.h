#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>
#include <vector>

class CdpBrowser;
class ShellWindowsGroup;
class WebSocketTransport;

// Finds the Chromium-family browsers running with their DevTools open, by the DevToolsActivePort file
// each writes into its profile folder, and adds each one's pages to a window collection. It looks again
// at every interval, so that a browser started (or restarted) later is found too. A file that names a
// browser no longer there is said once, and tried again only when the file changes.
class BrowserDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{3000};

    // The profile folders of the known browsers under $XDG_CONFIG_HOME (default ~/.config), and the
    // program's own launch profile.
    static QStringList knownProfileDirs();

    // The browsers found join group, which must outlive this object.
    explicit BrowserDiscovery(ShellWindowsGroup& group, const QStringList& profileDirs = knownProfileDirs(),
                              std::chrono::milliseconds interval = kDefaultInterval, QObject* parent = nullptr);
    // The browsers found leave the group.
    ~BrowserDiscovery() override;

    // Looks now, then at every interval.
    void start();
    // Looks once: connects to the browser of each folder not connected yet.
    void scan();
    // The browser of this folder is watched another way: it is never connected here, and one connected
    // already is let go, without browserLost.
    void skipProfile(const QString& profileDir);

signals:
    // Connected, its open pages in the group.
    void browserFound(const QString& profileDir, const QUrl& endpoint);
    // A browser found before has gone; its pages have left the group.
    void browserLost(const QString& profileDir, const QString& reason);
    // Something the user should know, said once: e.g. a DevToolsActivePort naming a browser gone.
    void message(const QString& text);

private:
    struct FileStamp {
        QByteArray content;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    struct Profile {
        QString dir;
        QPointer<CdpBrowser> browser;            // connecting or connected; owned by the group
        WebSocketTransport* transport = nullptr; // the browser's
        QUrl endpoint;
        bool found = false;
        FileStamp stamp;                 // of the file the endpoint was read from
        std::optional<FileStamp> failed; // not tried again while the file stays like this
        std::optional<FileStamp> lost;   // of a browser gone: tried again, but its failure is not news
    };

    void look(Profile& profile);
    void connectTo(Profile& profile, const QUrl& endpoint, const FileStamp& stamp);
    void onReady(CdpBrowser* browser);
    void onDisconnected(CdpBrowser* browser, const QString& reason);
    void fail(Profile& profile, const FileStamp& stamp, const QString& reason);
    // Forgets the profile's browser and takes it out of the group soon, outside its own signals.
    void letGo(Profile& profile);
    void dropLeaving();
    Profile* profileOf(const CdpBrowser* browser);
    bool isConnectedTo(const QUrl& endpoint) const;

    ShellWindowsGroup& m_group;
    std::vector<Profile> m_profiles;
    QSet<QString> m_skipped;
    QList<QPointer<CdpBrowser>> m_leaving;
    QTimer m_timer;
};
