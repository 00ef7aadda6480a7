#pragma once

#include <QString>

#include <functional>

// Asks the user about a site that is on neither list. The answer comes later, once: true to allow the
// popup; false when the user blocked it or closed the prompt without answering.
class PromptService {
public:
    using Answered = std::function<void(bool allow)>;
    virtual ~PromptService() = default;
    virtual void ShowPrompt(const QString& site, Answered answered) = 0;
    // The question on screen is no longer wanted (its popup went away): it goes without an answer, and the
    // answer it was shown with is never given.
    virtual void WithdrawPrompt() = 0;
};
