#include "DesktopProgram.h"

#include "BlockingEngine.h"
#include "Form1.h"
#include "Form8.h"
#include "GuardedLaunchers.h"
#include "HotKeyService.h"
#include "LoopbackHttpServer.h"
#include "ProductRecord.h"
#include "ProgramFiles.h"
#include "Registry.h"
#include "RegistryService.h"
#include "ResourceLocator.h"
#include "SetupPrompt.h"
#include "SoundService.h"
#include "TerminationWatcher.h"
#include "WindowPlacement.h"
#include "clsOnTop.h"
#include "frmAbout.h"
#include "frmSplash.h"
#include "frmWebsite.h"
#include "modHook.h"
#include "modIETools.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace {

ProductIdentity identityFor(bool decorated)
{
    ProductIdentity identity = LoadProductIdentity();
    if (!decorated)
        identity.gUseSkin = identity.gShowBanner = false;
    return identity;
}

} // namespace

DesktopProgram::DesktopProgram(Options options, QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
    , m_identity(identityFor(m_options.decorated))
    , m_webEngine(m_options.webEngineFolder)
    , m_skin([this] { splash().LoadHidden(); })
{}

DesktopProgram::~DesktopProgram()
{
    // The windows (and with them the sinks and decisions) before the browsers they watch; the prompt
    // window before the main window whose lists it changes.
    m_prompt.setTarget(nullptr);
    delete m_help;
    delete m_about;
    delete m_website;
    m_splash.reset();
    m_form1.reset();
    m_engine.reset();
    m_browsers.reset();
}

bool DesktopProgram::start()
{
    const QString product = m_identity.gProgramName;
    // Docks and task bars match the windows to the installed desktop entry by this name; the autostart
    // entry shows that entry's icon.
    const QString desktopFileName = configuredDesktopFileName();
    QGuiApplication::setDesktopFileName(desktopFileName);
    m_registry = createRegistry(RegistryLocation::standard(product, desktopFileName));
    m_placement = createWindowPlacement();
    m_onTop = std::make_unique<clsOnTop>(*m_placement);
    m_hotKeys = createHotKeyService();
    m_hook = std::make_unique<modHook>(*m_hotKeys);
    m_tools = std::make_unique<modIETools>(
        *m_registry, modIETools::Program{product, QCoreApplication::applicationFilePath(),
                                         ResourceLocator().path(QStringLiteral("icons/tarnwick-22.png"))});
    m_soundService = createSoundService();
    QString error;
    BlockingEngine::Setup setup = ProgramFiles::userSetup(&error);
    if (!setup.settings) {
        fail(error);
        return false;
    }
    m_engine = std::make_unique<BlockingEngine>(std::move(setup), *m_soundService, m_prompt, m_out);

    if (m_options.demo) {
        m_demoSite = ProgramFiles::serveDemoSite(m_err);
        if (!m_demoSite)
            return false;
        m_options.browsers.launch = true;
        m_options.browsers.openUrls.append(m_demoSite->url());
    }

    // Asked to end by the system, or the desktop session is ending: close as "Exit" does.
    m_termination = createTerminationWatcher();
    connect(m_termination.get(), &TerminationWatcher::terminationRequested, this, &DesktopProgram::closeLikeExit);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &DesktopProgram::closeLikeExit);

    splash().show();
    splash().Load();
    return true;
}

frmSplash& DesktopProgram::splash()
{
    if (!m_splash) {
        m_splash = std::make_unique<frmSplash>(
            m_identity, [this] { return loadMainWindow(); },
            [this](frmSplash& window) { m_skin.BeginSkinning(window.skn, window); });
    }
    return *m_splash;
}

QWidget* DesktopProgram::loadMainWindow()
{
    m_form1 = std::make_unique<Form1>(Form1::Services{*m_engine, m_identity, *m_registry, *m_placement, *this,
                                                      QCoreApplication::applicationFilePath()});
    connectMainWindow(*m_form1);

    QString error;
    if (!m_form1->Load(&error)) {
        fail(error);
        return nullptr;
    }
    Form1* form = m_form1.get();
    // Seen whole from its first frame, not as the screen beneath until its first paint.
    m_placement->paintBeforeMapping(form->winId(), [form] { return form->grab().toImage(); });
    // Setup mode asks through its own window, over the main window and its lists.
    m_prompt.setTarget(std::make_unique<SetupPrompt>(
        m_identity, m_engine->lists(), *m_onTop, [form] { return form->isOnTop() ? form->winId() : WId(0); },
        [this](Form3& prompt) { m_skin.ApplySkin(prompt); }));
    m_browsers = std::make_unique<BrowserConnections>(m_options.browsers, m_engine->windows(), m_err);
    connect(m_browsers.get(), &BrowserConnections::guardChanged, this, &DesktopProgram::showGuardStatus);
    connect(&m_engine->windows(), &ShellWindows::WindowRegistered, this, &DesktopProgram::showGuardStatus);
    connect(&m_engine->windows(), &ShellWindows::WindowRevoked, this, &DesktopProgram::showGuardStatus);
    showGuardStatus();
    if (!m_browsers->start(&error)) {
        fail(error, m_browsers->browserRunsUnguarded() ? kBrowserRunsUnguarded : 1);
        return nullptr;
    }
    // After the splash has shown it.
    if (!m_handedOver.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            for (const BrowserConnections::Options& asked : std::exchange(m_handedOver, {}))
                handOver(asked);
        });
    }
    return m_form1.get();
}

DesktopProgram::Refusal DesktopProgram::handOver(const BrowserConnections::Options& asked)
{
    if (!m_form1 || !m_browsers || m_form1->isUnloaded()) {
        if (!m_ending)
            m_handedOver.append(asked);
        return {};
    }
    if (!asked.launch && asked.browserUrls.isEmpty() && !asked.browserOwnProfile) {
        m_form1->ShowProgram();
        return {};
    }
    QString error;
    if (m_browsers->add(asked, &error))
        return {};
    m_err << error << Qt::endl;
    m_form1->ShowStatus(error);
    m_form1->ShowProgram();
    return {m_browsers->browserRunsUnguarded() ? kBrowserRunsUnguarded : 1, error};
}

void DesktopProgram::connectMainWindow(Form1& form)
{
    connect(&m_tray, &Module2::menuRequested, &form, &Form1::ShowTrayMenu);
    connect(&form, &Form1::AddToolsEntryRequested, this, [this] { m_tools->AddToolsEntry(); });
    connect(&form, &Form1::RemoveToolsEntryRequested, this, [this] { m_tools->RemoveToolsEntry(); });
    connect(&form, &Form1::HelpRequested, this, &DesktopProgram::showHelp);
    connect(&form, &Form1::AboutRequested, this, &DesktopProgram::showAbout);
    connect(&form, &Form1::VisitRequested, this, &DesktopProgram::showWebsite);
    connect(&form, &Form1::ProgramEnded, this, [this] { end(0); });
    connect(&form, &Form1::StartBrowserRequested, this, &DesktopProgram::startGuardedBrowser);
    connect(&form, &Form1::InstallLaunchersRequested, this, [this] {
        QStringList written;
        QString error;
        const GuardedLaunchers launchers(GuardedLaunchers::standardFolder(), QCoreApplication::applicationFilePath());
        const QString text = launchers.install(&written, &error)
                                 ? QStringLiteral("Guarded browsers added to the applications menu")
                                 : QStringLiteral("Guarded browsers not added: ") + error;
        m_err << text << Qt::endl;
        if (m_form1)
            m_form1->ShowStatus(text);
    });
}

void DesktopProgram::showGuardStatus()
{
    if (!m_browsers || !m_form1)
        return;
    const int browsers = m_browsers->guardedBrowsers();
    const QString text = BrowserConnections::guardText(browsers, int(m_engine->windows().windows().size()));
    if (text == m_form1->guardStatus())
        return;
    m_form1->ShowGuardStatus(text, browsers > 0);
    m_tray.setTip(text);
    m_err << text << Qt::endl;
}

void DesktopProgram::startGuardedBrowser()
{
    BrowserConnections::Options asked;
    asked.launch = true;
    asked.browserPath = m_options.browsers.browserPath;
    QString error;
    if (!m_browsers || !m_browsers->add(asked, &error)) {
        m_err << error << Qt::endl;
        if (m_form1)
            m_form1->ShowStatus(error);
    }
}

void DesktopProgram::AddTrayIcon(QWidget& window)
{
    // The icon is known by the key of the window's icon picture, as long as the window keeps it.
    const QIcon icon = window.windowIcon();
    // The tip says what is guarded, as the main window does.
    m_tray.AddTrayIcon(window, quintptr(icon.cacheKey()), icon,
                       m_form1 ? m_form1->guardStatus() : BrowserConnections::guardText(0, 0));
}

void DesktopProgram::RemoveTrayIcon(QWidget& window)
{
    m_tray.RemoveTrayIcon(quintptr(window.windowIcon().cacheKey()));
}

bool DesktopProgram::TrayIconShown() const
{
    return m_tray.hasIcon() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool DesktopProgram::InstallHook(QWidget& target, std::function<void()> pressed, QString* reason)
{
    return m_hook->InstallHook(target, std::move(pressed), reason);
}

void DesktopProgram::RemoveHook()
{
    m_hook->RemoveHook();
}

void DesktopProgram::ApplySkin(QWidget& window)
{
    m_skin.ApplySkin(window);
}

void DesktopProgram::StopSkinning()
{
    m_skin.StopSkinning();
}

void DesktopProgram::InstallBanner(WebView& banner, QLabel& picture)
{
    ::InstallBanner(m_webEngine, banner, picture, ScaleMode::Twips, m_identity.gBannerUrl);
}

void DesktopProgram::CheckToolsEntry()
{
    if (m_tools->CheckToolsEntry() == modIETools::EntryState::Different)
        m_err << "the browser Tools-menu entry names another copy of the program" << Qt::endl;
}

QWidget* DesktopProgram::ShowHelpWindow()
{
    return showHelp();
}

bool DesktopProgram::WebsiteWindowKeepsProgram()
{
    if (!m_website || !m_website->isVisible())
        return false;
    m_exitPending = true;
    return true;
}

QWidget* DesktopProgram::showHelp()
{
    return openOverMain(m_help, [this] {
        return new Form8(m_engine->settings(), *m_onTop, m_identity, ResourceLocator().path(QStringLiteral("Help.rtf")),
                         [this](QWidget& window) { m_skin.ApplySkin(window); });
    });
}

void DesktopProgram::showWebsite()
{
    // A second click shows the window again with the page it has. Its load leaves it a normal window even over a
    // topmost main window: it is meant to be used beside other windows.
    openSingle(m_website, [this] {
        auto* window = new frmWebsite(
            m_identity, *m_onTop, m_webEngine, [this] { return m_exitPending; }, [this] { end(0); },
            [this](QWidget& form) { m_skin.ApplySkin(form); });
        window->setStopSkinning([this] { m_skin.StopSkinning(); });
        return window;
    });
}

void DesktopProgram::showAbout()
{
    openOverMain(m_about, [this] {
        return new frmAbout(m_identity, ProductRecord::compiled(),
                            [this](frmAbout& window) { m_skin.ApplySkin(window); });
    });
}

void DesktopProgram::raiseOverMain(QWidget& window)
{
    if (m_form1 && m_form1->isOnTop())
        m_onTop->MakeTopMost(window.winId());
}

void DesktopProgram::fail(const QString& text, int exitCode)
{
    m_err << "cannot start: " << text << Qt::endl;
    // A screen nobody looks at gets no dialog that would wait for ever.
    const QString platform = QGuiApplication::platformName();
    if (platform != u"offscreen" && platform != u"minimal")
        QMessageBox::critical(nullptr, m_identity.gProgramName, QStringLiteral("Cannot start: ") + text);
    QTimer::singleShot(0, this, [this, exitCode] { emit finished(exitCode); });
}

void DesktopProgram::closeLikeExit()
{
    if (m_ending)
        return;
    m_ending = true;
    if (m_form1 && !m_form1->isUnloaded()) {
        m_form1->close();
        // The built-in browser window may keep the program going after an ordinary close; asked to end,
        // it ends.
        if (m_exitPending)
            end(0);
        return;
    }
    end(0);
}

void DesktopProgram::end(int exitCode)
{
    // Popups in flight are settled before the browsers are let go; a second request to end changes nothing.
    if (m_engineEnding)
        return;
    m_engineEnding = true;
    connect(m_engine.get(), &BlockingEngine::Ended, this, [this, exitCode] { emit finished(exitCode); });
    m_engine->End();
}
