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
#include <memory>
#include <optional>
#include <vector>

#include "BrowserProcessTable.h"

class CdpBrowser;
class ShellWindowsGroup;
class WebSocketTransport;

// Finds the Chromium-family browsers running with their DevTools open, by the DevToolsActivePort file
// each writes into its profile folder, and by the command lines of this user's browsers started with a
// fixed --remote-debugging-port (they write no such file), and adds each one's pages to a window
// collection. It looks again at every interval, so that a browser started (or restarted) later is found
// too. Each browser is connected once, however many ways name it. A file that names a browser no longer
// there is said once, and tried again only when the file changes; a browser process that cannot be
// connected is named with the reason once.
class BrowserDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{3000};

    // The profile folders of the known browsers under $XDG_CONFIG_HOME (default ~/.config), and the
    // program's own launch profile.
    static QStringList knownProfileDirs();

    // How long a browser process that does not answer on its port yet is given to start listening.
    static constexpr std::chrono::milliseconds kStartGrace{15000};

    // The browsers found join group, which must outlive this object.
    BrowserDiscovery(ShellWindowsGroup& group, std::unique_ptr<BrowserProcessTable> processes,
                     const QStringList& profileDirs = knownProfileDirs(),
                     std::chrono::milliseconds interval = kDefaultInterval, QObject* parent = nullptr);
    // The browsers found leave the group.
    ~BrowserDiscovery() override;

    // Looks now, then at every interval.
    void start();
    // Looks once: connects to the browser of each folder and each browser process not connected yet.
    void scan();
    // The browser of this folder is watched another way: it is never connected here, and one connected
    // already is let go, without browserLost.
    void skipProfile(const QString& profileDir);

signals:
    // Connected, its open pages in the group. name is the profile folder whose file named it, or the
    // browser process ("chromium (pid 123, port 9222)").
    void browserFound(const QString& name, const QUrl& endpoint);
    // A browser found before has gone; its pages have left the group.
    void browserLost(const QString& name, const QString& reason);
    // Something the user should know, said once: e.g. a DevToolsActivePort naming a browser gone.
    void message(const QString& text);

private:
    struct FileStamp {
        QByteArray content;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    struct Link {
        QPointer<CdpBrowser> browser;            // connecting or connected; owned by the group
        WebSocketTransport* transport = nullptr; // the browser's
        QUrl endpoint;
        bool found = false;
    };
    struct Profile : Link {
        QString dir;
        FileStamp stamp;                 // of the file the endpoint was read from
        std::optional<FileStamp> failed; // not tried again while the file stays like this
        std::optional<FileStamp> lost;   // of a browser gone: tried again, but its failure is not news
    };

    struct Process : Link {
        DebuggingPortProcess process;
        QString name;
        std::optional<QDateTime> refusedSince; // first failure while the browser may still be starting
        bool failed = false;                   // said, and not tried again while this process lives
        bool lost = false;                     // connected once: tried again, its failure is not news
    };

    void look(Profile& profile);
    void lookAtProcesses();
    void look(Process& process);
    bool connectTo(Link& link, const QUrl& endpoint, const QString& name, QString* error);
    void onReady(CdpBrowser* browser);
    void onDisconnected(CdpBrowser* browser, const QString& reason);
    void fail(Profile& profile, const FileStamp& stamp, const QString& reason);
    void fail(Process& process, const QString& reason);
    // Forgets the browser and takes it out of the group soon, outside its own signals.
    void letGo(Link& link);
    void dropLeaving();
    Profile* profileOf(const CdpBrowser* browser);
    Process* processOf(const CdpBrowser* browser);
    bool isConnectedTo(const QUrl& endpoint) const;

    ShellWindowsGroup& m_group;
    std::unique_ptr<BrowserProcessTable> m_processTable;
    std::vector<Profile> m_profiles;
    std::vector<Process> m_processes;
    QSet<QString> m_skipped;
    QList<QPointer<CdpBrowser>> m_leaving;
    QTimer m_timer;
};
