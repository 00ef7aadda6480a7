#pragma once

#include "Form3.h"
#include "PromptService.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

struct ProductIdentity;
class Module1;
class clsOnTop;

// The setup-mode prompt service of the desktop program: each question gets a fresh Form3, shown without
// blocking anything, and its answer is passed on once, when the user answers or closes the window.
class SetupPrompt : public PromptService {
public:
    // The main window's id while it is held on top of all others, else 0.
    using MainWindowId = std::function<WId()>;

    SetupPrompt(const ProductIdentity& identity, Module1& lists, clsOnTop& onTop, MainWindowId topmostMainWindow,
                Form3::SkinHook skin = {});
    // A prompt still open counts as closed without an answer: it blocks.
    ~SetupPrompt() override;
    SetupPrompt(const SetupPrompt&) = delete;
    SetupPrompt& operator=(const SetupPrompt&) = delete;

    void ShowPrompt(const QString& site, Answered answered) override;
    // Closes the prompt on screen without an answer.
    void WithdrawPrompt() override;

    // The prompt on screen, or nullptr.
    Form3* current() const;

private:
    const ProductIdentity& m_identity;
    Module1& m_lists;
    clsOnTop& m_onTop;
    MainWindowId m_topmostMainWindow;
    Form3::SkinHook m_skin;
    // Every window not yet deleted, answered ones included until their deferred delete runs.
    std::vector<QPointer<Form3>> m_windows;
    bool m_closing = false;
};
