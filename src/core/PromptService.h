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
};
