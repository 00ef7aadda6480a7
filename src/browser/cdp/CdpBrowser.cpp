#include "CdpBrowser.h"

#include "CdpPageWindow.h"
#include "NewWindowRequest.h"

#include <QJsonArray>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

QJsonObject object(std::initializer_list<QPair<QString, QJsonValue>> members)
{
    QJsonObject result;
    for (const auto& [key, value] : members)
        result.insert(key, value);
    return result;
}

const QString kTarget = QStringLiteral("Target.");

// A content policy for the popup's first document that lets it load nothing.
const QString kNoLoadsPolicy =
    QStringLiteral("(() => { const m = document.createElement('meta'); m.httpEquiv = 'Content-Security-Policy';"
                   " m.content = \"default-src 'none'\";"
                   " const head = document.head || document.documentElement || document;"
                   " head.appendChild(m); })()");

} // namespace

CdpBrowser::CdpBrowser(std::unique_ptr<CdpConnection> connection, QString name, QObject* parent)
    : ShellWindows(parent)
    , m_connection(std::move(connection))
    , m_name(std::move(name))
{
    connect(m_connection.get(), &CdpConnection::eventReceived, this, &CdpBrowser::onEvent);
    connect(m_connection.get(), &CdpConnection::closed, this, &CdpBrowser::onClosed);
}

CdpBrowser::~CdpBrowser()
{
    m_connection->disconnect(this);
}

void CdpBrowser::start()
{
    if (m_started)
        return;
    m_started = true;
    m_connection->send(QStringLiteral("Target.setDiscoverTargets"), object({{"discover", true}}));
    // Documents only: the gate costs each navigation one round trip, and subresources never open a tab.
    m_connection->send(
        QStringLiteral("Fetch.enable"),
        object({{"patterns", QJsonArray{object({{"resourceType", "Document"}, {"requestStage", "Request"}})}}}));
    // Pages open now are attached as they are; new ones arrive paused, before they run any script.
    const QJsonArray filter{object({{"type", "page"}, {"exclude", false}})};
    QPointer<CdpBrowser> self(this);
    m_connection->send(
        QStringLiteral("Target.setAutoAttach"),
        object({{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}, {"filter", filter}}),
        [self](const CdpConnection::Reply&) {
            if (self)
                emit self->ready();
        });
}

QList<std::shared_ptr<BrowserWindow>> CdpBrowser::windows() const
{
    QList<std::shared_ptr<BrowserWindow>> list;
    list.reserve(qsizetype(m_windows.size()));
    for (const auto& window : m_windows)
        list.append(window);
    return list;
}

void CdpBrowser::openPage(const QString& url)
{
    m_connection->send(QStringLiteral("Target.createTarget"), object({{"url", url}}));
}

void CdpBrowser::closeTarget(const QString& targetId)
{
    m_connection->send(QStringLiteral("Target.closeTarget"), object({{"targetId", targetId}}));
}

void CdpBrowser::onEvent(const QString& sessionId, const QString& method, const QJsonObject& params)
{
    if (method.startsWith(kTarget)) {
        if (method == u"Target.attachedToTarget" && sessionId.isEmpty())
            onAttached(params);
        else if (method == u"Target.targetCreated")
            onTargetCreated(params.value(u"targetInfo").toObject());
        else if (method == u"Target.detachedFromTarget")
            onDetached(params.value(u"sessionId").toString());
        else if (method == u"Target.targetDestroyed")
            onTargetDestroyed(params.value(u"targetId").toString());
        else if (method == u"Target.targetInfoChanged")
            onTargetInfoChanged(params.value(u"targetInfo").toObject());
    } else if (method == u"Fetch.requestPaused") {
        onRequestPaused(sessionId, params);
    } else if (method == u"Page.frameRequestedNavigation") {
        // A new tab or window without an opener: the page's own request unless the user's click asked for it.
        const QString disposition = params.value(u"disposition").toString();
        CdpPageWindow* window = windowOfSession(sessionId);
        if (window && (disposition == u"newTab" || disposition == u"newWindow"))
            window->noteNewTabAsk(params.value(u"url").toString());
    } else if (method == u"Runtime.bindingCalled") {
        onBindingCalled(sessionId, params);
    } else if (method == u"Page.windowOpen") {
        if (CdpPageWindow* window = windowOfSession(sessionId))
            window->noteWindowOpen({params.value(u"url").toString(), params.value(u"userGesture").toBool()});
    } else if (method == u"Runtime.executionContextCreated") {
        // The reporter's world in the page's main frame: only a report from there says the document has it.
        // A late report from the document before does not.
        CdpPageWindow* window = windowOfSession(sessionId);
        const QJsonObject context = params.value(u"context").toObject();
        if (window && context.value(u"name").toString() == m_hover.worldName() &&
            context.value(u"auxData").toObject().value(u"frameId").toString() == window->targetId())
            window->setHoverWorld(context.value(u"id").toInteger());
    } else if (method == u"Runtime.executionContextsCleared") {
        if (CdpPageWindow* window = windowOfSession(sessionId))
            window->setHoverWorld(0);
    } else if (method == u"Page.loadEventFired") {
        // A document that came before its page was set up (a page loading as the program attached to it) lacks
        // the reporter; it gets one by hand.
        CdpPageWindow* window = windowOfSession(sessionId);
        if (window && !window->hasHoverReporter())
            injectIntoLoadedPage(sessionId);
    } else if (method == u"Page.frameStartedLoading") {
        CdpPageWindow* window = windowOfSession(sessionId);
        if (window && params.value(u"frameId").toString() == window->targetId()) {
            // A new page leaves the link the mouse was over behind, as the browser's own status text does,
            // and the page that asked for a popup still waiting for the user is gone.
            if (!window->statusText().isEmpty())
                window->reportStatusText(QString());
            window->noteUserClick(QString());
            dropPopupsOf(sessionId);
            dropNewTabsOf(sessionId);
        }
    }
}

void CdpBrowser::onAttached(const QJsonObject& params)
{
    const QString sessionId = params.value(u"sessionId").toString();
    const QJsonObject info = params.value(u"targetInfo").toObject();
    const bool waiting = params.value(u"waitingForDebugger").toBool();
    if (sessionId.isEmpty() || info.value(u"type").toString() != u"page")
        return;
    if (onNewTabAttached(sessionId, info, waiting))
        return;
    const QString openerId = info.value(u"openerId").toString();
    CdpPageWindow* opener = openerId.isEmpty() ? nullptr : windowOfTarget(openerId);
    if (opener && waiting && m_closingDown) {
        // Nobody is left to decide: closed as a block is, unseen.
        Popup popup;
        popup.targetId = info.value(u"targetId").toString();
        popup.sessionId = sessionId;
        popup.openerSessionId = opener->sessionId();
        closeAtExit(*m_popups.insert(sessionId, popup));
    } else if (opener && waiting)
        raisePopup(sessionId, info, opener);
    else
        adoptPage(sessionId, info, waiting);
}

void CdpBrowser::adoptPage(const QString& sessionId, const QJsonObject& info, bool waiting)
{
    const QString targetId = info.value(u"targetId").toString();
    if (targetId.isEmpty() || windowOfTarget(targetId)) {
        // Attached again under another session: never leave a page paused.
        if (waiting)
            m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, sessionId);
        return;
    }
    setUpPage(sessionId);
    if (waiting)
        m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, sessionId);
    else
        injectIntoLoadedPage(sessionId);
    m_windows.push_back(std::make_shared<CdpPageWindow>(this, targetId, sessionId, info.value(u"url").toString()));
    emit WindowRegistered(++m_cookie);
}

void CdpBrowser::setUpPage(const QString& sessionId)
{
    // Sent together and not waited for: a page paused in a renderer of its own answers nothing yet.
    m_connection->send(QStringLiteral("Page.enable"), {}, {}, sessionId);
    m_connection->send(QStringLiteral("Runtime.enable"), {}, {}, sessionId);
    m_connection->send(QStringLiteral("Runtime.addBinding"),
                       object({{"name", m_hover.bindingName()}, {"executionContextName", m_hover.worldName()}}), {},
                       sessionId);
    m_connection->send(QStringLiteral("Runtime.addBinding"),
                       object({{"name", m_hover.clickBindingName()}, {"executionContextName", m_hover.worldName()}}),
                       {}, sessionId);
    m_connection->send(QStringLiteral("Page.addScriptToEvaluateOnNewDocument"),
                       object({{"source", m_hover.script()}, {"worldName", m_hover.worldName()}}), {}, sessionId);
}

void CdpBrowser::injectIntoLoadedPage(const QString& sessionId)
{
    // The page's document is already there: give it the hover reporter's world by hand.
    QPointer<CdpBrowser> self(this);
    m_connection->send(
        QStringLiteral("Page.getFrameTree"), {},
        [self, sessionId](const CdpConnection::Reply& reply) {
            if (!self || !reply.ok())
                return;
            const QString frameId =
                reply.result.value(u"frameTree").toObject().value(u"frame").toObject().value(u"id").toString();
            if (frameId.isEmpty())
                return;
            self->m_connection->send(
                QStringLiteral("Page.createIsolatedWorld"),
                object({{"frameId", frameId}, {"worldName", self->m_hover.worldName()}}),
                [self, sessionId](const CdpConnection::Reply& world) {
                    if (!self || !world.ok())
                        return;
                    self->m_connection->send(QStringLiteral("Runtime.evaluate"),
                                             object({{"expression", self->m_hover.script()},
                                                     {"contextId", world.result.value(u"executionContextId")}}),
                                             {}, sessionId);
                },
                sessionId);
        },
        sessionId);
}

void CdpBrowser::raisePopup(const QString& sessionId, const QJsonObject& info, CdpPageWindow* opener)
{
    Popup popup;
    popup.targetId = info.value(u"targetId").toString();
    popup.sessionId = sessionId;
    popup.openerSessionId = opener->sessionId();
    QString url = info.value(u"url").toString();
    const CdpPageWindow::WindowOpen asked = opener->takeWindowOpen();
    if (url.isEmpty())
        url = asked.url;
    popup.canAccessOpener = info.value(u"canAccessOpener").toBool();
    QPointer<CdpBrowser> self(this);
    auto request = std::make_shared<NewWindowRequest>(
        url,
        [self, sessionId](bool cancel) {
            if (self)
                self->popupDecided(sessionId, cancel);
        },
        asked.userGesture);
    popup.request = request;
    m_popups.insert(sessionId, popup);
    // A handler may close the opener meanwhile; it lives until the emit is over.
    std::shared_ptr<CdpPageWindow> keep;
    for (const auto& window : m_windows) {
        if (window.get() == opener)
            keep = window;
    }
    if (!keep)
        return;
    emit NewWindowComing();
    emit keep->NewWindow2(request);
    const bool decided = request->isSettled();
    request.reset(); // a handler that did not keep it has settled it now
    if (!decided && m_popups.contains(sessionId) && !m_popups[sessionId].decided)
        holdPopup(sessionId);
}

void CdpBrowser::gatePopup(const Popup& popup, std::function<void()> then)
{
    // Fetch stops every request of the popup's own documents. A popup its opener can reach may be
    // written into by it, and what is written loads through the opener, out of that gate's reach: a
    // policy on the popup's first document that allows no loads stops it in the renderer. Such a popup
    // starts in its opener's renderer, which answers while the popup is paused. Both gates go up at
    // once; the popup goes on when both have answered.
    auto remaining = std::make_shared<int>(popup.canAccessOpener ? 2 : 1);
    auto gateUp = [remaining, then = std::move(then)](const CdpConnection::Reply&) {
        if (--*remaining == 0)
            then();
    };
    m_connection->send(QStringLiteral("Fetch.enable"),
                       object({{"patterns", QJsonArray{object({{"urlPattern", "*"}, {"requestStage", "Request"}})}}}),
                       gateUp, popup.sessionId, kGateTimeout);
    if (popup.canAccessOpener) {
        m_connection->send(QStringLiteral("Runtime.evaluate"), object({{"expression", kNoLoadsPolicy}}), gateUp,
                           popup.sessionId, kGateTimeout);
    }
}

void CdpBrowser::holdPopup(const QString& sessionId)
{
    // The popup waits at its gates until the decision; it runs meanwhile, so the opener page, which may
    // share its renderer, does not freeze while the user thinks.
    Popup& popup = m_popups[sessionId];
    popup.held = true;
    QPointer<CdpBrowser> self(this);
    gatePopup(popup, [self, sessionId] {
        if (!self || !self->m_popups.contains(sessionId))
            return;
        const Popup& held = self->m_popups[sessionId];
        if (held.decided && held.cancel)
            return; // closed already
        self->m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, sessionId);
    });
}

void CdpBrowser::popupDecided(const QString& sessionId, bool cancel)
{
    auto it = m_popups.find(sessionId);
    if (it == m_popups.end() || it->decided)
        return;
    it->decided = true;
    it->cancel = cancel;
    if (cancel)
        blockPopup(*it);
    else
        allowPopup(sessionId);
}

void CdpBrowser::blockPopup(Popup& popup)
{
    for (const PausedRequest& request : std::as_const(popup.paused))
        failRequest(request);
    popup.paused.clear();
    if (popup.held) {
        closePopup(popup.sessionId);
        return;
    }
    // Closed while still paused, it never asks for anything itself. An opener that cannot reach it goes on at once.
    // One that can, held with it when they share a renderer, may write into it once let go, and what is written
    // loads through the opener: the close goes out together with a policy that lets the popup's document load
    // nothing, and the opener goes on once the policy is answered, or failed because the popup's session has gone.
    // Should the popup still ask for its own document, the browser-wide gate fails it.
    const QString sessionId = popup.sessionId;
    const QString openerSessionId = popup.openerSessionId;
    if (popup.canAccessOpener) {
        QPointer<CdpBrowser> self(this);
        m_connection->send(
            QStringLiteral("Runtime.evaluate"), object({{"expression", kNoLoadsPolicy}}),
            [self, openerSessionId](const CdpConnection::Reply&) {
                if (self)
                    self->m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {},
                                             openerSessionId);
            },
            sessionId, kGateTimeout);
        closePopup(sessionId);
        return;
    }
    closePopup(sessionId);
    m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, openerSessionId);
}

void CdpBrowser::closePopup(const QString& sessionId)
{
    auto it = m_popups.find(sessionId);
    if (it == m_popups.end() || it->closing)
        return;
    it->closing = true;
    // Let go so that its opener runs on, it may still ask for its document: the browser-wide gate fails that.
    m_blockedTabs.insert(it->targetId);
    closeTarget(it->targetId);
}

void CdpBrowser::allowPopup(const QString& sessionId)
{
    Popup popup = m_popups.take(sessionId);
    setUpPage(sessionId);
    if (popup.held) {
        for (const PausedRequest& request : std::as_const(popup.paused))
            continueRequest(request);
        m_connection->send(QStringLiteral("Fetch.disable"), {}, {}, sessionId);
    }
    // Also for a held popup: the answer may have come before its gates were up and it was let run.
    m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, sessionId);
    if (!windowOfTarget(popup.targetId)) {
        m_windows.push_back(std::make_shared<CdpPageWindow>(this, popup.targetId, sessionId, QString()));
        emit WindowRegistered(++m_cookie);
    }
}

void CdpBrowser::forgetPopup(QHash<QString, Popup>::iterator it)
{
    for (const PausedRequest& request : std::as_const(it->paused))
        failRequest(request);
    const std::weak_ptr<NewWindowRequest> waiting = it->request;
    // Its gate goes with its session, and the browser then lets go what that gate held: the document must still
    // not load while the target lingers.
    m_blockedTabs.insert(it->targetId);
    m_popups.erase(it);
    // Last: whoever waits may do anything, this browser's popups included.
    if (const auto request = waiting.lock())
        request->withdraw();
}

void CdpBrowser::dropPopupsOf(const QString& openerSessionId)
{
    QStringList dropped;
    for (const Popup& popup : std::as_const(m_popups)) {
        if (popup.openerSessionId == openerSessionId && !popup.decided)
            dropped.append(popup.sessionId);
    }
    for (const QString& sessionId : std::as_const(dropped)) {
        auto it = m_popups.find(sessionId);
        if (it == m_popups.end())
            continue;
        // Closed as a block is, without a decision: nobody is left to want it.
        closeTarget(it->targetId);
        if (!it->held)
            m_connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, openerSessionId);
        forgetPopup(it);
    }
}

void CdpBrowser::onRequestPaused(const QString& sessionId, const QJsonObject& params)
{
    const PausedRequest request{sessionId, params.value(u"requestId").toString()};
    if (request.requestId.isEmpty())
        return;
    if (sessionId.isEmpty()) {
        onDocumentPaused(params);
        return;
    }
    if (auto it = m_popups.find(sessionId); it != m_popups.end())
        settleRequest(*it, request);
    else
        continueRequest(request); // an allowed popup whose gate is on its way down
}

void CdpBrowser::settleRequest(Popup& popup, const PausedRequest& request)
{
    if (!popup.decided) {
        popup.paused.append(request);
    } else if (popup.cancel) {
        failRequest(request);
        closePopup(popup.sessionId);
    } else {
        continueRequest(request);
    }
}

void CdpBrowser::onDocumentPaused(const QJsonObject& params)
{
    const PausedRequest request{QString(), params.value(u"requestId").toString()};
    const QString frameId = params.value(u"frameId").toString();
    if (m_blockedTabs.contains(frameId)) {
        failRequest(request);
        return;
    }
    if (auto it = m_newTabs.find(frameId); it != m_newTabs.end() && it->requestId.isEmpty()) {
        it->requestId = request.requestId; // held until the decision
        return;
    }
    // A page's own navigation, a popup's (it has its own gate), or a tab nobody asked for by script: on its way.
    const bool known =
        windowOfTarget(frameId) || m_newTabs.contains(frameId) ||
        std::any_of(m_popups.cbegin(), m_popups.cend(), [&](const Popup& popup) { return popup.targetId == frameId; });
    if (!known) {
        const QString url = params.value(u"request").toObject().value(u"url").toString();
        if (CdpPageWindow* opener = askerOfNewTab(url)) {
            NewTab tab;
            tab.targetId = frameId;
            tab.requestId = request.requestId;
            raiseNewTab(std::move(tab), url, opener);
            return;
        }
    }
    continueRequest(request);
}

CdpPageWindow* CdpBrowser::askerOfNewTab(const QString& url)
{
    if (url.isEmpty())
        return nullptr;
    for (const auto& window : m_windows) {
        if (window->takeNewTabAsk(url))
            return window.get();
    }
    return nullptr;
}

void CdpBrowser::raiseNewTab(NewTab tab, const QString& url, CdpPageWindow* opener)
{
    const QString targetId = tab.targetId;
    tab.openerSessionId = opener->sessionId();
    QPointer<CdpBrowser> self(this);
    // Not a gesture of the user's: the user's own clicks on links never come here.
    auto request = std::make_shared<NewWindowRequest>(url, [self, targetId](bool cancel) {
        if (self)
            self->newTabDecided(targetId, cancel);
    });
    tab.request = request;
    m_newTabs.insert(targetId, tab);
    std::shared_ptr<CdpPageWindow> keep;
    for (const auto& window : m_windows) {
        if (window.get() == opener)
            keep = window;
    }
    emit keep->NewWindow2(request);
}

bool CdpBrowser::onNewTabAttached(const QString& sessionId, const QJsonObject& info, bool waiting)
{
    const QString targetId = info.value(u"targetId").toString();
    QString url = m_createdPages.take(targetId);
    if (m_blockedTabs.contains(targetId)) {
        closeTarget(targetId);
        return true;
    }
    if (auto it = m_newTabs.find(targetId); it != m_newTabs.end()) {
        // Made a window only once allowed; its document waits at the gate meanwhile.
        it->attached = true;
        it->sessionId = sessionId;
        it->info = info;
        it->waiting = waiting;
        return true;
    }
    // Usually the tab is announced before its document reaches the gate: the address it was created for tells.
    if (!info.value(u"openerId").toString().isEmpty())
        return false;
    if (const QString attachedUrl = info.value(u"url").toString(); !attachedUrl.isEmpty())
        url = attachedUrl;
    CdpPageWindow* opener = askerOfNewTab(url);
    if (!opener)
        return false;
    NewTab tab;
    tab.targetId = targetId;
    tab.attached = true;
    tab.sessionId = sessionId;
    tab.info = info;
    tab.waiting = waiting;
    raiseNewTab(std::move(tab), url, opener);
    return true;
}

void CdpBrowser::newTabDecided(const QString& targetId, bool cancel)
{
    auto it = m_newTabs.find(targetId);
    if (it == m_newTabs.end() || it->decided)
        return;
    it->decided = true;
    if (cancel) {
        blockNewTab(targetId);
        m_newTabs.erase(it);
        return;
    }
    const NewTab tab = m_newTabs.take(targetId);
    if (!tab.requestId.isEmpty())
        continueRequest({QString(), tab.requestId});
    if (tab.attached)
        adoptPage(tab.sessionId, tab.info, tab.waiting);
}

void CdpBrowser::blockNewTab(const QString& targetId)
{
    const auto it = m_newTabs.constFind(targetId);
    if (it != m_newTabs.cend() && !it->requestId.isEmpty())
        failRequest({QString(), it->requestId});
    // The tab may not be announced yet: it is closed again as it comes.
    m_blockedTabs.insert(targetId);
    closeTarget(targetId);
}

void CdpBrowser::forgetNewTab(QHash<QString, NewTab>::iterator it)
{
    const std::weak_ptr<NewWindowRequest> waiting = it->request;
    m_newTabs.erase(it);
    if (const auto request = waiting.lock())
        request->withdraw();
}

void CdpBrowser::dropNewTabsOf(const QString& openerSessionId)
{
    QStringList dropped;
    for (const NewTab& tab : std::as_const(m_newTabs)) {
        if (tab.openerSessionId == openerSessionId && !tab.decided)
            dropped.append(tab.targetId);
    }
    for (const QString& targetId : std::as_const(dropped)) {
        auto it = m_newTabs.find(targetId);
        if (it == m_newTabs.end())
            continue;
        // Closed as a block is, without a decision: nobody is left to want it.
        blockNewTab(targetId);
        forgetNewTab(m_newTabs.find(targetId));
    }
}

void CdpBrowser::continueRequest(const PausedRequest& request)
{
    m_connection->send(QStringLiteral("Fetch.continueRequest"), object({{"requestId", request.requestId}}), {},
                       request.sessionId);
}

void CdpBrowser::failRequest(const PausedRequest& request)
{
    m_connection->send(QStringLiteral("Fetch.failRequest"),
                       object({{"requestId", request.requestId}, {"errorReason", "BlockedByClient"}}), {},
                       request.sessionId);
}

void CdpBrowser::onBindingCalled(const QString& sessionId, const QJsonObject& params)
{
    if (params.value(u"name").toString() == m_hover.clickBindingName()) {
        if (CdpPageWindow* window = windowOfSession(sessionId))
            window->noteUserClick(params.value(u"payload").toString().left(HoverReporter::MaxPayload));
        return;
    }
    if (params.value(u"name").toString() != m_hover.bindingName())
        return;
    if (CdpPageWindow* window = windowOfSession(sessionId)) {
        if (params.value(u"executionContextId").toInteger() == window->hoverWorld())
            window->setHoverReporter(true);
        const QString text = params.value(u"payload").toString().left(HoverReporter::MaxPayload);
        if (text != window->statusText())
            window->reportStatusText(text);
    }
}

void CdpBrowser::onTargetInfoChanged(const QJsonObject& info)
{
    if (CdpPageWindow* window = windowOfTarget(info.value(u"targetId").toString()))
        window->setUrl(info.value(u"url").toString());
}

void CdpBrowser::onDetached(const QString& sessionId)
{
    if (auto it = m_popups.find(sessionId); it != m_popups.end())
        popupGone(it);
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i]->sessionId() == sessionId) {
            removeWindow(i);
            return;
        }
    }
}

void CdpBrowser::onTargetCreated(const QJsonObject& info)
{
    // A tab without an opener may be one a page asked for; its address is only told here.
    const QString url = info.value(u"url").toString();
    if (info.value(u"type").toString() != u"page" || !info.value(u"openerId").toString().isEmpty() || url.isEmpty())
        return;
    if (m_createdPages.size() >= kMaxCreatedPages)
        m_createdPages.clear();
    m_createdPages.insert(info.value(u"targetId").toString(), url);
}

void CdpBrowser::onTargetDestroyed(const QString& targetId)
{
    m_createdPages.remove(targetId);
    if (auto it = m_newTabs.find(targetId); it != m_newTabs.end())
        forgetNewTab(it);
    for (auto it = m_popups.begin(); it != m_popups.end(); ++it) {
        if (it->targetId == targetId) {
            popupGone(it);
            break;
        }
    }
    m_blockedTabs.remove(targetId);
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i]->targetId() == targetId) {
            removeWindow(i);
            return;
        }
    }
}

void CdpBrowser::removeWindow(std::size_t index)
{
    const QString sessionId = m_windows[index]->sessionId();
    m_windows.erase(m_windows.begin() + std::ptrdiff_t(index));
    dropPopupsOf(sessionId);
    dropNewTabsOf(sessionId);
    emit WindowRevoked(++m_cookie);
}

void CdpBrowser::closeDown()
{
    if (m_closingDown) {
        checkClosedDown();
        return;
    }
    m_closingDown = true;
    const QStringList inFlight = m_popups.keys();
    for (const QString& sessionId : inFlight) {
        if (auto it = m_popups.find(sessionId); it != m_popups.end())
            closeAtExit(*it);
    }
    // New tabs still undecided, their documents held at the gate: once the connection goes the browser lets
    // held requests go on, so they are failed and closed now, and the exit waits for the answers.
    const QStringList tabs = m_newTabs.keys();
    for (const QString& targetId : tabs) {
        auto it = m_newTabs.find(targetId);
        if (it == m_newTabs.end())
            continue;
        if (!it->requestId.isEmpty())
            sendAtExit(QStringLiteral("Fetch.failRequest"),
                       object({{"requestId", it->requestId}, {"errorReason", "BlockedByClient"}}), {});
        m_blockedTabs.insert(targetId);
        sendAtExit(QStringLiteral("Target.closeTarget"), object({{"targetId", targetId}}), {});
        forgetNewTab(it);
    }
    // What was sent before on the browser's own session (a tab's held request failed as its block, say) is
    // answered first: the exit does not go before the browser has taken it in.
    sendAtExit(QStringLiteral("Browser.getVersion"), {}, {});
    checkClosedDown();
}

void CdpBrowser::closeAtExit(Popup& popup)
{
    if (popup.closedAtExit)
        return;
    // Settled here as blocked; a decision still on its way finds it decided and changes nothing.
    popup.closedAtExit = true;
    popup.decided = true;
    popup.cancel = true;
    popup.closing = true;
    for (const PausedRequest& request : std::as_const(popup.paused))
        failRequest(request);
    popup.paused.clear();
    sendAtExit(QStringLiteral("Target.closeTarget"), object({{"targetId", popup.targetId}}), {});
}

void CdpBrowser::sendAtExit(const QString& method, const QJsonObject& params, const QString& sessionId)
{
    if (m_connection->isClosed())
        return;
    ++m_exitAnswersDue;
    QPointer<CdpBrowser> self(this);
    m_connection->send(
        method, params,
        [self](const CdpConnection::Reply&) {
            if (!self)
                return;
            --self->m_exitAnswersDue;
            self->checkClosedDown();
        },
        sessionId);
}

void CdpBrowser::popupGone(QHash<QString, Popup>::iterator it)
{
    // The opener goes on only now: let go while its popup was still closing, the popup could run with it.
    const QString opener = it->closedAtExit ? it->openerSessionId : QString();
    forgetPopup(it);
    if (!opener.isEmpty() && windowOfSession(opener))
        sendAtExit(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, opener);
    checkClosedDown();
}

void CdpBrowser::checkClosedDown()
{
    if (!m_closingDown || m_closedDown)
        return;
    if (!m_connection->isClosed() && (!m_popups.isEmpty() || m_exitAnswersDue > 0))
        return;
    m_closedDown = true;
    emit closedDown();
}

void CdpBrowser::onClosed(const QString& reason)
{
    std::vector<std::weak_ptr<NewWindowRequest>> waiting;
    for (const Popup& popup : std::as_const(m_popups))
        waiting.push_back(popup.request);
    m_popups.clear();
    for (const NewTab& tab : std::as_const(m_newTabs))
        waiting.push_back(tab.request);
    m_newTabs.clear();
    m_blockedTabs.clear();
    m_createdPages.clear();
    for (const auto& request : waiting) {
        if (const auto live = request.lock())
            live->withdraw();
    }
    const bool hadWindows = !m_windows.empty();
    m_windows.clear();
    if (hadWindows)
        emit WindowRevoked(++m_cookie);
    QPointer<CdpBrowser> self(this);
    emit disconnected(reason);
    if (self)
        checkClosedDown();
}

CdpPageWindow* CdpBrowser::windowOfTarget(const QString& targetId) const
{
    for (const auto& window : m_windows) {
        if (window->targetId() == targetId)
            return window.get();
    }
    return nullptr;
}

CdpPageWindow* CdpBrowser::windowOfSession(const QString& sessionId) const
{
    for (const auto& window : m_windows) {
        if (window->sessionId() == sessionId)
            return window.get();
    }
    return nullptr;
}
