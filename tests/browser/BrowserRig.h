#pragma once

#include "BrowserLauncher.h"
#include "CdpBrowser.h"
#include "CdpPageWindow.h"
#include "DecisionContext.h"
#include "DecisionDoubles.h"
#include "DecisionState.h"
#include "LoopbackHttpServer.h"
#include "MessagePump.h"
#include "NullSoundService.h"
#include "PipeTransport.h"
#include "PopupOptions.h"
#include "PromptService.h"
#include "ShellWindowsGroup.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <optional>

// A real headless Chromium driven by the program's own browser layer, a loopback web site whose every
// request is logged, and the popup decision wired to both, for the end-to-end tests.
class BrowserRig {
public:
    struct Decision {
        QString site, url;
        bool blocked;
    };

    BrowserRig();
    ~BrowserRig();

    // Writes a page of the loopback site.
    void addPage(const QString& path, const QByteArray& html);
    QString url(const QString& path) const { return m_server.url(path); }
    // Paths the site was asked for, in order.
    QStringList requests() const { return m_requests; }
    bool requested(const QString& prefix) const;

    // Starts one more browser and waits until it is watched. Null on failure, with the reason logged.
    CdpBrowser* launch();
    // Opens a page in the browser and waits for its window.
    CdpPageWindow* open(CdpBrowser* browser, const QString& path);
    // Runs a script in the page as if the user had just clicked.
    void run(CdpPageWindow* page, const QString& script, bool userGesture = true);
    // Sends a real mouse event to the page.
    void mouse(CdpPageWindow* page, const QString& type, double x, double y, int clicks = 0);
    // A real click of the user's at (x, y): button "left", "middle" or "right", with modifier keys held
    // (1 Alt, 2 Ctrl, 4 Meta, 8 Shift).
    void click(CdpPageWindow* page, double x, double y, const QString& button = QStringLiteral("left"),
               int modifiers = 0);
    // Page targets of the browser, windows or not, whose address contains the text.
    qsizetype pageTargets(CdpBrowser* browser, const QString& text = {});
    // Moves the mouse onto the page's link at (50, 25) until the page reports the link at that path, coming
    // again from off it while the page is not listening yet (a loaded machine can be that slow).
    bool hoverLink(CdpPageWindow* page, const QString& path);
    // The page's result of a script, waited for.
    QJsonObject evaluate(CdpPageWindow* page, const QString& script);

    DecisionState state;
    FakeOptions options;
    ManualPrompt prompt;
    QList<Decision> decisions;
    ShellWindowsGroup group;
    std::unique_ptr<cIEWindows> tracker;
    QList<CdpBrowser*> browsers;

private:
    // Sends a command to the page and waits for its answer; nothing when the page is unknown.
    std::optional<CdpConnection::Reply> command(CdpPageWindow* page, const QString& method, const QJsonObject& params);

    QTemporaryDir m_site;
    QTemporaryDir m_profiles;
    LoopbackHttpServer m_server;
    QStringList m_requests;
    NullSoundService m_silence;
    modPlaySound m_sound{m_silence};
    CountingPump m_pump;
    std::unique_ptr<DecisionContext> m_context;
};
