// New tabs a page asks for without an opener (a scripted click with a modifier key) are the page's popups,
// decided before the network sees them; new tabs the user opens from a link are the user's own. Real
// headless Chromium, a loopback site that logs every request.
#include "BrowserRig.h"

#include <QJsonArray>
#include <QTest>

namespace {

// Builds a link and clicks it by script, with the keys that make the browser open it as a new tab.
const QByteArray kModifierClick = R"html(<script>
function modifierClick(path, keys) {
    const a = document.createElement('a');
    a.href = path;
    a.textContent = 'made by script';
    document.body.appendChild(a);
    const k = keys || { ctrl: true, meta: true };
    const e = document.createEvent('MouseEvents');
    e.initMouseEvent('click', true, true, window, 0, 0, 0, 0, 0, !!k.ctrl, false, !!k.shift, !!k.meta, 0, null);
    a.dispatchEvent(e);
}
</script>)html";

QByteArray page(const QByteArray& body)
{
    return "<!doctype html><title>page</title><body>" + kModifierClick + body + "</body>";
}

const QByteArray kLinks = R"html(
<style>a, button { position: absolute; left: 10px; width: 200px; height: 30px; display: block; }</style>
<a id="first" href="/user-first.html" style="top: 10px">first</a>
<a id="second" href="/user-second.html" style="top: 60px">second</a>
<button id="button" style="top: 110px" onclick="modifierClick('/tab-inclick.html')">open</button>)html";

bool decisionsReach(const BrowserRig& rig, int count)
{
    return QTest::qWaitFor([&] { return rig.decisions.size() >= count; }, 15000);
}

QString site(const BrowserRig& rig)
{
    return QStringLiteral("127.0.0.1:%1").arg(QUrl(rig.url("/")).port());
}

} // namespace

class TestNewTabsEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void scriptedModifierClicksAreBlockedBeforeTheNetwork();
    void usersOwnNewTabsOpenWithoutAQuestion();
    void allowedSitesNewTabLoads();
    void heldNewTabWaitsForTheAnswer();
};

void TestNewTabsEndToEnd::scriptedModifierClicksAreBlockedBeforeTheNetwork()
{
    BrowserRig rig;
    rig.addPage("onload.html", page("<script>modifierClick('/tab-onload.html')</script>"));
    rig.addPage("timer.html", page("<script>setTimeout(() => modifierClick('/tab-timer.html'), 300)</script>"));
    rig.addPage("links.html", page(kLinks));
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);

    // As the page loads, and later on a timer, no user anywhere near.
    QVERIFY(rig.open(browser, "/onload.html"));
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(rig.open(browser, "/timer.html"));
    QVERIFY(decisionsReach(rig, 2));

    // Inside the user's real click on a button, which is no link of that address.
    CdpPageWindow* links = rig.open(browser, "/links.html");
    QVERIFY(links);
    rig.click(links, 50, 125);
    QVERIFY(decisionsReach(rig, 3));

    // Inside a click the page was handed as the user's, with each key that makes a tab or a window.
    const QStringList kinds = {
        "modifierClick('/tab-ctrl.html', { ctrl: true })",
        "modifierClick('/tab-shift.html', { shift: true })",
        "a = document.createElement('a'); a.href = '/tab-constructed.html'; document.body.appendChild(a);"
        " a.dispatchEvent(new MouseEvent('click', { bubbles: true, cancelable: true, ctrlKey: true }))",
    };
    for (const QString& kind : kinds) {
        const int before = int(rig.decisions.size());
        rig.run(links, kind);
        QVERIFY2(decisionsReach(rig, before + 1), qPrintable(kind));
    }

    const QStringList paths = {"/tab-onload.html", "/tab-timer.html", "/tab-inclick.html",
                               "/tab-ctrl.html",   "/tab-shift.html", "/tab-constructed.html"};
    QCOMPARE(rig.decisions.size(), paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        QVERIFY2(rig.decisions[i].blocked, qPrintable(paths[i]));
        QCOMPARE(rig.decisions[i].url, rig.url(paths[i]));
        QCOMPARE(rig.decisions[i].site, site(rig));
    }
    QCOMPARE(rig.state.gBlockedCount, int(paths.size()));
    // The tabs are closed (every page left is a window) and their pages never asked for, even late.
    QVERIFY(QTest::qWaitFor([&] { return rig.pageTargets(browser) == browser->windows().size(); }, 15000));
    QTest::qWait(500);
    QVERIFY2(!rig.requested("/tab-"), qPrintable(rig.requests().join(' ')));
    for (const auto& window : browser->windows())
        QVERIFY2(!window->LocationURL().contains("/tab-"), qPrintable(window->LocationURL()));
    // The asking page goes on working.
    QCOMPARE(rig.evaluate(links, "6 * 7").value("value").toInt(), 42);
}

void TestNewTabsEndToEnd::usersOwnNewTabsOpenWithoutAQuestion()
{
    BrowserRig rig;
    rig.addPage("links.html", page(kLinks));
    rig.addPage("user-first.html", "<!doctype html><title>first</title>");
    rig.addPage("user-second.html", "<!doctype html><title>second</title>");
    // Setup mode: a page's request would be asked about, so a question would show.
    rig.options.check2 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* links = rig.open(browser, "/links.html");
    QVERIFY(links);
    const auto windows = browser->windows().size();

    // Ctrl+click on the first link, a middle click on the second.
    rig.click(links, 50, 25, QStringLiteral("left"), 2);
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/user-first.html"); }, 15000));
    rig.click(links, 50, 75, QStringLiteral("middle"));
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/user-second.html"); }, 15000));
    // Both are watched windows of their own; the page stays where it was.
    QVERIFY(QTest::qWaitFor([&] { return browser->windows().size() == windows + 2; }, 15000));
    QCOMPARE(links->LocationURL(), rig.url("/links.html"));

    // Shift+click on the first link again: a new window, the user's too.
    rig.click(links, 50, 25, QStringLiteral("left"), 8);
    QVERIFY(QTest::qWaitFor([&] { return browser->windows().size() == windows + 3; }, 15000));
    QVERIFY(QTest::qWaitFor([&] { return rig.requests().count("/user-first.html") == 2; }, 15000));

    QVERIFY(rig.prompt.shown.isEmpty());
    QVERIFY(rig.decisions.isEmpty());
    QCOMPARE(rig.state.gBlockedCount, 0);

    // The user's click excuses that link once, not the page's script after it.
    const qsizetype asked = rig.requests().count("/user-first.html");
    rig.run(links, "modifierClick('/user-first.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 1; }, 15000));
    QCOMPARE(rig.prompt.shown[0].site, site(rig));
    rig.prompt.answer(0, false);
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(rig.decisions[0].blocked);
    QTest::qWait(300);
    QCOMPARE(rig.requests().count("/user-first.html"), asked);
}

void TestNewTabsEndToEnd::allowedSitesNewTabLoads()
{
    BrowserRig rig;
    rig.addPage("onload.html", page("<script>modifierClick('/tab-allowed.html')</script>"));
    rig.addPage("tab-allowed.html", "<!doctype html><title>allowed</title>");
    rig.state.gAllowedSites.setEntries({QStringLiteral("127.0.0.1")});
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    const auto windows = browser->windows().size();
    QVERIFY(rig.open(browser, "/onload.html"));
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(!rig.decisions[0].blocked);
    QCOMPARE(rig.decisions[0].url, rig.url("/tab-allowed.html"));
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/tab-allowed.html"); }, 15000));
    // The allowed tab is a watched window like any other.
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const auto& window : browser->windows()) {
                if (window->LocationURL() == rig.url("/tab-allowed.html"))
                    return true;
            }
            return false;
        },
        15000));
    QCOMPARE(browser->windows().size(), windows + 2);
    QCOMPARE(rig.state.gBlockedCount, 0);
}

void TestNewTabsEndToEnd::heldNewTabWaitsForTheAnswer()
{
    BrowserRig rig;
    rig.addPage("links.html", page(kLinks));
    rig.addPage("tab-yes.html", "<!doctype html><title>yes</title>");
    rig.options.check2 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* links = rig.open(browser, "/links.html");
    QVERIFY(links);
    const auto windows = browser->windows().size();

    rig.run(links, "modifierClick('/tab-no.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 1; }, 15000));
    QTest::qWait(500);
    QVERIFY(!rig.requested("/tab-no.html"));
    QCOMPARE(rig.evaluate(links, "2 + 2").value("value").toInt(), 4); // the page is not frozen
    QCOMPARE(rig.pageTargets(browser), windows + 1);
    rig.prompt.answer(0, false);
    QVERIFY(QTest::qWaitFor([&] { return rig.pageTargets(browser) == windows; }, 15000));
    QTest::qWait(300);
    QVERIFY(!rig.requested("/tab-no.html"));
    QCOMPARE(rig.state.gBlockedCount, 1);
    QCOMPARE(browser->windows().size(), windows);

    rig.run(links, "modifierClick('/tab-yes.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 2; }, 15000));
    QTest::qWait(300);
    QVERIFY(!rig.requested("/tab-yes.html"));
    rig.prompt.answer(1, true);
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/tab-yes.html"); }, 15000));
    QVERIFY(QTest::qWaitFor([&] { return browser->windows().size() == windows + 1; }, 15000));

    // The user closes the waiting tab: its question goes, nothing is decided.
    QString waitingTab;
    QObject guard; // ends the connection before the text it fills
    QObject::connect(&browser->connection(), &CdpConnection::eventReceived, &guard,
                     [&](const QString&, const QString& method, const QJsonObject& params) {
                         const QJsonObject info = params.value(u"targetInfo").toObject();
                         if (method == u"Target.targetCreated" &&
                             info.value(u"url").toString().endsWith("/tab-closed.html"))
                             waitingTab = info.value(u"targetId").toString();
                     });
    rig.run(links, "modifierClick('/tab-closed.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 3; }, 15000));
    QVERIFY(!waitingTab.isEmpty());
    browser->closeTarget(waitingTab);
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.withdrawn == 1; }, 15000));
    QCOMPARE(rig.decisions.size(), 2);
    QVERIFY(!rig.requested("/tab-closed.html"));
}

QTEST_GUILESS_MAIN(TestNewTabsEndToEnd)
#include "tst_newtabs_e2e.moc"
