#pragma once

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class BrowserWindow;
class DecisionContext;
class IE_Class;
class ShellWindows;

// Keeps one popup-decision sink on every window of the collection. It does not follow windows one by
// one: whenever windows come or go it throws all its sinks away and attaches a fresh one to each. News
// that arrives together (a browser reporting thousands of pages at once) costs one rebuild: the rebuild
// runs on the next pass of the event loop, or sooner when a window is about to raise a popup or the sinks
// are read.
class cIEWindows : public QObject {
    Q_OBJECT
public:
    // Runs the first rebuild at once and starts listening to the collection.
    cIEWindows(ShellWindows& shell, DecisionContext& context, QObject* parent = nullptr);
    // Releases every sink first, then stops listening.
    ~cIEWindows() override;

    // The sink at a position counted from 1; nullptr when there is none.
    IE_Class* IE(int vntIndexKey) const;
    int Count() const
    {
        catchUp();
        return int(colIE.size());
    }
    // Every sink, in the collection's order.
    QList<IE_Class*> NewEnum() const;

    bool isRefreshing() const { return boolRefreshing; }
    // How many rebuilds have run.
    quint64 rebuildCount() const { return m_rebuilds; }

private:
    void winShell_WindowRegistered(long lCookie);
    void winShell_WindowRevoked(long lCookie);
    IE_Class* AddWindow(const std::shared_ptr<BrowserWindow>& window) const;
    void RefreshWindows() const;
    // Notes that the windows changed; the rebuild follows on the next pass of the event loop.
    void scheduleRefresh();
    // Runs the rebuild that is due, if any, so that the sinks match the collection now.
    void catchUp() const;

    DecisionContext& m_context;
    // The sinks are a view of the collection, brought up to date when read.
    mutable std::vector<std::unique_ptr<IE_Class>> colIE;
    ShellWindows* winShell = nullptr;
    mutable bool boolRefreshing = false;
    bool boolSubscribed = false;
    // A window event that came while a rebuild ran: one more rebuild follows it, never one inside it.
    mutable bool m_refreshAgain = false;
    mutable bool m_refreshDue = false;
    bool m_refreshPosted = false;
    mutable quint64 m_rebuilds = 0;
};
