#pragma once

#include "BrowserConnections.h"
#include "UnansweredPrompt.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

class BlockingEngine;
class CdpBrowser;
class LoopbackHttpServer;
class SoundService;
class TerminationWatcher;

// The program without windows: the blocking engine on the user's stored options and lists, its decision
// lines on standard output, its messages on standard error; setup mode's questions go unanswered. Ends on
// SIGTERM or SIGINT, or when the browser it launched closes.
class HeadlessRunner : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool launch = false;
        QString browserPath;            // with launch; empty: find one
        bool browserOwnProfile = false; // with launch: the browser's own profile, not the program's
        QStringList browserUrls;        // running browsers' DevTools endpoints; with neither, look for browsers
        QStringList openUrls;           // pages to open in the launched browser
        // Our own demo site in a launched browser, with settings and lists of its own.
        bool demo = false;

        // The browsers these options ask for, as either face connects them.
        BrowserConnections::Options browsers() const;
    };

    HeadlessRunner(Options options, QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~HeadlessRunner() override;

    // Sets everything up; false (with the reason said) when the runner cannot start.
    bool start();
    // The engine, once start() has succeeded.
    BlockingEngine& engine() const { return *m_engine; }
    CdpBrowser* launchedBrowser() const;
    // start() failed because the browser to launch already runs on its profile without the program.
    bool browserRunsUnguarded() const;
    // The demo site, while running the demo.
    LoopbackHttpServer* demoSite() const { return m_demoSite.get(); }

signals:
    void finished(int exitCode);

private:
    bool connectBrowsers();
    // Ends the engine's work, then finishes with the exit code.
    void end(int exitCode);

    Options m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    std::unique_ptr<QTemporaryDir> m_demoFolder;
    std::unique_ptr<LoopbackHttpServer> m_demoSite;
    std::unique_ptr<SoundService> m_soundService;
    UnansweredPrompt m_prompt;
    std::unique_ptr<BlockingEngine> m_engine;
    // After the engine, whose window collection it adds to and takes from.
    std::unique_ptr<BrowserConnections> m_browsers;
    std::unique_ptr<TerminationWatcher> m_termination;
    bool m_ending = false;
};
