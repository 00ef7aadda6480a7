#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

class BrowserDiscovery;
class CdpBrowser;
class ShellWindowsGroup;

// The browsers whose pages the program watches, as the command line chose them: a browser it launches,
// running browsers given by their DevTools address, or, with neither, every browser found in the known
// profile folders, now and later. Their pages join one window collection.
class BrowserConnections : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool launch = false;
        QString browserPath;            // with launch; empty: find one
        QString launchProfile;          // with launch; empty: the program's own profile
        bool browserOwnProfile = false; // with launch: the browser's own profile instead
        QStringList browserUrls;        // running browsers' DevTools endpoints
        QStringList openUrls;           // pages to open in the launched browser
    };

    // The group and the stream must outlive this object; what the user should know about the browsers is
    // written to messages.
    BrowserConnections(Options options, ShellWindowsGroup& group, QTextStream& messages, QObject* parent = nullptr);
    ~BrowserConnections() override;

    // Connects or launches; false with the reason in *error when a browser asked for cannot be had.
    bool start(QString* error);
    // Later: connects or launches more browsers (more's launch and browserUrls), besides those watched.
    bool add(const Options& more, QString* error);
    CdpBrowser* launchedBrowser() const { return m_launched; }
    // The last launch failed because the browser already runs on that profile without the program.
    bool browserRunsUnguarded() const { return m_runsUnguarded; }
    // How many browsers are watched now: connected, their pages attached.
    int guardedBrowsers() const { return int(m_foundByDiscovery.size() + m_ready.size()); }
    // What the user sees at a glance: "Guarding 2 browsers, 9 tabs", or "Not guarding any browser".
    static QString guardText(int browsers, int tabs);

signals:
    // Something the user should know about the browsers.
    void message(const QString& text);
    // The user closed the browser the program launched for them.
    void launchedBrowserEnded(const QString& reason);
    // Every browser given by its address has gone (never sent while looking for browsers).
    void noBrowserLeft();
    // A browser has come or gone: guardedBrowsers() has changed.
    void guardChanged();

private:
    void startDiscovery();
    bool launch(const Options& options, QString* error);
    void watch(std::unique_ptr<CdpBrowser> browser, bool launched, const QString& name);
    void browserLost(CdpBrowser* browser, bool launched, const QString& name, const QString& reason);

    Options m_options;
    ShellWindowsGroup& m_group;
    std::unique_ptr<BrowserDiscovery> m_discovery;
    CdpBrowser* m_launched = nullptr;
    QSet<QString> m_foundByDiscovery;
    QSet<const CdpBrowser*> m_ready; // launched or given by address
    QHash<const CdpBrowser*, qint64> m_launchedPids;
    bool m_runsUnguarded = false;
};
