#include "BlockingEngine.h"

#include "DecisionContext.h"
#include "Module1.h"
#include "SettingsStore.h"
#include "StoredOptions.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

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
    m_state.gBlockedCount = m_settings->GetCount(SettingKeys::intStopped);
    connect(m_context.get(), &DecisionContext::Decided, this, &BlockingEngine::report);
    connect(m_context.get(), &DecisionContext::BlockedCountChanged, this, &BlockingEngine::saveCount);
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
    return true;
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

void BlockingEngine::saveCount(qint32 count)
{
    // Saved at every block, so a program that is killed loses no count.
    if (m_settings->SaveSetting(SettingKeys::intStopped, QString::number(count))) {
        m_countSaveFailed = false;
    } else if (!m_countSaveFailed) {
        m_countSaveFailed = true;
        ShowStatus(QStringLiteral("The count of blocked popups could not be saved"));
    }
    emit BlockedCountChanged(count);
}
