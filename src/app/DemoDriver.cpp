#include "DemoDriver.h"

#include "BlockingEngine.h"
#include "CdpBrowser.h"
#include "CdpPageWindow.h"
#include "HeadlessRunner.h"
#include "LoopbackHttpServer.h"

#include <QJsonObject>
#include <QPointer>

namespace {

// The middle of the link the reader follows (see resources/demo/index.html).
constexpr double kLinkX = 184;
constexpr double kLinkY = 220;

} // namespace

DemoDriver::DemoDriver(HeadlessRunner& runner, LoopbackHttpServer& site, QTextStream& err, QObject* parent)
    : QObject(parent)
    , m_runner(runner)
    , m_site(site)
    , m_err(err)
{
    m_poll.setInterval(200);
    connect(&m_poll, &QTimer::timeout, this, &DemoDriver::poll);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(60000);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail(QStringLiteral("the demo did not finish in time")); });
    BlockingEngine* engine = &m_runner.engine();
    connect(engine, &BlockingEngine::Decided, this, [this, engine] {
        if (engine->decisionCount() >= kExpectedDecisions)
            emit finished(0);
    });
}

void DemoDriver::start()
{
    CdpBrowser* browser = m_runner.launchedBrowser();
    if (!browser) {
        fail(QStringLiteral("the demo needs the launched browser"));
        return;
    }
    connect(browser, &CdpBrowser::ready, this, [browser, this] { browser->openPage(m_site.url()); });
    m_poll.start();
    m_deadline.start();
}

void DemoDriver::poll()
{
    CdpBrowser* browser = m_runner.launchedBrowser();
    if (!browser || m_followed)
        return;
    for (const auto& window : browser->windows()) {
        auto* page = static_cast<CdpPageWindow*>(window.get());
        if (page->LocationURL() != m_site.url())
            continue;
        // The page says when its own popups are through.
        QPointer<DemoDriver> self(this);
        browser->connection().send(
            QStringLiteral("Runtime.evaluate"), QJsonObject{{"expression", "document.title"}, {"returnByValue", true}},
            [self](const CdpConnection::Reply& reply) {
                if (self && !self->m_followed &&
                    reply.result.value(u"result").toObject().value(u"value").toString().endsWith(u"ready"))
                    self->followLink();
            },
            page->sessionId());
        return;
    }
}

void DemoDriver::followLink()
{
    CdpBrowser* browser = m_runner.launchedBrowser();
    if (!browser)
        return;
    for (const auto& window : browser->windows()) {
        auto* page = static_cast<CdpPageWindow*>(window.get());
        if (page->LocationURL() != m_site.url())
            continue;
        m_followed = true;
        m_poll.stop();
        const QString session = page->sessionId();
        auto mouse = [browser, session](const char* type, int clicks, int x = kLinkX, int y = kLinkY) {
            QJsonObject params{{"type", type}, {"x", x}, {"y", y}};
            if (clicks > 0) {
                params.insert("button", "left");
                params.insert("clickCount", clicks);
            }
            browser->connection().send(QStringLiteral("Input.dispatchMouseEvent"), params, {}, session);
        };
        mouse("mouseMoved", 0);
        // Click once the browser has said the mouse is over the link, as a reader's hand would wait.
        auto* hovering = new QTimer(this);
        hovering->setInterval(50);
        // The page window's own status text: the link exception reads no other.
        connect(hovering, &QTimer::timeout, this, [hovering, mouse, window, ticks = 0]() mutable {
            if (!window->statusText().endsWith(u"/popup/wanted.html")) {
                // A page that was not listening yet missed the move: off the link and onto it again.
                if (++ticks % 10 == 0) {
                    mouse("mouseMoved", 0, 1, 1);
                    mouse("mouseMoved", 0);
                }
                return;
            }
            hovering->deleteLater();
            hovering->stop();
            mouse("mousePressed", 1);
            mouse("mouseReleased", 1);
        });
        hovering->start();
        return;
    }
}

void DemoDriver::fail(const QString& why)
{
    m_err << "demo: " << why << Qt::endl;
    emit finished(1);
}
