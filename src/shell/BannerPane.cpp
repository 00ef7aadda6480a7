#include "BannerPane.h"

#include "WebView.h"

#include <QEvent>

BannerPane::BannerPane(WebEngineSource& engine, WebView& view, QUrl url)
    : QObject(&view)
    , m_engine(engine)
    , m_view(view)
    , m_url(std::move(url))
    , m_window(view.window())
{
    m_window->installEventFilter(this);
    follow();
}

// The view is going with us and lets its page go itself.
BannerPane::~BannerPane() = default;

bool BannerPane::loaded() const
{
    return m_view.isOpen();
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
    // Off the record: nothing of the banner is kept on disk between shows. A view that cannot have its page
    // says why in the page's place.
    if (!m_view.isOpen() && m_view.open(m_engine, WebEngineModule::Profile::Private))
        m_view.load(m_url);
    m_view.show();
}

void BannerPane::release()
{
    // Hidden first, so that the window shows no empty pane while it is away.
    m_view.hide();
    m_view.release();
}
