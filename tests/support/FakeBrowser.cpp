#include "FakeBrowser.h"

#include <utility>

FakeBrowserWindow::FakeBrowserWindow(QString location)
    : m_location(std::move(location))
{}

void FakeBrowserWindow::Quit()
{
    m_quit = true;
}

FakeBrowserWindow::Popup FakeBrowserWindow::openPopup(const QString& popupUrl, bool userGesture)
{
    Popup popup;
    auto outcome = popup.cancelled;
    auto request = std::make_shared<NewWindowRequest>(
        popupUrl, [outcome](bool cancel) { *outcome = cancel; }, userGesture);
    popup.request = request;
    if (m_shell)
        emit m_shell->NewWindowComing();
    emit NewWindow2(std::move(request));
    return popup;
}

std::shared_ptr<FakeBrowserWindow> FakeShellWindows::open(const QString& location)
{
    auto window = std::make_shared<FakeBrowserWindow>(location);
    window->setShell(this);
    m_windows.append(window);
    emit WindowRegistered(++m_cookie);
    return window;
}

void FakeShellWindows::close(const std::shared_ptr<BrowserWindow>& window)
{
    if (m_windows.removeOne(window))
        emit WindowRevoked(++m_cookie);
}
