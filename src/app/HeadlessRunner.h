#pragma once

#include "AppState.h"
#include "EventLoopPump.h"
#include "ShellWindowsGroup.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

class BrowserConnections;
class CdpBrowser;
class DecisionContext;
class IniSettingsStore;
class Module1;
class PromptService;
class SoundService;
class StatusSink;
class StoredOptions;
class TerminationWatcher;
class cIEWindows;
class modPlaySound;

// The program without windows: watches the browsers it is given, decides on their popups with the
// user's stored options and lists, and prints one line per decision.
class HeadlessRunner : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool launch = false;
        QString browserPath;     // with launch; empty: find one
        QStringList browserUrls; // running browsers' DevTools endpoints; with neither, look for browsers
        QStringList openUrls;    // pages to open in the launched browser
        bool demo = false;       // our own demo site, settings and lists of its own
    };

    HeadlessRunner(Options options, QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~HeadlessRunner() override;

    // Sets everything up; false (with the reason said) when the runner cannot start.
    bool start();
    int decisionCount() const { return m_decisions; }
    // The last status text the browsers reported: the link under the mouse, if any.
    const QString& statusText() const { return m_state.gStatusText; }
    CdpBrowser* launchedBrowser() const;

signals:
    void finished(int exitCode);
    void decided(int count);

private:
    bool openStores();
    bool connectBrowsers();
    void report(const QString& site, const QString& popupUrl, bool blocked);
    void saveCount(qint32 count);

    Options m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    std::unique_ptr<QTemporaryDir> m_demoFolder;
    AppState m_state;
    std::unique_ptr<StatusSink> m_status;
    std::unique_ptr<IniSettingsStore> m_settings;
    std::unique_ptr<StoredOptions> m_popupOptions;
    std::unique_ptr<Module1> m_lists;
    std::unique_ptr<SoundService> m_soundService;
    std::unique_ptr<modPlaySound> m_sound;
    EventLoopPump m_pump;
    std::unique_ptr<PromptService> m_prompt;
    std::unique_ptr<DecisionContext> m_context;
    ShellWindowsGroup m_group;
    std::unique_ptr<cIEWindows> m_tracker;
    // After the group, which it adds to and takes from.
    std::unique_ptr<BrowserConnections> m_browsers;
    std::unique_ptr<TerminationWatcher> m_termination;
    int m_decisions = 0;
    bool m_countSaveFailed = false;
};
