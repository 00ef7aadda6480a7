#include "HeadlessRunner.h"

#include "BrowserConnections.h"
#include "CdpBrowser.h"
#include "DecisionContext.h"
#include "IniSettingsStore.h"
#include "Module1.h"
#include "PromptService.h"
#include "ResourceLocator.h"
#include "SoundService.h"
#include "StatusSink.h"
#include "StoredOptions.h"
#include "TerminationWatcher.h"
#include "UnansweredPrompt.h"
#include "VersionRecord.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QDir>
#include <QStandardPaths>

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
    m_browsers.reset();
}

CdpBrowser* HeadlessRunner::launchedBrowser() const
{
    return m_browsers ? m_browsers->launchedBrowser() : nullptr;
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
    BrowserConnections::Options options;
    options.launch = m_options.launch;
    options.browserPath = m_options.browserPath;
    options.browserUrls = m_options.browserUrls;
    options.openUrls = m_options.openUrls;
    if (m_demoFolder)
        options.launchProfile = m_demoFolder->filePath(QStringLiteral("browser-profile"));
    m_browsers = std::make_unique<BrowserConnections>(options, m_group);
    connect(m_browsers.get(), &BrowserConnections::message, this,
            [this](const QString& text) { m_err << text << Qt::endl; });
    // The user closed the browser the program started for them: the work is done.
    connect(m_browsers.get(), &BrowserConnections::launchedBrowserEnded, this, [this] { emit finished(0); });
    connect(m_browsers.get(), &BrowserConnections::noBrowserLeft, this, [this] { emit finished(1); });
    QString error;
    if (!m_browsers->start(&error)) {
        m_err << error << Qt::endl;
        return false;
    }
    return true;
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
