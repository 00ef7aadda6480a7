#pragma once

#include "PromptService.h"

#include <QString>

#include <deque>
#include <memory>

struct DecisionState;

// Puts one question at a time to the user. A site asked about while the prompt is open waits for that
// answer, then is looked up in the lists again (an "Always" answer may have settled it) and, if still on
// neither, gets a prompt of its own. Every request gets exactly one answer.
class PromptQueue {
public:
    using Answer = PromptService::Answered;

    PromptQueue(DecisionState& state, PromptService& service);
    // The prompt on screen and the questions never put count as closed without an answer.
    ~PromptQueue();
    PromptQueue(const PromptQueue&) = delete;
    PromptQueue& operator=(const PromptQueue&) = delete;

    void Ask(const QString& site, Answer answer);
    bool isPromptOpen() const { return m_open; }
    std::size_t waiting() const { return m_waiting.size(); }

private:
    struct Question {
        QString site;
        Answer answer;
    };
    void open(Question question);
    void answerWaiting();

    DecisionState& m_state;
    PromptService& m_service;
    std::deque<Question> m_waiting;
    // The answer of the prompt on screen; emptied once given.
    std::shared_ptr<Answer> m_current;
    bool m_open = false;
    bool m_closing = false;
};
