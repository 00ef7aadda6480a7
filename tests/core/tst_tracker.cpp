// One fresh sink on every window of the collection after every window event.
#include "DecisionContext.h"
#include "DecisionDoubles.h"
#include "DecisionState.h"
#include "FakeBrowser.h"
#include "IE_Class.h"
#include "MessagePump.h"
#include "NullSoundService.h"
#include "PopupOptions.h"
#include "PromptService.h"
#include "ShellWindowsGroup.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QPointer>
#include <QTest>

namespace {

// A collection whose listing itself brings news of another window, as a browser can while it is asked.
class BusyShellWindows : public FakeShellWindows {
public:
    mutable int listings = 0;
    mutable bool openOneMore = false;
    QList<std::shared_ptr<BrowserWindow>> windows() const override
    {
        ++listings;
        if (openOneMore) {
            openOneMore = false;
            const_cast<BusyShellWindows*>(this)->open(QStringLiteral("http://late.com/"));
        }
        return FakeShellWindows::windows();
    }
};

struct Fixture {
    DecisionState state;
    FakeOptions options;
    NullSoundService silence;
    modPlaySound sound{silence};
    CountingPump pump;
    ManualPrompt prompt;
    DecisionContext context{state, options, sound, pump, prompt, QString()};
    BusyShellWindows shell;
};

QList<QPointer<IE_Class>> watch(const cIEWindows& tracker)
{
    QList<QPointer<IE_Class>> sinks;
    for (IE_Class* sink : tracker.NewEnum())
        sinks.append(sink);
    return sinks;
}

} // namespace

class TestTracker : public QObject {
    Q_OBJECT
private slots:
    void startsEmptyAndFollowsWindows();
    void everyEventReplacesEverySink();
    void indexIsCountedFromOne();
    void eventDuringRebuildRunsAfterIt();
    void newsArrivingTogetherCostsOneRebuild();
    void popupsOfListedWindowsAreDecided();
    void pendingDecisionSurvivesRebuild();
    void destroyedTrackerHearsNothing();
    void severalBrowsersFormOneCollection();
};

void TestTracker::startsEmptyAndFollowsWindows()
{
    Fixture f;
    cIEWindows tracker(f.shell, f.context);
    QCOMPARE(tracker.Count(), 0);
    auto window = f.shell.open(QStringLiteral("http://a.com/"));
    QCOMPARE(tracker.Count(), 1);
    QCOMPARE(tracker.IE(1)->IE(), window);
    f.shell.close(window);
    QCOMPARE(tracker.Count(), 0);
}

void TestTracker::everyEventReplacesEverySink()
{
    Fixture f;
    auto a = f.shell.open(QStringLiteral("http://a.com/"));
    auto b = f.shell.open(QStringLiteral("http://b.com/"));
    auto c = f.shell.open(QStringLiteral("http://c.com/"));
    cIEWindows tracker(f.shell, f.context);
    QCOMPARE(tracker.Count(), 3);
    const auto before = watch(tracker);

    f.shell.close(b);
    QCOMPARE(tracker.Count(), 2);
    for (const auto& old : before)
        QVERIFY2(old.isNull(), "a sink of the old set is still alive");
    QCOMPARE(tracker.IE(1)->IE(), a);
    QCOMPARE(tracker.IE(2)->IE(), c);
}

void TestTracker::indexIsCountedFromOne()
{
    Fixture f;
    auto first = f.shell.open(QStringLiteral("http://first.com/"));
    f.shell.open(QStringLiteral("http://second.com/"));
    cIEWindows tracker(f.shell, f.context);
    QVERIFY(tracker.IE(0) == nullptr);
    QVERIFY(tracker.IE(3) == nullptr);
    QVERIFY(tracker.IE(-1) == nullptr);
    QCOMPARE(tracker.IE(1)->IE(), first);
    QCOMPARE(tracker.NewEnum().size(), 2);
}

void TestTracker::eventDuringRebuildRunsAfterIt()
{
    Fixture f;
    f.shell.open(QStringLiteral("http://a.com/"));
    cIEWindows tracker(f.shell, f.context);
    f.shell.listings = 0;
    f.shell.openOneMore = true;
    f.shell.open(QStringLiteral("http://b.com/"));
    QVERIFY(!tracker.isRefreshing());
    QCOMPARE(tracker.Count(), 3);
    // One rebuild for b, and one more for the window that turned up while it ran.
    QCOMPARE(f.shell.listings, 2);
    QSet<BrowserWindow*> windows;
    for (IE_Class* sink : tracker.NewEnum())
        windows.insert(sink->IE().get());
    QCOMPARE(windows.size(), 3);
}

void TestTracker::newsArrivingTogetherCostsOneRebuild()
{
    Fixture f;
    cIEWindows tracker(f.shell, f.context);
    QList<std::shared_ptr<FakeBrowserWindow>> pages;
    const quint64 before = tracker.rebuildCount();
    for (int i = 0; i < 500; ++i)
        pages << f.shell.open(QStringLiteral("http://page%1.com/").arg(i));
    f.shell.close(pages.takeFirst());
    QCoreApplication::processEvents();
    QCOMPARE(tracker.rebuildCount(), before + 1);
    QCOMPARE(tracker.Count(), 499);

    // A window that has just come raises a popup before the event loop has had a pass: it is decided all the
    // same, as the news of it is taken in first.
    auto late = f.shell.open(QStringLiteral("http://late.com/"));
    QVERIFY(late->openPopup().blocked());
    QCOMPARE(tracker.rebuildCount(), before + 2);
    QCoreApplication::processEvents();
    QCOMPARE(tracker.rebuildCount(), before + 2);
    QCOMPARE(tracker.Count(), 500);
}

void TestTracker::popupsOfListedWindowsAreDecided()
{
    Fixture f;
    f.state.gAllowedSites.setEntries({"good.com"});
    cIEWindows tracker(f.shell, f.context);
    auto good = f.shell.open(QStringLiteral("https://www.good.com/"));
    auto bad = f.shell.open(QStringLiteral("https://bad.com/"));
    QVERIFY(!good->openPopup().blocked());
    QVERIFY(bad->openPopup().blocked());
    QCOMPARE(f.state.gBlockedCount, 1);
}

void TestTracker::pendingDecisionSurvivesRebuild()
{
    Fixture f;
    f.options.check2 = true;
    cIEWindows tracker(f.shell, f.context);
    auto asking = f.shell.open(QStringLiteral("http://asking.com/"));
    auto popup = asking->openPopup();
    QCOMPARE(f.prompt.shown.size(), 1);
    f.shell.open(QStringLiteral("http://other.com/"));
    f.shell.close(asking);
    f.prompt.answer(0, false);
    QVERIFY(popup.settled() && popup.blocked());
}

void TestTracker::destroyedTrackerHearsNothing()
{
    Fixture f;
    auto window = f.shell.open(QStringLiteral("http://a.com/"));
    auto tracker = std::make_unique<cIEWindows>(f.shell, f.context);
    QVERIFY(window->openPopup().blocked());
    tracker.reset();
    QVERIFY(!window->openPopup().blocked());
    f.shell.open(QStringLiteral("http://b.com/"));
    QCOMPARE(f.state.gBlockedCount, 1);
}

void TestTracker::severalBrowsersFormOneCollection()
{
    Fixture f;
    ShellWindowsGroup group;
    cIEWindows tracker(group, f.context);
    auto first = std::make_unique<FakeShellWindows>();
    auto second = std::make_unique<FakeShellWindows>();
    FakeShellWindows* firstBrowser = first.get();
    FakeShellWindows* secondBrowser = second.get();
    auto a = firstBrowser->open(QStringLiteral("http://a.com/"));
    group.add(std::move(first));
    QCOMPARE(tracker.Count(), 1);
    group.add(std::move(second));
    QCOMPARE(tracker.Count(), 1);
    auto b = secondBrowser->open(QStringLiteral("http://b.com/"));
    auto c = firstBrowser->open(QStringLiteral("http://c.com/"));
    QCOMPARE(tracker.Count(), 3);
    QCOMPARE(tracker.IE(1)->IE(), a);
    QCOMPARE(tracker.IE(2)->IE(), c);
    QCOMPARE(tracker.IE(3)->IE(), b);
    QVERIFY(b->openPopup().blocked());

    // A browser that goes away takes its windows with it.
    group.remove(firstBrowser);
    QCOMPARE(group.memberCount(), 1);
    QCOMPARE(tracker.Count(), 1);
    QCOMPARE(tracker.IE(1)->IE(), b);
    QVERIFY(!a->openPopup().blocked());
}

QTEST_GUILESS_MAIN(TestTracker)
#include "tst_tracker.moc"
