#include "IE_Class.h"

#include "BrowserWindow.h"
#include "DecisionContext.h"
#include "DecisionState.h"
#include "PopupOptions.h"
#include "PromptQueue.h"
#include "SiteName.h"

#include <utility>

IE_Class::IE_Class(DecisionContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
{}

IE_Class::~IE_Class()
{
    disconnectWindow();
}

void IE_Class::IEctl(std::shared_ptr<BrowserWindow> IncomeIE)
{
    disconnectWindow();
    m_IE = std::move(IncomeIE);
    if (!m_IE)
        return;
    m_connections = {
        connect(m_IE.get(), &BrowserWindow::StatusTextChange, this, &IE_Class::IE_StatusTextChange),
        connect(m_IE.get(), &BrowserWindow::NewWindow2, this, &IE_Class::IE_NewWindow2),
    };
}

void IE_Class::disconnectWindow()
{
    for (const auto& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_IE.reset();
}

void IE_Class::IE_StatusTextChange(const QString& Text)
{
    m_context.state().gStatusText = Text;
}

void IE_Class::IE_NewWindow2(const std::shared_ptr<NewWindowRequest>& request)
{
    DecisionState& state = m_context.state();
    const PopupOptions& options = m_context.options();

    // A popup this window asked for in answer to the user's own click while its mouse was over a link is
    // one the user wants. A hover in another window, or a popup on a timer, excuses nothing.
    if (options.LinkException() && request->userGesture() && m_IE && m_IE->statusText().size() > 7) {
        const QString status = m_IE->statusText().toLower();
        if (status.startsWith(u"http://") || status.startsWith(u"https://"))
            state.gAllowNext = true;
    }

    const QString site = SiteName(m_IE ? m_IE->LocationURL() : QString());
    const QString host = SiteHost(site);

    if (!options.PopupBlocking()) {
        m_context.Pass(request, site);
        return;
    }
    if (state.gAllowNext) {
        state.gAllowNext = false;
        m_context.Allow(request, site);
        return;
    }
    if (options.SetupMode()) {
        if (state.gAllowedSites.coversHost(host)) {
            m_context.Allow(request, site);
        } else if (state.gDisallowedSites.coversHost(host)) {
            m_context.Block(request, site);
        } else {
            // The popup stays held until the user answers; this sink may be gone by then, the context not. A
            // popup that goes away meanwhile takes its question with it: nothing is decided, nothing counted.
            DecisionContext* context = &m_context;
            const quint64 question = m_context.prompts().Ask(site, [context, request, site](bool allow) {
                if (allow)
                    context->Allow(request, site);
                else
                    context->Block(request, site);
            });
            if (!request->isSettled())
                request->setWithdrawnHandler([context, question] { context->prompts().Withdraw(question); });
        }
        return;
    }
    if (state.gAllowedSites.coversHost(host))
        m_context.Allow(request, site);
    else
        m_context.Block(request, site);
}
