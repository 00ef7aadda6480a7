#include "WebView.h"

#include "WebEngineSource.h"

#include <QLabel>
#include <QResizeEvent>

WebView::WebView(QWidget* parent)
    : QWidget(parent)
{}

WebView::~WebView()
{
    // The page's widget is our child: it goes with its page, before QWidget deletes the children.
    m_content.reset();
}

bool WebView::open(WebEngineSource& engine, WebEngineModule::Profile profile)
{
    if (m_content)
        return true;
    QString error;
    WebEngineModule* module = engine.module(&error);
    if (module) {
        WebContent::Events events;
        events.loadStarted = [this] {
            emit loadStarted();
        };
        events.loadFinished = [this](bool ok) {
            emit loadFinished(ok);
        };
        events.linkHovered = [this](const QString& url) {
            emit linkHovered(url);
        };
        m_content = module->createContent(*this, profile, std::move(events));
    }
    if (!m_content) {
        if (error.isEmpty())
            error = QStringLiteral("The web engine made no page.");
        if (!m_message) {
            m_message = new QLabel(this);
            m_message->setObjectName(QStringLiteral("webViewMessage"));
            m_message->setWordWrap(true);
            m_message->setAlignment(Qt::AlignCenter);
            m_message->setTextFormat(Qt::PlainText);
        }
        m_message->setText(QStringLiteral("Web pages cannot be shown here. ") + error);
        m_message->show();
        fit();
        return false;
    }
    if (m_message)
        m_message->hide();
    QWidget& page = m_content->widget();
    // A view that shows no menu on a right click keeps it so with its page.
    page.setContextMenuPolicy(contextMenuPolicy());
    setFocusProxy(&page);
    fit();
    page.show();
    return true;
}

void WebView::release()
{
    if (!m_content)
        return;
    setFocusProxy(nullptr);
    m_content.reset();
}

QString WebView::failure() const
{
    return m_message && !m_message->isHidden() ? m_message->text() : QString();
}

QWidget* WebView::surface() const
{
    return m_content ? m_content->widget().focusProxy() : nullptr;
}

QUrl WebView::url() const
{
    return m_content ? m_content->url() : QUrl();
}

QUrl WebView::requestedUrl() const
{
    return m_content ? m_content->requestedUrl() : QUrl();
}

QString WebView::title() const
{
    return m_content ? m_content->title() : QString();
}

bool WebView::runJavaScript(const QString& script, std::function<void(const QVariant&)> done)
{
    if (!m_content)
        return false;
    m_content->runJavaScript(script, std::move(done));
    return true;
}

void WebView::load(const QUrl& url)
{
    if (m_content)
        m_content->load(url);
}

void WebView::back()
{
    if (m_content)
        m_content->back();
}

void WebView::forward()
{
    if (m_content)
        m_content->forward();
}

void WebView::stop()
{
    if (m_content)
        m_content->stop();
}

void WebView::reload()
{
    if (m_content)
        m_content->reload();
}

void WebView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fit();
}

void WebView::fit()
{
    const QRect all(QPoint(0, 0), size());
    if (m_content)
        m_content->widget().setGeometry(all);
    if (m_message)
        m_message->setGeometry(all);
}
