#pragma once

#include "PromptService.h"

#include <QString>

#include <deque>
#include <memory>

struct DecisionState;

// Puts one question at a time to the user. A site asked about while the prompt is open waits for that
// answer, then is looked up in the lists again (an "Always" answer may have settled it) and, if still on
// neither, gets a prompt of its own. Every question gets exactly one answer, unless it is withdrawn first.
class PromptQueue {
public:
    using Answer = PromptService::Answered;

    PromptQueue(DecisionState& state, PromptService& service);
    // The prompt on screen and the questions never put count as closed without an answer.
    ~PromptQueue();
    PromptQueue(const PromptQueue&) = delete;
    PromptQueue& operator=(const PromptQueue&) = delete;

    // Returns the question's number, by which it can be withdrawn.
    quint64 Ask(const QString& site, Answer answer);
    // The question is no longer wanted (its popup went away): its answer is never given. On screen, its
    // prompt goes away, and the next question comes.
    void Withdraw(quint64 question);
    // The program is ending: the prompt on screen goes away, and it and every question still waiting are
    // answered as closed without an answer (blocked). Questions asked from now on are answered so at once.
    void CloseAll();
    bool isPromptOpen() const { return m_open; }
    std::size_t waiting() const { return m_waiting.size(); }

private:
    struct Question {
        quint64 number;
        QString site;
        Answer answer;
    };
    void open(Question question);
    void answerWaiting();
    void answerAllClosed();

    DecisionState& m_state;
    PromptService& m_service;
    std::deque<Question> m_waiting;
    // The answer of the prompt on screen; emptied once given.
    std::shared_ptr<Answer> m_current;
    quint64 m_currentNumber = 0;
    quint64 m_lastNumber = 0;
    bool m_open = false;
    bool m_closing = false;
};
