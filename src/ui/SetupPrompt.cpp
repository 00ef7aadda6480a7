#include "SetupPrompt.h"

#include <QApplication>

#include <algorithm>
#include <memory>
#include <utility>

SetupPrompt::SetupPrompt(const ProductIdentity& identity, Module1& lists, clsOnTop& onTop,
                         MainWindowId topmostMainWindow, Form3::SkinHook skin)
    : m_identity(identity)
    , m_lists(lists)
    , m_onTop(onTop)
    , m_topmostMainWindow(std::move(topmostMainWindow))
    , m_skin(std::move(skin))
{}

SetupPrompt::~SetupPrompt()
{
    // Closing answers; an answer may bring the next question, which finds the service closing.
    m_closing = true;
    const auto windows = std::exchange(m_windows, {});
    for (const QPointer<Form3>& window : windows) {
        if (window && !window->isAnswered())
            window->close();
        delete window.data();
    }
}

void SetupPrompt::ShowPrompt(const QString& site, Answered answered)
{
    if (m_closing) {
        answered(false);
        return;
    }
    std::erase_if(m_windows, [](const QPointer<Form3>& window) { return window.isNull(); });
    auto* window =
        new Form3(site, m_identity, m_lists, m_onTop, m_topmostMainWindow ? m_topmostMainWindow() : WId(0), m_skin);
    m_windows.emplace_back(window);
    // Held apart from the window, so the answer outlives whatever the receiver does to the window.
    auto pending = std::make_shared<Answered>(std::move(answered));
    QObject::connect(window, &Form3::answered, window, [window, pending](bool allow) {
        if (!*pending)
            return;
        window->deleteLater();
        std::exchange(*pending, {})(allow);
    });
    window->Load();
    // Someone typing in another program keeps the keyboard: a key meant for the browser must never answer
    // the prompt. It still comes to the front, and takes the keyboard when the program's own window had it.
    const bool ownWindowActive = QApplication::activeWindow() != nullptr;
    window->setAttribute(Qt::WA_ShowWithoutActivating, !ownWindowActive);
    window->show();
    window->raise();
    if (ownWindowActive)
        window->activateWindow();
}

void SetupPrompt::WithdrawPrompt()
{
    Form3* window = current();
    if (!window)
        return;
    // Closed without passing on the answer that closing gives.
    QObject::disconnect(window, &Form3::answered, nullptr, nullptr);
    window->close();
    window->deleteLater();
}

Form3* SetupPrompt::current() const
{
    for (const QPointer<Form3>& window : m_windows) {
        if (window && !window->isAnswered())
            return window.data();
    }
    return nullptr;
}
