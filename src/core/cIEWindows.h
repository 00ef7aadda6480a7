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
// one: whenever a window comes or goes it throws all its sinks away and attaches a fresh one to each.
class cIEWindows : public QObject {
    Q_OBJECT
public:
    // Runs the first rebuild at once and starts listening to the collection.
    cIEWindows(ShellWindows& shell, DecisionContext& context, QObject* parent = nullptr);
    // Releases every sink first, then stops listening.
    ~cIEWindows() override;

    // The sink at a position counted from 1; nullptr when there is none.
    IE_Class* IE(int vntIndexKey) const;
    int Count() const { return int(colIE.size()); }
    // Every sink, in the collection's order.
    QList<IE_Class*> NewEnum() const;

    bool isRefreshing() const { return boolRefreshing; }

private:
    void winShell_WindowRegistered(long lCookie);
    void winShell_WindowRevoked(long lCookie);
    IE_Class* AddWindow(const std::shared_ptr<BrowserWindow>& window);
    void RefreshWindows();

    DecisionContext& m_context;
    std::vector<std::unique_ptr<IE_Class>> colIE;
    ShellWindows* winShell = nullptr;
    bool boolRefreshing = false;
    bool boolSubscribed = false;
    // A window event that came while a rebuild ran: one more rebuild follows it, never one inside it.
    bool m_refreshAgain = false;
};
