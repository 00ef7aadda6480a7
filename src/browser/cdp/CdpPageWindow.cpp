#include "CdpPageWindow.h"

#include "CdpBrowser.h"

#include <utility>

namespace {
// Popups whose targets never came (the browser refused them) must not pile up.
constexpr qsizetype kMaxWindowOpens = 16;
} // namespace

CdpPageWindow::CdpPageWindow(CdpBrowser* browser, QString targetId, QString sessionId, QString url)
    : m_browser(browser)
    , m_targetId(std::move(targetId))
    , m_sessionId(std::move(sessionId))
    , m_url(std::move(url))
{}

void CdpPageWindow::Quit()
{
    if (m_browser)
        m_browser->closeTarget(m_targetId);
}

void CdpPageWindow::noteWindowOpen(const WindowOpen& open)
{
    if (m_windowOpens.size() >= kMaxWindowOpens)
        m_windowOpens.removeFirst();
    m_windowOpens.append(open);
}

CdpPageWindow::WindowOpen CdpPageWindow::takeWindowOpen()
{
    return m_windowOpens.isEmpty() ? WindowOpen{} : m_windowOpens.takeFirst();
}
