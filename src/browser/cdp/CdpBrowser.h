#pragma once

#include "CdpConnection.h"
#include "HoverReporter.h"
#include "ShellWindows.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

class CdpPageWindow;
class NewWindowRequest;

// The page targets of one connected browser as a window collection. Every page is attached as it
// appears, paused until the program has set it up. A page whose opener is one of these windows is a
// popup: it stays paused while the opener's window raises NewWindow2, and then is closed before it can
// reach the network, or resumed to load the way the browser opened it. A decision that takes longer
// (the user is asked) holds the popup's requests at the network gate, the opener page running on.
// A page can also ask for a new tab without an opener (a scripted click with a modifier key): the browser
// starts loading it before its target appears, so every document request waits briefly at a browser-wide
// gate, and one that a page asked for is decided as that page's popup there. A new tab the user's own click
// started is let through.
class CdpBrowser : public ShellWindows {
    Q_OBJECT
public:
    explicit CdpBrowser(std::unique_ptr<CdpConnection> connection, QString name = {}, QObject* parent = nullptr);
    ~CdpBrowser() override;

    // Starts watching the browser's pages; ready() follows once the pages open now are attached.
    void start();

    QList<std::shared_ptr<BrowserWindow>> windows() const override;
    const QString& name() const { return m_name; }
    bool isConnected() const { return !m_connection->isClosed(); }
    CdpConnection& connection() const { return *m_connection; }

    // Closes every popup in flight as blocked (held, paused or still being decided), and every popup that
    // comes from now on, and lets each opener paused on a popup's account go on once its popup is gone.
    // closedDown() follows when the browser has answered all of it, or the connection has gone.
    void closeDown() override;

    // Opens a new page (a tab) at this address.
    void openPage(const QString& url);
    void closeTarget(const QString& targetId);

    // How long a popup's gates may take to go up before it is let go regardless.
    static constexpr std::chrono::milliseconds kGateTimeout{2000};

signals:
    void ready();
    void disconnected(const QString& reason);

private:
    struct PausedRequest {
        QString sessionId;
        QString requestId;
    };
    struct Popup {
        QString targetId;
        QString sessionId;
        QString openerSessionId;
        bool canAccessOpener = false;
        bool decided = false;
        bool closing = false;
        bool cancel = false;
        bool held = false;
        // Closed by closeDown(): its opener goes on once it has gone.
        bool closedAtExit = false;
        QList<PausedRequest> paused;
        // While the decision is out: told when the popup goes away first.
        std::weak_ptr<NewWindowRequest> request;
    };

    // A new tab a page asked for, its document request held at the browser-wide gate until decided. It is
    // made a window once allowed.
    struct NewTab {
        QString targetId; // also its main frame's id
        QString requestId;
        QString openerSessionId;
        bool attached = false;
        QString sessionId;
        QJsonObject info;
        bool waiting = false;
        bool decided = false;
        std::weak_ptr<NewWindowRequest> request;
    };

    void onEvent(const QString& sessionId, const QString& method, const QJsonObject& params);
    void onAttached(const QJsonObject& params);
    void onDetached(const QString& sessionId);
    void onTargetCreated(const QJsonObject& info);
    bool onNewTabAttached(const QString& sessionId, const QJsonObject& info, bool waiting);
    void onTargetDestroyed(const QString& targetId);
    void onTargetInfoChanged(const QJsonObject& info);
    void onRequestPaused(const QString& sessionId, const QJsonObject& params);
    // A document request at the browser-wide gate.
    void onDocumentPaused(const QJsonObject& params);
    // The window that asked for a new tab of this address, its request taken; null when none did.
    CdpPageWindow* askerOfNewTab(const QString& url);
    void raiseNewTab(NewTab tab, const QString& url, CdpPageWindow* opener);
    void newTabDecided(const QString& targetId, bool cancel);
    void blockNewTab(const QString& targetId);
    // The asking page of these new tabs has gone or moved on: those still undecided are closed and withdrawn.
    void dropNewTabsOf(const QString& openerSessionId);
    void forgetNewTab(QHash<QString, NewTab>::iterator it);
    void settleRequest(Popup& popup, const PausedRequest& request);
    void continueRequest(const PausedRequest& request);
    void failRequest(const PausedRequest& request);
    // Raises the popup's gates while it is still paused, then carries on.
    void gatePopup(const Popup& popup, std::function<void()> then);
    void forgetPopup(QHash<QString, Popup>::iterator it);
    // The opener of these popups has gone or moved on: those still undecided are closed and withdrawn.
    void dropPopupsOf(const QString& openerSessionId);
    void closePopup(const QString& sessionId);
    void onBindingCalled(const QString& sessionId, const QJsonObject& params);
    void closeAtExit(Popup& popup);
    // A command of the close-down, whose answer it waits for.
    void sendAtExit(const QString& method, const QJsonObject& params, const QString& sessionId);
    // The popup's target has gone.
    void popupGone(QHash<QString, Popup>::iterator it);
    void checkClosedDown();
    void onClosed(const QString& reason);

    void adoptPage(const QString& sessionId, const QJsonObject& info, bool waiting);
    void setUpPage(const QString& sessionId);
    void injectIntoLoadedPage(const QString& sessionId);
    void raisePopup(const QString& sessionId, const QJsonObject& info, CdpPageWindow* opener);
    void popupDecided(const QString& sessionId, bool cancel);
    void holdPopup(const QString& sessionId);
    void blockPopup(Popup& popup);
    void allowPopup(const QString& sessionId);

    void removeWindow(std::size_t index);
    CdpPageWindow* windowOfTarget(const QString& targetId) const;
    CdpPageWindow* windowOfSession(const QString& sessionId) const;

    std::unique_ptr<CdpConnection> m_connection;
    QString m_name;
    HoverReporter m_hover;
    std::vector<std::shared_ptr<CdpPageWindow>> m_windows;
    QHash<QString, Popup> m_popups;         // by the popup's session
    QHash<QString, NewTab> m_newTabs;       // by the tab's target
    QSet<QString> m_blockedTabs;            // tabs and popups closed unloaded, until their targets are gone
    QHash<QString, QString> m_createdPages; // address of each page created without an opener, until attached
    static constexpr qsizetype kMaxCreatedPages = 256;
    long m_cookie = 0;
    bool m_started = false;
    bool m_closingDown = false;
    bool m_closedDown = false;
    int m_exitAnswersDue = 0;
};
