#include "WebEnginePageModule.h"

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

class EngineContent final : public WebContent {
public:
    EngineContent(QWidget& parent, WebEngineModule::Profile profile, Events events)
        : m_view(new QWebEngineView(&parent))
    {
        if (profile == WebEngineModule::Profile::Private) {
            m_profile = std::make_unique<QWebEngineProfile>();
            m_page = std::make_unique<QWebEnginePage>(m_profile.get());
            m_view->setPage(m_page.get());
        }
        if (events.loadStarted)
            QObject::connect(m_view, &QWebEngineView::loadStarted, m_view, std::move(events.loadStarted));
        if (events.loadFinished)
            QObject::connect(m_view, &QWebEngineView::loadFinished, m_view, std::move(events.loadFinished));
        if (events.linkHovered)
            QObject::connect(m_view->page(), &QWebEnginePage::linkHovered, m_view, std::move(events.linkHovered));
    }

    ~EngineContent() override
    {
        // The page goes before the profile it was made in, and the view lets go of it first.
        if (m_page)
            m_view->setPage(nullptr);
        m_page.reset();
        m_profile.reset();
        delete m_view;
    }

    EngineContent(const EngineContent&) = delete;
    EngineContent& operator=(const EngineContent&) = delete;

    QWidget& widget() override { return *m_view; }
    void load(const QUrl& url) override { m_view->load(url); }
    void back() override { m_view->back(); }
    void forward() override { m_view->forward(); }
    void stop() override { m_view->stop(); }
    void reload() override { m_view->reload(); }
    QUrl url() const override { return m_view->url(); }
    QUrl requestedUrl() const override { return m_view->page()->requestedUrl(); }
    QString title() const override { return m_view->title(); }
    void runJavaScript(const QString& script, std::function<void(const QVariant&)> done) override
    {
        m_view->page()->runJavaScript(script, std::move(done));
    }

private:
    QWebEngineView* m_view;
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
};

} // namespace

WebEnginePageModule::WebEnginePageModule()
{
    // What QtWebEngine does for itself when it is linked into the executable and started with the application:
    // its pages are drawn by Qt Quick through OpenGL, which has to be chosen before Qt Quick makes its first window.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGLRhi);
}

std::unique_ptr<WebContent> WebEnginePageModule::createContent(QWidget& parent, Profile profile,
                                                               WebContent::Events events)
{
    return std::make_unique<EngineContent>(parent, profile, std::move(events));
}
