#include "BannerPane.h"

#include <QEvent>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

BannerPane::BannerPane(QWebEngineView& view, QUrl url)
    : QObject(&view)
    , m_view(view)
    , m_url(std::move(url))
    , m_window(view.window())
{
    m_window->installEventFilter(this);
    follow();
}

BannerPane::~BannerPane()
{
    // The view is going with us and no longer to be touched: only the page and then its profile are left.
    m_page.reset();
    m_profile.reset();
}

bool BannerPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            follow();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool BannerPane::windowShown() const
{
    return m_window->isVisible() && !m_window->isMinimized();
}

void BannerPane::follow()
{
    if (!windowShown()) {
        release();
        return;
    }
    // After the show is over: the window is on screen, painted, before the web engine starts.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (windowShown())
                load();
        },
        Qt::QueuedConnection);
}

void BannerPane::load()
{
    if (!m_page) {
        // Off the record: nothing of the banner is kept on disk between shows.
        m_profile = std::make_unique<QWebEngineProfile>();
        m_page = std::make_unique<QWebEnginePage>(m_profile.get());
        m_view.setPage(m_page.get());
        m_page->load(m_url);
    }
    m_view.show();
}

void BannerPane::release()
{
    // A view shown without a page makes one in the web engine's default profile, so it stays hidden.
    m_view.hide();
    if (!m_page)
        return;
    m_view.setPage(nullptr);
    m_page.reset();
    m_profile.reset();
}
