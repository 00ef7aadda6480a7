#include "cIEWindows.h"

#include "IE_Class.h"
#include "ShellWindows.h"

cIEWindows::cIEWindows(ShellWindows& shell, DecisionContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
{
    winShell = &shell;
    RefreshWindows();
    if (!boolSubscribed) {
        connect(winShell, &ShellWindows::WindowRegistered, this, &cIEWindows::winShell_WindowRegistered);
        connect(winShell, &ShellWindows::WindowRevoked, this, &cIEWindows::winShell_WindowRevoked);
        // A new window's popup must find its sink.
        connect(winShell, &ShellWindows::NewWindowComing, this, &cIEWindows::catchUp);
        boolSubscribed = true;
    }
}

cIEWindows::~cIEWindows()
{
    colIE.clear();
    if (winShell)
        disconnect(winShell, nullptr, this, nullptr);
    winShell = nullptr;
}

void cIEWindows::winShell_WindowRegistered(long)
{
    scheduleRefresh();
}

void cIEWindows::winShell_WindowRevoked(long)
{
    scheduleRefresh();
}

void cIEWindows::scheduleRefresh()
{
    if (boolRefreshing) {
        m_refreshAgain = true;
        return;
    }
    m_refreshDue = true;
    if (m_refreshPosted)
        return;
    m_refreshPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshPosted = false;
            catchUp();
        },
        Qt::QueuedConnection);
}

void cIEWindows::catchUp() const
{
    if (m_refreshDue && !boolRefreshing)
        RefreshWindows();
}

IE_Class* cIEWindows::IE(int vntIndexKey) const
{
    catchUp();
    if (vntIndexKey < 1 || vntIndexKey > Count())
        return nullptr;
    return colIE[std::size_t(vntIndexKey - 1)].get();
}

QList<IE_Class*> cIEWindows::NewEnum() const
{
    catchUp();
    QList<IE_Class*> sinks;
    sinks.reserve(qsizetype(colIE.size()));
    for (const auto& sink : colIE)
        sinks.append(sink.get());
    return sinks;
}

IE_Class* cIEWindows::AddWindow(const std::shared_ptr<BrowserWindow>& window) const
{
    if (!window)
        return nullptr;
    auto sink = std::make_unique<IE_Class>(m_context);
    sink->IEctl(window);
    colIE.push_back(std::move(sink));
    return colIE.back().get();
}

void cIEWindows::RefreshWindows() const
{
    if (boolRefreshing) {
        m_refreshAgain = true;
        return;
    }
    boolRefreshing = true;
    m_refreshDue = false;
    do {
        m_refreshAgain = false;
        ++m_rebuilds;
        // Decisions still waiting for the user live on in the decision context, not in the old sinks.
        colIE.clear();
        if (winShell) {
            for (const auto& window : winShell->windows())
                AddWindow(window);
        }
    } while (m_refreshAgain);
    boolRefreshing = false;
}
