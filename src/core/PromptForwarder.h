#pragma once

#include "PromptService.h"

#include <memory>

// Passes each question on to a prompt service plugged in later, once the window that shows the prompt
// exists. A question that comes before, or after the service is unplugged, counts as closed unanswered.
class PromptForwarder : public PromptService {
public:
    void setTarget(std::unique_ptr<PromptService> target) { m_target = std::move(target); }
    void ShowPrompt(const QString& site, Answered answered) override
    {
        if (m_target)
            m_target->ShowPrompt(site, std::move(answered));
        else
            answered(false);
    }
    void WithdrawPrompt() override
    {
        if (m_target)
            m_target->WithdrawPrompt();
    }

private:
    std::unique_ptr<PromptService> m_target;
};
