// Popups of a real headless Chromium, decided by the program: what reaches the network, and what not.
#include "BrowserRig.h"
#include "ChildProcess.h"
#include "IE_Class.h"

#include <QJsonArray>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

const QByteArray kOpener = R"html(<!doctype html><title>opener</title>
<style>a, button { position: absolute; left: 10px; width: 200px; height: 30px; display: block; }</style>
<a id="blank" href="/target-blank.html" target="_blank" style="top: 10px">new window link</a>
<button id="button" style="top: 60px" onclick="window.open('/target-button.html')">open</button>
<p style="position: absolute; top: 300px">nothing here</p>)html";

const QByteArray kOnLoad =
    R"html(<!doctype html><title>on load</title><script>window.open('/target-onload.html')</script>)html";

// Waits until the number of decisions reaches count.
bool decisionsReach(const BrowserRig& rig, int count)
{
    return QTest::qWaitFor([&] { return rig.decisions.size() >= count; }, 15000);
}

} // namespace

class TestPopupsEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void everyKindOfPopupIsBlockedBeforeTheNetwork();
    void burstOfReachablePopupsLeaksNothing();
    void allowedSitePopupLoads();
    void allowNextLetsExactlyOneThrough();
    void realHoverOverALinkLetsThePopupThrough();
    void pageCannotFakeTheHover();
    void hoverExcusesOnlyItsOwnWindowsClick();
    void heldPopupWaitsForTheAnswer();
    void promptGoesWithItsPopup();
    void countFollowsTabs();
    void killedBrowserLeavesNoStaleWindow();
    void twoBrowsersAtOnce();
};

void TestPopupsEndToEnd::everyKindOfPopupIsBlockedBeforeTheNetwork()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("onload.html", kOnLoad);
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);

    // On load, before any user action.
    CdpPageWindow* loader = rig.open(browser, "/onload.html");
    QVERIFY(loader);
    QVERIFY(decisionsReach(rig, 1));

    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);
    const QStringList kinds = {
        "window.open('/target-click.html')",
        "document.getElementById('blank').click()",
        "window.open('/target-noopener.html', '_blank', 'noopener')",
        // Empty, then written into by the opener: its image and script must not load either.
        "var w = window.open(''); w.document.write('<img src=\"/target-written.png\">"
        "<script src=\"/target-written.js\"></scr' + 'ipt>'); w.document.close();",
    };
    for (const QString& kind : kinds) {
        const int before = int(rig.decisions.size());
        rig.run(page, kind);
        QVERIFY2(decisionsReach(rig, before + 1), qPrintable(kind));
        QVERIFY(rig.decisions.last().blocked);
        QCOMPARE(rig.decisions.last().site, QStringLiteral("127.0.0.1:%1").arg(QUrl(rig.url("/")).port()));
        // The opener page goes on working.
        QCOMPARE(rig.evaluate(page, "6 * 7").value("value").toInt(), 42);
    }
    QTest::qWait(500);
    QCOMPARE(rig.decisions.size(), 5);
    QCOMPARE(rig.decisions[1].url, rig.url("/target-click.html"));
    QCOMPARE(rig.state.gBlockedCount, 5);
    QVERIFY2(!rig.requested("/target-"), qPrintable(rig.requests().join(' ')));
    QCOMPARE(rig.tracker->Count(), 3); // the first tab and the two pages
}

// A page that opens popup after popup in one script and writes into each: every one is closed while the next is
// opened, and neither a popup's own address nor what is written into it reaches the network.
void TestPopupsEndToEnd::burstOfReachablePopupsLeaksNothing()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);

    constexpr int kPopups = 12;
    rig.run(page, QStringLiteral("for (let i = 0; i < %1; ++i) {"
                                 " const w = window.open(i % 2 ? '/burst-page-' + i + '.html' : '');"
                                 " if (w) { w.document.write('<img src=\"/burst-written-' + i + '.png\">"
                                 "<script src=\"/burst-written-' + i + '.js\"></scr' + 'ipt>'); w.document.close(); }"
                                 " } window.burstDone = true;")
                      .arg(kPopups));
    QVERIFY(decisionsReach(rig, kPopups));
    QVERIFY(std::all_of(rig.decisions.cbegin(), rig.decisions.cend(), [](const auto& d) { return d.blocked; }));
    // The opener went on to the end of its script and still answers.
    QVERIFY(QTest::qWaitFor([&] { return rig.evaluate(page, "window.burstDone === true").value("value").toBool(); },
                            15000));
    QVERIFY(QTest::qWaitFor([&] { return rig.tracker->Count() == 2; }, 15000)); // the first tab and the opener
    QTest::qWait(500);
    QCOMPARE(int(rig.decisions.size()), kPopups);
    QVERIFY2(!rig.requested("/burst-"), qPrintable(rig.requests().join(' ')));
}

void TestPopupsEndToEnd::allowedSitePopupLoads()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("target-allowed.html", "<!doctype html><title>allowed</title>");
    // No port in the entry: it covers the site on any port.
    rig.state.gAllowedSites.setEntries({"127.0.0.1"});
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);
    const int windows = rig.tracker->Count();
    rig.run(page, "window.open('/target-allowed.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/target-allowed.html"); }, 15000));
    QVERIFY(!rig.decisions.last().blocked);
    // The popup is a window like any other now.
    QVERIFY(QTest::qWaitFor([&] { return rig.tracker->Count() == windows + 1; }, 5000));
    QCOMPARE(rig.state.gBlockedCount, 0);
}

void TestPopupsEndToEnd::allowNextLetsExactlyOneThrough()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("target-first.html", "<!doctype html><title>first</title>");
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);
    rig.state.gAllowNext = true;
    rig.run(page, "window.open('/target-first.html')");
    QVERIFY(decisionsReach(rig, 1));
    rig.run(page, "window.open('/target-second.html')");
    QVERIFY(decisionsReach(rig, 2));
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/target-first.html"); }, 15000));
    QTest::qWait(500);
    QVERIFY(!rig.requested("/target-second.html"));
    QVERIFY(!rig.state.gAllowNext);
    QCOMPARE(rig.state.gBlockedCount, 1);
}

void TestPopupsEndToEnd::realHoverOverALinkLetsThePopupThrough()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("target-blank.html", "<!doctype html><title>wanted</title>");
    rig.options.check6 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);

    QVERIFY(rig.hoverLink(page, "/target-blank.html"));
    QCOMPARE(rig.state.gStatusText, rig.url("/target-blank.html"));
    rig.mouse(page, "mousePressed", 50, 25, 1);
    rig.mouse(page, "mouseReleased", 50, 25, 1);
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/target-blank.html"); }, 15000));
    QVERIFY(!rig.decisions.last().blocked);

    // Off the link the status text empties, and the next popup is blocked.
    rig.mouse(page, "mouseMoved", 400, 400);
    QVERIFY(QTest::qWaitFor([&] { return rig.state.gStatusText.isEmpty(); }, 5000));
    const int before = int(rig.decisions.size());
    rig.run(page, "window.open('/target-after.html')");
    QVERIFY(decisionsReach(rig, before + 1));
    QVERIFY(rig.decisions.last().blocked);
}

void TestPopupsEndToEnd::hoverExcusesOnlyItsOwnWindowsClick()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("follow.html", R"html(<!doctype html><title>follow</title>
<a href="/onload.html" style="position: absolute; top: 10px; left: 10px; width: 200px; height: 30px; display: block">
on</a>)html");
    rig.addPage("onload.html", kOnLoad);
    rig.addPage("target-blank.html", kOnLoad);
    rig.options.check6 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    CdpPageWindow* other = rig.open(browser, "/index.html");
    CdpPageWindow* follower = rig.open(browser, "/follow.html");
    QVERIFY(page && other && follower);
    QVERIFY(rig.hoverLink(page, "/target-blank.html"));

    // Another tab's click, while this tab's mouse is over a link, is not excused.
    rig.run(other, "window.open('/target-other.html')");
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(rig.decisions.last().blocked);
    // Nor is a popup of this tab that no click asked for, such as one on a timer.
    rig.run(page, "window.open('/target-timer.html')", false);
    QVERIFY(decisionsReach(rig, 2));
    QVERIFY(rig.decisions.last().blocked);
    QTest::qWait(300);
    QVERIFY(!rig.requested("/target-other.html") && !rig.requested("/target-timer.html"));

    // The click itself opens the link's new tab; what that tab opens as it loads is no click of the user's.
    rig.mouse(page, "mousePressed", 50, 25, 1);
    rig.mouse(page, "mouseReleased", 50, 25, 1);
    QVERIFY(decisionsReach(rig, 4));
    QVERIFY(!rig.decisions[2].blocked);
    QCOMPARE(rig.decisions[2].url, rig.url("/target-blank.html"));
    QVERIFY(rig.decisions[3].blocked);

    // Following a link leaves it behind: the next page starts with no link under the mouse, and what it opens
    // as it loads is blocked.
    QVERIFY(rig.hoverLink(follower, "/onload.html"));
    rig.mouse(follower, "mousePressed", 50, 25, 1);
    rig.mouse(follower, "mouseReleased", 50, 25, 1);
    QVERIFY(decisionsReach(rig, 5));
    QVERIFY(rig.decisions.last().blocked);
    QVERIFY(QTest::qWaitFor([&] { return follower->statusText().isEmpty(); }, 5000));
    QVERIFY(!rig.requested("/target-onload.html"));
}

void TestPopupsEndToEnd::pageCannotFakeTheHover()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.options.check6 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);
    // The page sees no binding in its own world, and made-up mouse events are not heeded.
    const QString probe =
        QStringLiteral("(() => { const names = Object.getOwnPropertyNames(window).filter(n => n.includes('tarnwick'));"
                       " const a = document.getElementById('blank');"
                       " a.dispatchEvent(new MouseEvent('mouseover', {bubbles: true}));"
                       " return names.join(','); })()");
    QCOMPARE(rig.evaluate(page, probe).value("value").toString(), QString());
    QTest::qWait(300);
    QVERIFY(rig.state.gStatusText.isEmpty());
    rig.run(page, "window.open('/target-faked.html')");
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(rig.decisions.last().blocked);
    QTest::qWait(300);
    QVERIFY(!rig.requested("/target-faked.html"));
}

void TestPopupsEndToEnd::promptGoesWithItsPopup()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.options.check2 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    CdpPageWindow* opener = rig.open(browser, "/index.html");
    QVERIFY(page && opener);

    // The user closes the tab the popup waits in: its question goes, and nothing is decided.
    rig.run(page, "window.open('/target-closed.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 1; }, 15000));
    QString popupTarget;
    browser->connection().send(QStringLiteral("Target.getTargets"), {}, [&](const CdpConnection::Reply& reply) {
        for (const QJsonValue& target : reply.result.value(u"targetInfos").toArray()) {
            if (target.toObject().value(u"openerId").toString() == page->targetId())
                popupTarget = target.toObject().value(u"targetId").toString();
        }
    });
    QVERIFY(QTest::qWaitFor([&] { return !popupTarget.isEmpty(); }, 5000));
    browser->closeTarget(popupTarget);
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.withdrawn == 1; }, 15000));

    // The page that asked goes away: its waiting popup goes with it, closed unloaded.
    rig.run(opener, "window.open('/target-orphan.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 2; }, 15000));
    opener->Quit();
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.withdrawn == 2; }, 15000));
    // An answer that comes after all changes nothing.
    rig.prompt.answer(1, true);
    QTest::qWait(500);
    QVERIFY(rig.decisions.isEmpty());
    QCOMPARE(rig.state.gBlockedCount, 0);
    QVERIFY(!rig.requested("/target-closed.html") && !rig.requested("/target-orphan.html"));
    for (const auto& window : browser->windows())
        QVERIFY2(!window->LocationURL().contains("/target-"), qPrintable(window->LocationURL()));
}

void TestPopupsEndToEnd::heldPopupWaitsForTheAnswer()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    rig.addPage("target-yes.html", "<!doctype html><title>yes</title>");
    rig.options.check2 = true;
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    CdpPageWindow* page = rig.open(browser, "/index.html");
    QVERIFY(page);

    rig.run(page, "window.open('/target-no.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 1; }, 15000));
    QTest::qWait(500);
    QVERIFY(!rig.requested("/target-no.html"));
    QCOMPARE(rig.evaluate(page, "2 + 2").value("value").toInt(), 4); // the opener is not frozen
    rig.prompt.answer(0, false);
    QTest::qWait(500);
    QVERIFY(!rig.requested("/target-no.html"));
    QCOMPARE(rig.state.gBlockedCount, 1);

    rig.run(page, "window.open('/target-yes.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.prompt.shown.size() == 2; }, 15000));
    QTest::qWait(300);
    QVERIFY(!rig.requested("/target-yes.html"));
    rig.prompt.answer(1, true);
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/target-yes.html"); }, 15000));

    // An answer that comes before the popup's gates are up still lets it load.
    rig.addPage("target-quick.html", "<!doctype html><title>quick</title>");
    rig.prompt.answerSoon = true;
    rig.run(page, "window.open('/target-quick.html')");
    QVERIFY(QTest::qWaitFor([&] { return rig.requested("/target-quick.html"); }, 15000));
}

void TestPopupsEndToEnd::countFollowsTabs()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    CdpBrowser* browser = rig.launch();
    QVERIFY(browser);
    const int initial = rig.tracker->Count();
    CdpPageWindow* first = rig.open(browser, "/index.html");
    CdpPageWindow* second = rig.open(browser, "/index.html");
    QVERIFY(first && second);
    QCOMPARE(rig.tracker->Count(), initial + 2);
    second->Quit();
    QVERIFY(QTest::qWaitFor([&] { return rig.tracker->Count() == initial + 1; }, 10000));
    QCOMPARE(rig.tracker->IE(rig.tracker->Count())->IE().get(), first);
}

void TestPopupsEndToEnd::killedBrowserLeavesNoStaleWindow()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    CdpBrowser* doomed = rig.launch();
    CdpBrowser* survivor = rig.launch();
    QVERIFY(doomed && survivor);
    QVERIFY(rig.open(doomed, "/index.html"));
    CdpPageWindow* page = rig.open(survivor, "/index.html");
    QVERIFY(page);
    const int survivorWindows = int(survivor->windows().size());

    bool lost = false;
    QObject::connect(doomed, &CdpBrowser::disconnected, [&lost] { lost = true; });
    auto* transport = static_cast<PipeTransport*>(doomed->connection().transport());
    QVERIFY(::kill(transport->process()->pid(), SIGKILL) == 0);
    QVERIFY(QTest::qWaitFor([&] { return lost; }, 15000));
    QCOMPARE(rig.tracker->Count(), survivorWindows);
    for (IE_Class* sink : rig.tracker->NewEnum())
        QVERIFY(sink->IE());

    rig.run(page, "window.open('/target-still.html')");
    QVERIFY(decisionsReach(rig, 1));
    QVERIFY(rig.decisions.last().blocked);
}

void TestPopupsEndToEnd::twoBrowsersAtOnce()
{
    BrowserRig rig;
    rig.addPage("index.html", kOpener);
    CdpBrowser* one = rig.launch();
    CdpBrowser* two = rig.launch();
    QVERIFY(one && two);
    CdpPageWindow* a = rig.open(one, "/index.html");
    CdpPageWindow* b = rig.open(two, "/index.html");
    QVERIFY(a && b);
    QCOMPARE(rig.tracker->Count(), int(one->windows().size() + two->windows().size()));
    rig.run(a, "window.open('/target-one.html')");
    rig.run(b, "window.open('/target-two.html')");
    QVERIFY(decisionsReach(rig, 2));
    QVERIFY(rig.decisions[0].blocked && rig.decisions[1].blocked);
    QTest::qWait(300);
    QVERIFY(!rig.requested("/target-"));
}

QTEST_GUILESS_MAIN(TestPopupsEndToEnd)
#include "tst_popups_e2e.moc"
