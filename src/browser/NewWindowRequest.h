#pragma once

#include <QString>

#include <functional>

// A page's request to open a new window (the popup). The handler sets Cancel and settles the request,
// at once or later (while the user is asked); the browser holds the popup until then. A request dropped
// unsettled is settled with the Cancel it holds, which is the browser's "allow" unless a step changed it.
class NewWindowRequest {
public:
    using Settler = std::function<void(bool cancel)>;

    // userGesture: the page asked in answer to the user's own click or key press.
    NewWindowRequest(QString popupUrl, Settler settler, bool userGesture = false);
    ~NewWindowRequest();
    NewWindowRequest(const NewWindowRequest&) = delete;
    NewWindowRequest& operator=(const NewWindowRequest&) = delete;

    // The popup's own address, empty while the browser does not know it yet.
    const QString& popupUrl() const { return m_popupUrl; }
    bool userGesture() const { return m_userGesture; }

    bool Cancel() const { return m_cancel; }
    void setCancel(bool cancel) { m_cancel = cancel; }

    // Hands the decision to the browser. Only the first call counts.
    void settle();
    bool isSettled() const { return m_settled; }

    // The popup went away before it was settled (its tab closed, its opener left, the browser quit): the
    // browser has dropped it, so nothing is settled, and whoever waits for it is told once.
    void withdraw();
    void setWithdrawnHandler(std::function<void()> handler) { m_withdrawnHandler = std::move(handler); }

private:
    QString m_popupUrl;
    Settler m_settler;
    bool m_userGesture = false;
    std::function<void()> m_withdrawnHandler;
    bool m_cancel = false;
    bool m_settled = false;
};
