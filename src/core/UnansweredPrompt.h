#pragma once

#include "PromptService.h"

// Where nobody can answer the setup-mode prompt: every question is a prompt closed unanswered, which
// blocks the popup and changes no list.
class UnansweredPrompt : public PromptService {
public:
    void ShowPrompt(const QString&, Answered answered) override { answered(false); }
    void WithdrawPrompt() override {}
};
