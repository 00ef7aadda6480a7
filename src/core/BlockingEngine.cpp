#include "BlockingEngine.h"

#include "DecisionContext.h"
#include "Module1.h"
#include "SettingsStore.h"
#include "StoredOptions.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <limits>

BlockingEngine::BlockingEngine(Setup setup, SoundService& sound, PromptService& prompt, QTextStream& lines,
                               QObject* parent)
    : QObject(parent)
    , m_settings(std::move(setup.settings))
    , m_options(std::make_unique<StoredOptions>(*m_settings))
    , m_lists(std::make_unique<Module1>(m_state, setup.dataFolder, static_cast<StatusSink&>(*this)))
    , m_sound(std::make_unique<modPlaySound>(sound))
    , m_context(
          std::make_unique<DecisionContext>(m_state, *m_options, *m_sound, m_pump, prompt, std::move(setup.soundPath)))
    , m_lines(lines)
{
    LoadCount();
    connect(m_context.get(), &DecisionContext::Decided, this, &BlockingEngine::report);
    connect(m_context.get(), &DecisionContext::BlockedCountChanged, this, &BlockingEngine::saveCount);
    // An editor writes a file in several steps, and a rename over it comes as more than one event: one
    // reload a moment after the last.
    m_listReload.setSingleShot(true);
    m_listReload.setInterval(100);
    connect(&m_listReload, &QTimer::timeout, this, [this] {
        m_lists->allowed().reload();
        m_lists->disallowed().reload();
        watchLists();
    });
    connect(&m_listWatcher, &QFileSystemWatcher::fileChanged, this, &BlockingEngine::listFileChanged);
    connect(&m_listWatcher, &QFileSystemWatcher::directoryChanged, this, &BlockingEngine::listFileChanged);
}

BlockingEngine::~BlockingEngine()
{
    // Sinks first, then the decisions they feed; the browsers' windows last.
    m_tracker.reset();
    m_context.reset();
}

QString BlockingEngine::standardDataFolder(const QString& productName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + productName;
}

bool BlockingEngine::OpenLists(const QString& websiteHost, QString* error)
{
    if (!m_lists->CreateMissingFiles(websiteHost, error))
        return false;
    m_lists->LoadAllowedSites();
    m_lists->LoadDisallowedSites();
    watchLists();
    return true;
}

void BlockingEngine::watchLists()
{
    // A file replaced by a rename is a new file, no longer watched: its path is added again each time. The
    // folder too, for a file deleted and made again.
    QStringList paths{m_lists->allowed().path(), m_lists->disallowed().path(),
                      QFileInfo(m_lists->allowed().path()).absolutePath()};
    const QStringList watched = m_listWatcher.files() + m_listWatcher.directories();
    paths.removeIf([&watched](const QString& path) { return watched.contains(path) || !QFileInfo::exists(path); });
    if (!paths.isEmpty())
        m_listWatcher.addPaths(paths);
}

void BlockingEngine::listFileChanged()
{
    m_listReload.start();
}

void BlockingEngine::LoadCount()
{
    m_state.gBlockedCount = m_countSaved = m_settings->GetCount(SettingKeys::intStopped);
}

bool BlockingEngine::SaveCount()
{
    const qint64 blocked = qint64(m_state.gBlockedCount) - m_countSaved;
    qint32 total = m_state.gBlockedCount;
    const bool saved = m_settings->UpdateSetting(SettingKeys::intStopped.key(), [&](const QString& stored) {
        bool isNumber = false;
        const qint32 onFile = stored.trimmed().toInt(&isNumber);
        const qint64 sum = (isNumber ? qint64(onFile) : qint64(m_countSaved)) + blocked;
        total = qint32(std::clamp<qint64>(sum, 0, std::numeric_limits<qint32>::max()));
        return QString::number(total);
    });
    if (saved) {
        m_countSaved = total;
        m_state.gBlockedCount = total;
    }
    return saved;
}

void BlockingEngine::StartWatching()
{
    m_tracker.reset();
    m_tracker = std::make_unique<cIEWindows>(m_windows, *m_context);
}

void BlockingEngine::StopWatching()
{
    m_tracker.reset();
}

void BlockingEngine::End()
{
    if (m_ending)
        return;
    m_ending = true;
    m_context->EndWaiting();
    connect(&m_windows, &ShellWindows::closedDown, this, &BlockingEngine::finishEnding);
    QTimer::singleShot(kEndWait, this, &BlockingEngine::finishEnding);
    m_windows.closeDown();
}

void BlockingEngine::finishEnding()
{
    if (m_ended)
        return;
    m_ended = true;
    emit Ended();
}

bool BlockingEngine::ToggleAllowNext()
{
    m_state.gAllowNext = !m_state.gAllowNext;
    return m_state.gAllowNext;
}

void BlockingEngine::ShowStatus(const QString& text)
{
    emit Status(text);
}

void BlockingEngine::report(const QString& site, const QString& popupUrl, bool blocked)
{
    m_lines << (blocked ? "blocked" : "allowed") << '\t' << site << '\t' << popupUrl << Qt::endl;
    ++m_decisions;
    emit Decided(site, popupUrl, blocked);
}

void BlockingEngine::saveCount()
{
    // Saved at every block, so a program that is killed loses no count.
    if (SaveCount()) {
        m_countSaveFailed = false;
    } else if (!m_countSaveFailed) {
        m_countSaveFailed = true;
        ShowStatus(QStringLiteral("The count of blocked popups could not be saved"));
    }
    emit BlockedCountChanged(m_state.gBlockedCount);
}
