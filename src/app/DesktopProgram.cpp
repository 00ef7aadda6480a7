#include "DesktopProgram.h"

#include "DecisionContext.h"
#include "Form1.h"
#include "Form8.h"
#include "HotKeyService.h"
#include "IniSettingsStore.h"
#include "LoopbackHttpServer.h"
#include "ProductRecord.h"
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
#include "modPlaySound.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>

DesktopProgram::DesktopProgram(Options options, QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
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
    m_browsers.reset();
}

bool DesktopProgram::start()
{
    const QString product = ProductRecord::compiled().ProductName;
    m_settings = std::make_unique<IniSettingsStore>(product);
    m_registry = createRegistry(RegistryLocation::standard(product));
    m_placement = createWindowPlacement();
    m_hotKeys = createHotKeyService();
    m_hook = std::make_unique<modHook>(*m_hotKeys);
    m_tools = std::make_unique<modIETools>(
        *m_registry, modIETools::Program{product, QCoreApplication::applicationFilePath(),
                                         ResourceLocator().path(QStringLiteral("icons/tarnwick-22.png"))});
    m_soundService = createSoundService();
    m_sound = std::make_unique<modPlaySound>(*m_soundService);

    if (m_options.demo) {
        m_demoSite = std::make_unique<LoopbackHttpServer>(ResourceLocator().path(QStringLiteral("demo")));
        if (!m_demoSite->listen()) {
            m_err << "cannot serve the demo page: " << m_demoSite->errorString() << Qt::endl;
            return false;
        }
        m_options.browsers.launch = true;
        m_options.browsers.openUrls.append(m_demoSite->url());
    }

    // Asked to end by the system, or the desktop session is ending: close as "Exit" does.
    m_termination = createTerminationWatcher();
    connect(m_termination.get(), &TerminationWatcher::terminationRequested, this, &DesktopProgram::closeLikeExit);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &DesktopProgram::closeLikeExit);

    splash().show();
    splash().Load();
    if (!m_options.decorated)
        m_state.gUseSkin = m_state.gShowBanner = false;
    return true;
}

frmSplash& DesktopProgram::splash()
{
    if (!m_splash) {
        m_splash = std::make_unique<frmSplash>(
            m_state, [this] { return loadMainWindow(); },
            [this](frmSplash& window) {
                if (m_options.decorated)
                    m_skin.BeginSkinning(window.skn, window);
            });
    }
    return *m_splash;
}

QWidget* DesktopProgram::loadMainWindow()
{
    const QString product = ProductRecord::compiled().ProductName;
    Form1::Services services{
        m_state,
        *m_settings,
        *m_registry,
        *m_placement,
        m_group,
        *m_sound,
        m_pump,
        m_prompt,
        ResourceLocator().path(QStringLiteral("sounds/pop.wav")),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + product,
        QCoreApplication::applicationFilePath(),
        hooks(),
    };
    m_form1 = std::make_unique<Form1>(std::move(services));
    connect(&m_tray, &Module2::menuRequested, m_form1.get(), &Form1::ShowTrayMenu);
    connectMenus(*m_form1);
    connect(&m_form1->decisions(), &DecisionContext::Decided, this,
            [this](const QString& site, const QString& popupUrl, bool blocked) {
                m_out << (blocked ? "blocked" : "allowed") << '\t' << site << '\t' << popupUrl << Qt::endl;
            });
    connect(m_form1.get(), &Form1::ProgramEnded, this, [this] { emit finished(0); });

    QString error;
    if (!m_form1->Load(&error)) {
        fail(error);
        return nullptr;
    }
    // Setup mode asks through its own window, over the main window and its lists.
    Form1* form = m_form1.get();
    m_prompt.setTarget(std::make_unique<SetupPrompt>(
        m_state, form->lists(), *form->onTop, [form] { return form->winId(); },
        [this](Form3& prompt) { m_skin.ApplySkin(prompt); }));
    m_browsers = std::make_unique<BrowserConnections>(m_options.browsers, m_group);
    connect(m_browsers.get(), &BrowserConnections::message, this,
            [this](const QString& text) { m_err << text << Qt::endl; });
    if (!m_browsers->start(&error)) {
        fail(error);
        return nullptr;
    }
    return m_form1.get();
}

Form1Hooks DesktopProgram::hooks()
{
    Form1Hooks hooks;
    // The icon is known by the key of the window's icon picture, as long as the window keeps it.
    hooks.AddTrayIcon = [this](Form1& form) {
        const QIcon icon = form.windowIcon();
        m_tray.AddTrayIcon(form, quintptr(icon.cacheKey()), icon, QStringLiteral("Animated TrayIcon"));
    };
    hooks.RemoveTrayIcon = [this](Form1& form) {
        m_tray.RemoveTrayIcon(quintptr(form.windowIcon().cacheKey()));
    };
    hooks.TrayIconShown = [this] {
        return m_tray.hasIcon() && QSystemTrayIcon::isSystemTrayAvailable();
    };
    hooks.InstallHook = [this](Form1& form, QString* reason) {
        return m_hook->InstallHook(
            *form.pctHotkey, [&form] { form.pctHotkey_MouseMove(); }, reason);
    };
    hooks.RemoveHook = [this] {
        m_hook->RemoveHook();
    };
    hooks.ApplySkin = [this](QWidget& form) {
        m_skin.ApplySkin(form);
    };
    hooks.StopSkinning = [this] {
        m_skin.StopSkinning();
    };
    hooks.InstallBanner = [this](Form1& form) {
        InstallBanner(*form.wbBanner, *form.wbPicture, ScaleMode::Twips, m_state.gBannerUrl);
    };
    hooks.CheckToolsEntry = [this] {
        if (m_tools->CheckToolsEntry() == modIETools::EntryState::Different)
            m_err << "the browser Tools-menu entry names another copy of the program" << Qt::endl;
    };
    hooks.ShowHelpWindow = [this] {
        return showHelp();
    };
    return hooks;
}

void DesktopProgram::connectMenus(Form1& form)
{
    connect(form.mnuToolsItem[0], &QAction::triggered, this, [this] { m_tools->AddToolsEntry(); });
    connect(form.mnuToolsItem[1], &QAction::triggered, this, [this] { m_tools->RemoveToolsEntry(); });
    connect(form.mnuHelpItem, &QAction::triggered, this, &DesktopProgram::showHelp);
    connect(form.mnuAboutItem, &QAction::triggered, this, &DesktopProgram::showAbout);
    connect(form.Command7, &QToolButton::clicked, this, &DesktopProgram::showWebsite);
}

QWidget* DesktopProgram::showHelp()
{
    return openOverMain(m_help, [this] {
        return new Form8(*m_settings, *m_form1->onTop, m_state, ResourceLocator().path(QStringLiteral("Help.rtf")),
                         [this](QWidget& window) { m_skin.ApplySkin(window); });
    });
}

void DesktopProgram::showWebsite()
{
    // A second click shows the window again with the page it has. Its load leaves it a normal window even over a
    // topmost main window: it is meant to be used beside other windows.
    openSingle(m_website, [this] {
        auto* window = new frmWebsite(
            m_state, *m_form1->onTop, [this] { emit finished(0); }, [this](QWidget& form) { m_skin.ApplySkin(form); });
        window->setStopSkinning([this] { m_skin.StopSkinning(); });
        return window;
    });
}

void DesktopProgram::showAbout()
{
    openOverMain(m_about, [this] {
        return new frmAbout(m_state, ProductRecord::compiled(), [this](frmAbout& window) { m_skin.ApplySkin(window); });
    });
}

void DesktopProgram::raiseOverMain(QWidget& window)
{
    m_form1->onTop->MakeTopMost(window.winId());
}

void DesktopProgram::fail(const QString& text)
{
    m_err << "cannot start: " << text << Qt::endl;
    // A screen nobody looks at gets no dialog that would wait for ever.
    const QString platform = QGuiApplication::platformName();
    if (platform != u"offscreen" && platform != u"minimal")
        QMessageBox::critical(nullptr, ProductRecord::compiled().ProductName, QStringLiteral("Cannot start: ") + text);
    QTimer::singleShot(0, this, [this] { emit finished(1); });
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
        if (m_state.gExitPending)
            emit finished(0);
        return;
    }
    emit finished(0);
}
