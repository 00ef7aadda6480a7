#include "HeadlessRunner.h"

#include "BlockingEngine.h"
#include "BrowserConnections.h"
#include "LoopbackHttpServer.h"
#include "ProductRecord.h"
#include "ProgramFiles.h"
#include "SettingsStore.h"
#include "SoundService.h"
#include "TerminationWatcher.h"

HeadlessRunner::HeadlessRunner(Options options, QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
{}

HeadlessRunner::~HeadlessRunner()
{
    // The engine's sinks go before the browsers whose windows they watch.
    m_engine.reset();
    m_browsers.reset();
}

CdpBrowser* HeadlessRunner::launchedBrowser() const
{
    return m_browsers ? m_browsers->launchedBrowser() : nullptr;
}

bool HeadlessRunner::browserRunsUnguarded() const
{
    return m_browsers && m_browsers->browserRunsUnguarded();
}

bool HeadlessRunner::start()
{
    BlockingEngine::Setup setup;
    if (m_options.demo) {
        m_demoSite = ProgramFiles::serveDemoSite(m_err);
        if (!m_demoSite)
            return false;
        // The demo driver opens the site once the launched browser is ready.
        m_options.launch = true;
        // The demo leaves the user's own settings and lists alone, and shows the link exception.
        m_demoFolder = std::make_unique<QTemporaryDir>();
        if (!m_demoFolder->isValid()) {
            m_err << "cannot create a temporary folder for the demo: " << m_demoFolder->errorString() << Qt::endl;
            return false;
        }
        setup = ProgramFiles::setupIn(m_demoFolder->path());
        setup.settings->SaveSetting(SettingKeys::chkStopPop, QStringLiteral("1"));
        setup.settings->SaveSetting(SettingKeys::chkAuto, QStringLiteral("0"));
        setup.settings->SaveSetting(SettingKeys::chkLinks, QStringLiteral("1"));
        setup.settings->SaveSetting(SettingKeys::chkSound, QStringLiteral("0"));
    } else {
        QString error;
        setup = ProgramFiles::userSetup(&error);
        if (!setup.settings) {
            m_err << "cannot start: " << error << Qt::endl;
            return false;
        }
    }

    m_soundService = createSoundService();
    m_engine = std::make_unique<BlockingEngine>(std::move(setup), *m_soundService, m_prompt, m_out);
    connect(m_engine.get(), &BlockingEngine::Status, this, [this](const QString& text) { m_err << text << Qt::endl; });
    QString error;
    if (!m_engine->OpenLists(ProductRecord::compiled().Comments, &error)) {
        m_err << "cannot start: " << error << Qt::endl;
        return false;
    }
    m_engine->StartWatching();

    m_termination = createTerminationWatcher();
    connect(m_termination.get(), &TerminationWatcher::terminationRequested, this, [this] { end(0); });
    return connectBrowsers();
}

BrowserConnections::Options HeadlessRunner::Options::browsers() const
{
    BrowserConnections::Options browsers;
    browsers.launch = launch;
    browsers.browserPath = browserPath;
    browsers.browserOwnProfile = browserOwnProfile;
    browsers.browserUrls = browserUrls;
    browsers.openUrls = openUrls;
    return browsers;
}

bool HeadlessRunner::connectBrowsers()
{
    BrowserConnections::Options options = m_options.browsers();
    if (m_demoFolder)
        options.launchProfile = m_demoFolder->filePath(QStringLiteral("browser-profile"));
    m_browsers = std::make_unique<BrowserConnections>(options, m_engine->windows(), m_err);
    // The user closed the browser the program started for them: the work is done.
    connect(m_browsers.get(), &BrowserConnections::launchedBrowserEnded, this, [this] { end(0); });
    connect(m_browsers.get(), &BrowserConnections::noBrowserLeft, this, [this] { end(1); });
    QString error;
    if (!m_browsers->start(&error)) {
        m_err << error << Qt::endl;
        return false;
    }
    return true;
}

void HeadlessRunner::end(int exitCode)
{
    // Popups in flight are settled before the browsers are let go; a second request to end changes nothing.
    if (m_ending)
        return;
    m_ending = true;
    connect(m_engine.get(), &BlockingEngine::Ended, this, [this, exitCode] { emit finished(exitCode); });
    m_engine->End();
}
