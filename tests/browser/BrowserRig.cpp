#include "BrowserRig.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <optional>

BrowserRig::BrowserRig()
    : m_server(m_site.path())
{
    QObject::connect(&m_server, &LoopbackHttpServer::requestSeen,
                     [this](const QString&, const QString& target) { m_requests.append(target); });
    if (!m_server.listen())
        qWarning("cannot listen: %s", qPrintable(m_server.errorString()));
    m_context = std::make_unique<DecisionContext>(state, options, m_sound, m_pump, prompt, QString());
    QObject::connect(m_context.get(), &DecisionContext::Decided,
                     [this](const QString& site, const QString& url, bool blocked) {
                         decisions.append({site, url, blocked});
                     });
    tracker = std::make_unique<cIEWindows>(group, *m_context);
}

BrowserRig::~BrowserRig()
{
    tracker.reset();
    m_context.reset();
}

void BrowserRig::addPage(const QString& path, const QByteArray& html)
{
    QFile file(m_site.filePath(path));
    QDir().mkpath(QFileInfo(file).path());
    if (file.open(QIODevice::WriteOnly))
        file.write(html);
}

bool BrowserRig::requested(const QString& prefix) const
{
    for (const QString& target : m_requests) {
        if (target.startsWith(prefix))
            return true;
    }
    return false;
}

CdpBrowser* BrowserRig::launch()
{
    BrowserLauncher::Options launch;
    launch.headless = true;
    launch.discardOutput = true;
    launch.profileDir = m_profiles.filePath(QString::number(browsers.size()));
    QString error;
    auto transport = BrowserLauncher().launch(launch, &error);
    if (!transport) {
        qWarning("cannot launch a browser: %s", qPrintable(error));
        return nullptr;
    }
    auto owned = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(transport)));
    CdpBrowser* browser = owned.get();
    if (qEnvironmentVariableIsSet("TARNWICK_TRACE")) {
        QObject::connect(browser->connection().transport(), &CdpTransport::messageReceived,
                         [](const QByteArray& message) { qDebug("<- %s", message.constData()); });
    }
    bool ready = false;
    QObject::connect(browser, &CdpBrowser::ready, [&ready] { ready = true; });
    browser->start();
    group.add(std::move(owned));
    if (!QTest::qWaitFor([&] { return ready; }, 20000))
        return nullptr;
    browsers.append(browser);
    return browser;
}

CdpPageWindow* BrowserRig::open(CdpBrowser* browser, const QString& path)
{
    const QString address = url(path);
    const int before = int(browser->windows().size());
    browser->openPage(address);
    CdpPageWindow* page = nullptr;
    const bool appeared = QTest::qWaitFor(
        [&] {
            const auto windows = browser->windows();
            if (windows.size() <= before)
                return false;
            page = static_cast<CdpPageWindow*>(windows.last().get());
            return page->LocationURL() == address;
        },
        15000);
    if (!appeared)
        return nullptr;
    // The target exists before its first document: wait for the page itself, not the blank start.
    const QString probe = QStringLiteral("location.href + ' ' + document.readyState");
    const bool loaded = QTest::qWaitFor(
        [&] { return evaluate(page, probe).value("value").toString() == address + " complete"; }, 15000);
    return loaded ? page : nullptr;
}

std::optional<CdpConnection::Reply> BrowserRig::command(CdpPageWindow* page, const QString& method,
                                                        const QJsonObject& params)
{
    for (CdpBrowser* browser : std::as_const(browsers)) {
        for (const auto& window : browser->windows()) {
            if (window.get() != page)
                continue;
            // Shared with the callback, which may come after a time-out.
            auto reply = std::make_shared<std::optional<CdpConnection::Reply>>();
            browser->connection().send(
                method, params, [reply](const CdpConnection::Reply& answer) { *reply = answer; }, page->sessionId());
            if (!QTest::qWaitFor([&] { return reply->has_value(); }, 10000))
                qWarning("no answer to %s", qPrintable(method));
            return *reply;
        }
    }
    qWarning("%s: no such page", qPrintable(method));
    return std::nullopt;
}

void BrowserRig::run(CdpPageWindow* page, const QString& script, bool userGesture)
{
    // Its answer comes when the script has run, a popup it opened being settled by then.
    command(page, QStringLiteral("Runtime.evaluate"), {{"expression", script}, {"userGesture", userGesture}});
}

QJsonObject BrowserRig::evaluate(CdpPageWindow* page, const QString& script)
{
    const auto reply =
        command(page, QStringLiteral("Runtime.evaluate"), {{"expression", script}, {"returnByValue", true}});
    return reply ? reply->result.value("result").toObject() : QJsonObject();
}

bool BrowserRig::hoverLink(CdpPageWindow* page, const QString& path)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        mouse(page, QStringLiteral("mouseMoved"), 400, 400);
        mouse(page, QStringLiteral("mouseMoved"), 50, 25);
        if (QTest::qWaitFor([&] { return page->statusText() == url(path); }, 1000))
            return true;
    }
    return false;
}

void BrowserRig::mouse(CdpPageWindow* page, const QString& type, double x, double y, int clicks)
{
    QJsonObject params{{"type", type}, {"x", x}, {"y", y}};
    if (clicks > 0) {
        params.insert("button", "left");
        params.insert("clickCount", clicks);
    }
    command(page, QStringLiteral("Input.dispatchMouseEvent"), params);
}

void BrowserRig::click(CdpPageWindow* page, double x, double y, const QString& button, int modifiers)
{
    mouse(page, QStringLiteral("mouseMoved"), x, y);
    for (const char* type : {"mousePressed", "mouseReleased"}) {
        command(page, QStringLiteral("Input.dispatchMouseEvent"),
                {{"type", QLatin1String(type)},
                 {"x", x},
                 {"y", y},
                 {"button", button},
                 {"clickCount", 1},
                 {"modifiers", modifiers}});
    }
}

qsizetype BrowserRig::pageTargets(CdpBrowser* browser, const QString& text)
{
    auto reply = std::make_shared<std::optional<CdpConnection::Reply>>();
    browser->connection().send(QStringLiteral("Target.getTargets"), {},
                               [reply](const CdpConnection::Reply& answer) { *reply = answer; });
    if (!QTest::qWaitFor([&] { return reply->has_value(); }, 10000))
        return -1;
    qsizetype count = 0;
    for (const QJsonValue& target : (*reply)->result.value(u"targetInfos").toArray()) {
        const QJsonObject info = target.toObject();
        if (info.value(u"type").toString() == u"page" && info.value(u"url").toString().contains(text))
            ++count;
    }
    return count;
}
