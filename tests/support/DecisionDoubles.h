#pragma once

#include "MessagePump.h"
#include "PopupOptions.h"
#include "PromptService.h"

#include <QList>
#include <QString>
#include <QTimer>

#include <optional>

// Options as plain flags the test sets: blocking on, the rest off.
struct FakeOptions : PopupOptions {
    bool check1 = true, check2 = false, check5 = false, check6 = false;
    bool PopupBlocking() const override { return check1; }
    bool SetupMode() const override { return check2; }
    bool BlockSound() const override { return check5; }
    bool LinkException() const override { return check6; }
};

// Counts the passes instead of running events.
struct CountingPump : MessagePump {
    int passes = 0;
    void ProcessPending() override { ++passes; }
};

// A prompt the test answers by hand, or on the event loop's next turn when told to.
struct ManualPrompt : PromptService {
    struct Shown {
        QString site;
        Answered answered;
    };
    QList<Shown> shown;
    int withdrawn = 0;
    std::optional<bool> answerSoon;
    void ShowPrompt(const QString& site, Answered answered) override
    {
        shown.append({site, std::move(answered)});
        if (answerSoon) {
            const qsizetype index = shown.size() - 1;
            QTimer::singleShot(0, [this, index, allow = *answerSoon] { answer(index, allow); });
        }
    }
    void answer(qsizetype index, bool allow) { shown[index].answered(allow); }
    void WithdrawPrompt() override { ++withdrawn; }
};
