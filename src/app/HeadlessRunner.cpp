#include "HeadlessRunner.h"

#include "BrowserDiscovery.h"
#include "BrowserLauncher.h"
#include "CdpBrowser.h"
#include "DecisionContext.h"
#include "IniSettingsStore.h"
#include "Module1.h"
#include "PipeTransport.h"
#include "PromptService.h"
#include "ResourceLocator.h"
#include "SoundService.h"
#include "StatusSink.h"
#include "StoredOptions.h"
#include "TerminationWatcher.h"
#include "VersionRecord.h"
#include "WebSocketTransport.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QDir>
#include <QStandardPaths>
#include <QTimer>

namespace {

// Messages for the user go to standard error.
class ErrorStreamStatus : public StatusSink {
public:
    explicit ErrorStreamStatus(QTextStream& err)
        : m_err(err)
    {}
    void ShowStatus(const QString& text) override { m_err << text << Qt::endl; }

private:
    QTextStream& m_err;
};

// Nobody is there to answer: a site on neither list in setup mode is a prompt closed unanswered.
class UnansweredPrompt : public PromptService {
public:
    void ShowPrompt(const QString&, Answered answered) override { answered(false); }
};

QString productName()
{
    return QString::fromUtf8(VersionRecord::ProductName);
}

} // namespace

HeadlessRunner::HeadlessRunner(Options options, QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err)
{}

HeadlessRunner::~HeadlessRunner()
{
    // Sinks first, then the decisions they feed, then the browsers.
    m_tracker.reset();
    m_context.reset();
    m_discovery.reset();
}

bool HeadlessRunner::start()
{
    if (!openStores())
        return false;
    m_popupOptions = std::make_unique<StoredOptions>(*m_settings);
    m_soundService = createSoundService();
    m_sound = std::make_unique<modPlaySound>(*m_soundService);
    m_prompt = std::make_unique<UnansweredPrompt>();
    m_context = std::make_unique<DecisionContext>(m_state, *m_popupOptions, *m_sound, m_pump, *m_prompt,
                                                  ResourceLocator().path(QStringLiteral("sounds/pop.wav")));
    connect(m_context.get(), &DecisionContext::Decided, this, &HeadlessRunner::report);
    connect(m_context.get(), &DecisionContext::BlockedCountChanged, this, &HeadlessRunner::saveCount);
    m_tracker = std::make_unique<cIEWindows>(m_group, *m_context);

    m_termination = createTerminationWatcher();
    connect(m_termination.get(), &TerminationWatcher::terminationRequested, this, [this] { emit finished(0); });
    return connectBrowsers();
}

bool HeadlessRunner::openStores()
{
    QString dataFolder;
    if (m_options.demo) {
        // The demo leaves the user's own settings and lists alone.
        m_demoFolder = std::make_unique<QTemporaryDir>();
        if (!m_demoFolder->isValid()) {
            m_err << "cannot create a temporary folder for the demo: " << m_demoFolder->errorString() << Qt::endl;
            return false;
        }
        dataFolder = m_demoFolder->filePath(QStringLiteral("data"));
        m_settings = std::make_unique<IniSettingsStore>(
            IniSettingsStore::atPath(m_demoFolder->filePath(QStringLiteral("settings.ini"))));
        m_settings->SaveSetting(QStringLiteral("chkStopPop"), QStringLiteral("1"));
        m_settings->SaveSetting(QStringLiteral("chkAuto"), QStringLiteral("0"));
        m_settings->SaveSetting(QStringLiteral("chkLinks"), QStringLiteral("1"));
        m_settings->SaveSetting(QStringLiteral("chkSound"), QStringLiteral("0"));
    } else {
        dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + productName();
        m_settings = std::make_unique<IniSettingsStore>(productName());
    }
    m_state.gBlockedCount = m_settings->GetCount(QStringLiteral("intStopped"), 0);

    m_status = std::make_unique<ErrorStreamStatus>(m_err);
    m_lists = std::make_unique<Module1>(m_state, dataFolder, *m_status);
    QString error;
    if (!m_lists->CreateMissingFiles(QString::fromUtf8(VersionRecord::Comments), &error)) {
        m_err << "cannot start: " << error << Qt::endl;
        return false;
    }
    // A list that cannot be read has been said; the program still blocks everything not allowed.
    m_lists->LoadAllowedSites();
    m_lists->LoadDisallowedSites();
    return true;
}

bool HeadlessRunner::connectBrowsers()
{
    if (!m_options.launch && m_options.browserUrls.isEmpty()) {
        if (!m_options.openUrls.isEmpty()) {
            m_err << "--open needs --launch" << Qt::endl;
            return false;
        }
        // Every browser that publishes its DevTools in a known profile, now or later.
        m_discovery = std::make_unique<BrowserDiscovery>(m_group);
        connect(m_discovery.get(), &BrowserDiscovery::message, this, [this](const QString& text) {
            m_err << text << Qt::endl;
        });
        connect(m_discovery.get(), &BrowserDiscovery::browserFound, this,
                [this](const QString& profile, const QUrl& endpoint) {
                    m_err << "watching the browser of " << profile << " (" << endpoint.toString() << ")" << Qt::endl;
                });
        connect(m_discovery.get(), &BrowserDiscovery::browserLost, this,
                [this](const QString& profile, const QString& reason) {
                    m_err << "lost the browser of " << profile << ": " << reason << Qt::endl;
                });
        m_err << "looking for browsers with DevTools enabled (--remote-debugging-port) in their usual profiles"
              << Qt::endl;
        m_discovery->start();
        return true;
    }
    for (const QString& url : std::as_const(m_options.browserUrls)) {
        QString error;
        auto transport = WebSocketTransport::connectTo(url, &error);
        if (!transport) {
            m_err << "cannot connect to " << url << ": " << error << Qt::endl;
            return false;
        }
        watch(std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)), url), false, url);
    }
    if (m_options.launch) {
        BrowserLauncher::Options launch;
        launch.browserPath = m_options.browserPath;
        launch.discardOutput = true;
        if (m_demoFolder)
            launch.profileDir = m_demoFolder->filePath(QStringLiteral("browser-profile"));
        QString error;
        auto transport = BrowserLauncher().launch(launch, &error);
        if (!transport) {
            m_err << error << Qt::endl;
            return false;
        }
        auto browser = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)),
                                                    QStringLiteral("launched browser"));
        m_launched = browser.get();
        connect(m_launched, &CdpBrowser::ready, this, [this] {
            for (const QString& url : std::as_const(m_options.openUrls))
                m_launched->openPage(url);
        });
        watch(std::move(browser), true, QStringLiteral("the launched browser"));
    } else if (!m_options.openUrls.isEmpty()) {
        m_err << "--open needs --launch" << Qt::endl;
        return false;
    }
    return true;
}

void HeadlessRunner::watch(std::unique_ptr<CdpBrowser> browser, bool launched, const QString& name)
{
    CdpBrowser* raw = browser.get();
    connect(raw, &CdpBrowser::disconnected, this,
            [this, raw, launched, name](const QString& reason) { browserLost(raw, launched, name, reason); });
    raw->start();
    m_group.add(std::move(browser));
}

void HeadlessRunner::browserLost(CdpBrowser* browser, bool launched, const QString& name, const QString& reason)
{
    if (launched) {
        // The user closed the browser the program started for them: the work is done.
        m_err << name << " has ended (" << reason << ")" << Qt::endl;
        emit finished(0);
        return;
    }
    m_err << "lost the connection to " << name << ": " << reason << Qt::endl;
    // Not from inside the browser's own signal.
    QTimer::singleShot(0, this, [this, browser] {
        m_group.remove(browser);
        if (m_group.memberCount() == 0) {
            m_err << "no browser left to watch" << Qt::endl;
            emit finished(1);
        }
    });
}

void HeadlessRunner::report(const QString& site, const QString& popupUrl, bool blocked)
{
    m_out << (blocked ? "blocked" : "allowed") << '\t' << site << '\t' << popupUrl << Qt::endl;
    emit decided(++m_decisions);
}

void HeadlessRunner::saveCount(qint32 count)
{
    if (m_settings->SaveSetting(QStringLiteral("intStopped"), QString::number(count))) {
        m_countSaveFailed = false;
    } else if (!m_countSaveFailed) {
        m_countSaveFailed = true;
        m_err << "cannot save the blocked count to " << m_settings->fileName() << Qt::endl;
    }
}
