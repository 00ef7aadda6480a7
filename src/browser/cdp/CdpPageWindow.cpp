#include "CdpPageWindow.h"

#include "CdpBrowser.h"

#include <QUrl>

#include <utility>

namespace {
// Popups whose targets never came (the browser refused them) must not pile up.
constexpr qsizetype kMaxWindowOpens = 16;

// The address a document is requested at: the browser never sends the fragment.
QString withoutFragment(const QString& url)
{
    return QUrl(url).adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}
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

void CdpPageWindow::noteUserClick(const QString& link)
{
    m_userLink = link.isEmpty() ? QString() : withoutFragment(link);
}

bool CdpPageWindow::noteNewTabAsk(const QString& url)
{
    const QString address = withoutFragment(url);
    if (address.isEmpty())
        return false;
    if (!m_userLink.isEmpty() && address == m_userLink) {
        // The user's click asked for this tab: once.
        m_userLink.clear();
        return false;
    }
    if (m_newTabAsks.size() >= kMaxWindowOpens)
        m_newTabAsks.removeFirst();
    m_newTabAsks.append(address);
    return true;
}

bool CdpPageWindow::takeNewTabAsk(const QString& url)
{
    return m_newTabAsks.removeOne(withoutFragment(url));
}
