#include "PromptQueue.h"

#include "DecisionState.h"

#include <utility>

PromptQueue::PromptQueue(DecisionState& state, PromptService& service)
    : m_state(state)
    , m_service(service)
{}

PromptQueue::~PromptQueue()
{
    answerAllClosed();
}

void PromptQueue::CloseAll()
{
    if (m_open && m_current && *m_current) {
        m_open = false;
        m_service.WithdrawPrompt();
    }
    answerAllClosed();
}

void PromptQueue::answerAllClosed()
{
    m_closing = true;
    m_open = false;
    if (m_current && *m_current)
        std::exchange(*m_current, {})(false);
    auto waiting = std::exchange(m_waiting, {});
    for (Question& question : waiting)
        question.answer(false);
}

quint64 PromptQueue::Ask(const QString& site, Answer answer)
{
    const quint64 number = ++m_lastNumber;
    if (m_closing) {
        answer(false);
        return number;
    }
    if (m_open) {
        m_waiting.push_back({number, site, std::move(answer)});
        return number;
    }
    open({number, site, std::move(answer)});
    return number;
}

void PromptQueue::Withdraw(quint64 question)
{
    if (m_open && question == m_currentNumber && m_current && *m_current) {
        *m_current = {};
        m_open = false;
        m_service.WithdrawPrompt();
        answerWaiting();
        return;
    }
    std::erase_if(m_waiting, [question](const Question& waiting) { return waiting.number == question; });
}

void PromptQueue::open(Question question)
{
    m_open = true;
    m_currentNumber = question.number;
    // The service may answer at once (no window to show) or much later; a second answer is ignored.
    auto answer = std::make_shared<Answer>(std::move(question.answer));
    m_current = answer;
    m_service.ShowPrompt(question.site, [this, answer](bool allow) {
        if (!*answer)
            return; // answered already, or the queue is gone
        m_open = false;
        std::exchange(*answer, {})(allow);
        answerWaiting();
    });
}

void PromptQueue::answerWaiting()
{
    while (!m_open && !m_closing && !m_waiting.empty()) {
        Question next = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (m_state.gAllowedSites.covers(next.site))
            next.answer(true);
        else if (m_state.gDisallowedSites.covers(next.site))
            next.answer(false);
        else
            open(std::move(next));
    }
}
