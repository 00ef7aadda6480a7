#include "DecisionContext.h"

#include "DecisionState.h"
#include "MessagePump.h"
#include "NewWindowRequest.h"
#include "PopupOptions.h"
#include "PromptQueue.h"
#include "modPlaySound.h"

#include <limits>
#include <utility>

DecisionContext::DecisionContext(DecisionState& state, const PopupOptions& options, modPlaySound& sound,
                                 MessagePump& pump, PromptService& prompt, QString soundPath, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_options(options)
    , m_sound(sound)
    , m_pump(pump)
    , m_soundPath(std::move(soundPath))
    , m_prompts(std::make_unique<PromptQueue>(state, prompt))
{}

DecisionContext::~DecisionContext()
{
    // Decisions still waiting for the user end here, as blocked, while everything they use is alive.
    m_prompts.reset();
}

void DecisionContext::Block(const std::shared_ptr<NewWindowRequest>& request, const QString& site)
{
    // The count stops at its largest value; the popup is blocked all the same.
    if (m_state.gBlockedCount < std::numeric_limits<qint32>::max())
        ++m_state.gBlockedCount;
    emit BlockedCountChanged(m_state.gBlockedCount);
    if (!m_ending) {
        m_pump.ProcessPending();
        if (m_options.BlockSound())
            m_sound.PlaySound(m_soundPath);
    }
    request->setCancel(true);
    finish(request, site);
}

void DecisionContext::Allow(const std::shared_ptr<NewWindowRequest>& request, const QString& site)
{
    request->setCancel(false);
    finish(request, site);
}

void DecisionContext::Pass(const std::shared_ptr<NewWindowRequest>& request, const QString& site)
{
    finish(request, site);
}

void DecisionContext::EndWaiting()
{
    m_ending = true;
    m_prompts->CloseAll();
}

void DecisionContext::finish(const std::shared_ptr<NewWindowRequest>& request, const QString& site)
{
    request->settle();
    emit Decided(site, request->popupUrl(), request->Cancel());
}
