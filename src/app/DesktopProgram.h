#pragma once

#include "AppState.h"
#include "BrowserConnections.h"
#include "EventLoopPump.h"
#include "Form1Hooks.h"
#include "Module2.h"
#include "PromptForwarder.h"
#include "ShellWindowsGroup.h"
#include "modSkin.h"

#include <QObject>
#include <QPointer>
#include <QTextStream>

#include <memory>

class Form1;
class Form8;
class frmAbout;
class frmWebsite;
class modIETools;
class HotKeyService;
class modHook;
class IniSettingsStore;
class LoopbackHttpServer;
class Registry;
class SoundService;
class TerminationWatcher;
class WindowPlacement;
class frmSplash;
class modPlaySound;

// The program with its windows: the splash, then the main window watching the browsers, until the user
// (or the system, or the end of the session) closes it.
class DesktopProgram : public QObject {
    Q_OBJECT
public:
    struct Options {
        BrowserConnections::Options browsers;
        bool demo = false; // a launched browser on our own demo site
        // The skin and the banner pane; off only where what they cost is measured.
        bool decorated = true;
    };

    // One line per popup decision goes to out, as the headless runner prints it; messages go to err.
    DesktopProgram(Options options, QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~DesktopProgram() override;

    // Shows the splash, which loads the main window when its time is up. False, with the reason said,
    // when the program cannot even begin.
    bool start();
    Form1* mainWindow() const { return m_form1.get(); }

signals:
    void finished(int exitCode);

private:
    QWidget* loadMainWindow();
    // The splash window, made on first use: the start of the program, and the holder of its skin.
    frmSplash& splash();
    Form1Hooks hooks();
    void connectMenus(Form1& form);
    // One window of a kind, loaded when first opened and deleted when closed; over a topmost main window
    // it is made topmost too.
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
    template <typename Window, typename Make> Window* openOverMain(QPointer<Window>& window, Make make)
    {
        openSingle(window, make);
        if (m_state.gOnTopActive)
            raiseOverMain(*window);
        return window;
    }
    void raiseOverMain(QWidget& window);
    QWidget* showHelp();
    void showAbout();
    void showWebsite();
    void fail(const QString& text);
    void closeLikeExit();

    Options m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    AppState m_state;
    std::unique_ptr<IniSettingsStore> m_settings;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<WindowPlacement> m_placement;
    Module2 m_tray;
    std::unique_ptr<HotKeyService> m_hotKeys;
    std::unique_ptr<modHook> m_hook;
    std::unique_ptr<SoundService> m_soundService;
    std::unique_ptr<modPlaySound> m_sound;
    EventLoopPump m_pump;
    PromptForwarder m_prompt;
    std::unique_ptr<LoopbackHttpServer> m_demoSite;
    ShellWindowsGroup m_group;
    std::unique_ptr<BrowserConnections> m_browsers;
    std::unique_ptr<modIETools> m_tools;
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
    bool m_ending = false;
};
