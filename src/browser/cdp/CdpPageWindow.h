#pragma once

#include "BrowserWindow.h"

#include <QList>
#include <QPointer>

class CdpBrowser;

// One page target of a connected browser, as a window the popup decision watches.
class CdpPageWindow : public BrowserWindow {
    Q_OBJECT
public:
    CdpPageWindow(CdpBrowser* browser, QString targetId, QString sessionId, QString url);

    QString LocationURL() const override { return m_url; }
    // Closes the page's target.
    void Quit() override;

    const QString& targetId() const { return m_targetId; }
    const QString& sessionId() const { return m_sessionId; }
    void setUrl(const QString& url) { m_url = url; }
    // The hover reporter's world in the page's current document (0: none yet), and whether the reporter
    // has said from there that it runs.
    qint64 hoverWorld() const { return m_hoverWorld; }
    void setHoverWorld(qint64 contextId)
    {
        m_hoverWorld = contextId;
        m_hoverReporter = false;
    }
    bool hasHoverReporter() const { return m_hoverReporter; }
    void setHoverReporter(bool running) { m_hoverReporter = running; }

    struct WindowOpen {
        QString url;
        bool userGesture = false;
    };
    // The page asked for a window of this address; its popup target follows shortly.
    void noteWindowOpen(const WindowOpen& open);
    // The oldest window asked for and not yet matched to its popup; an empty one when none.
    WindowOpen takeWindowOpen();

    // The link the user's own last click, middle click or context menu was on ("" when not on a link).
    void noteUserClick(const QString& link);
    // The page's document asked for a new tab or window of this address, without an opener. True when the
    // page kept it as its own request: one the user's last click on that very link started is the user's.
    bool noteNewTabAsk(const QString& url);
    // Takes the page's own request for a new tab of this address; false when it made none.
    bool takeNewTabAsk(const QString& url);

private:
    QPointer<CdpBrowser> m_browser;
    QString m_targetId;
    QString m_sessionId;
    QString m_url;
    QList<WindowOpen> m_windowOpens;
    QString m_userLink;
    QStringList m_newTabAsks;
    qint64 m_hoverWorld = 0;
    bool m_hoverReporter = false;
};
