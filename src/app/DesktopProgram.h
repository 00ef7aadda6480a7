#pragma once

#include "BrowserConnections.h"
#include "MainWindowShell.h"
#include "Module2.h"
#include "PromptForwarder.h"
#include "WebEngineSource.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QObject>
#include <QPointer>
#include <QTextStream>

#include <memory>

class BlockingEngine;
class Form1;
class Form8;
class HotKeyService;
class LoopbackHttpServer;
class Registry;
class SoundService;
class TerminationWatcher;
class WindowPlacement;
class clsOnTop;
class frmAbout;
class frmSplash;
class frmWebsite;
class modHook;
class modIETools;

// The program with its windows: the blocking engine shown and driven through the splash, the main window,
// the tray icon, the hot key and the setup-mode prompt, until the user (or the system, or the end of the
// session) closes it. It lends the main window the pieces its load and unload need.
class DesktopProgram : public QObject, private MainWindowShell {
    Q_OBJECT
public:
    struct Options {
        BrowserConnections::Options browsers;
        bool demo = false; // a launched browser on our own demo site
        // The skin and the banner pane; off only where what they cost is measured.
        bool decorated = true;
        // Where the web engine module is looked for first; empty: beside the executable.
        QString webEngineFolder;
    };

    // The exit status when the browser to launch on its own profile already runs there without the program.
    static constexpr int kBrowserRunsUnguarded = 4;

    // One line per popup decision goes to out, as the headless runner prints it; messages go to err.
    DesktopProgram(Options options, QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~DesktopProgram() override;

    // Shows the splash, which loads the main window when its time is up. False, with the reason said,
    // when the program cannot even begin.
    bool start();
    Form1* mainWindow() const { return m_form1.get(); }
    // What a later start of the program asked for: the browsers it names launched or connected, or, asked for
    // none, the main window shown. Waits for the main window when it is not there yet. Returns what could not be
    // done, if anything, with the exit status that says it.
    struct Refusal {
        int exitCode = 0;
        QString text;
    };
    Refusal handOver(const BrowserConnections::Options& asked);

signals:
    void finished(int exitCode);

private:
    QWidget* loadMainWindow();
    // The splash window, made on first use: the start of the program, and the holder of its skin.
    frmSplash& splash();
    void connectMainWindow(Form1& form);
    // One window of each kind: made and loaded on first use, shown again with what it has afterwards.
    template <typename Window, typename Make> static Window* openSingle(QPointer<Window>& window, Make make)
    {
        if (!window) {
            window = make();
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->Load();
        }
        window->show();
        window->raise();
        return window;
    }
    // The same, over a main window held on top: then the window goes on top too.
    template <typename Window, typename Make> Window* openOverMain(QPointer<Window>& window, Make make)
    {
        openSingle(window, make);
        raiseOverMain(*window);
        return window;
    }
    void raiseOverMain(QWidget& window);
    QWidget* showHelp();
    void showAbout();
    void showWebsite();
    void fail(const QString& text, int exitCode = 1);
    // Says what is guarded in the main window and the tray icon's tip.
    void showGuardStatus();
    void startGuardedBrowser();
    void closeLikeExit();
    // Ends the engine's work, then finishes with the exit code.
    void end(int exitCode);

    // What the main window's load and unload use.
    void AddTrayIcon(QWidget& window) override;
    void RemoveTrayIcon(QWidget& window) override;
    bool TrayIconShown() const override;
    bool InstallHook(QWidget& target, std::function<void()> pressed, QString* reason) override;
    void RemoveHook() override;
    void ApplySkin(QWidget& window) override;
    void StopSkinning() override;
    void InstallBanner(WebView& banner, QLabel& picture) override;
    void CheckToolsEntry() override;
    QWidget* ShowHelpWindow() override;
    bool WebsiteWindowKeepsProgram() override;

    Options m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    const ProductIdentity m_identity;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<WindowPlacement> m_placement;
    // Topmost placement of the windows opened over the main window.
    std::unique_ptr<clsOnTop> m_onTop;
    Module2 m_tray;
    std::unique_ptr<HotKeyService> m_hotKeys;
    std::unique_ptr<modHook> m_hook;
    std::unique_ptr<SoundService> m_soundService;
    PromptForwarder m_prompt;
    std::unique_ptr<LoopbackHttpServer> m_demoSite;
    std::unique_ptr<BlockingEngine> m_engine;
    std::unique_ptr<BrowserConnections> m_browsers;
    std::unique_ptr<modIETools> m_tools;
    // The pages of the banner and the built-in browser window; nothing of the web engine is loaded before the first.
    WebEnginePlugin m_webEngine;
    // The skin of every window; its source is the splash window's, which it loads when a window needs a skin
    // before the splash has given one.
    modSkin m_skin;
    std::unique_ptr<Form1> m_form1;
    // Opened on first use, one of each; they delete themselves when closed.
    QPointer<Form8> m_help;
    QPointer<frmAbout> m_about;
    QPointer<frmWebsite> m_website;
    std::unique_ptr<frmSplash> m_splash;
    std::unique_ptr<TerminationWatcher> m_termination;
    // The main window has been closed while the built-in browser window was open: closing that ends the program.
    bool m_exitPending = false;
    bool m_ending = false;
    bool m_engineEnding = false;
    // Asked for before the main window was there.
    QList<BrowserConnections::Options> m_handedOver;
};
