// The blocking engine as both faces run it: the lines it writes, the count it saves at every block, what it says
// when that fails, watching switched on and off, and a question still open when it goes away.
#include "BlockingEngine.h"
#include "DecisionDoubles.h"
#include "FakeBrowser.h"
#include "MemorySettings.h"
#include "Module1.h"
#include "NullSoundService.h"
#include "SettingsPassThrough.h"
#include "StoredOptions.h"
#include "TestFiles.h"
#include "cIEWindows.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

struct Rig {
    QTemporaryDir home;
    MemorySettings settings;
    NullSoundService sound;
    ManualPrompt prompt;
    QString lines;
    QTextStream out{&lines};
    std::unique_ptr<BlockingEngine> engine;
    FakeShellWindows* browsers = nullptr;

    explicit Rig(QHash<QString, QString> stored = {})
    {
        settings.values = std::move(stored);
        engine = std::make_unique<BlockingEngine>(
            BlockingEngine::Setup{std::make_unique<SettingsPassThrough>(settings), dataFolder(), QString()}, sound,
            prompt, out);
        auto fake = std::make_unique<FakeShellWindows>();
        browsers = fake.get();
        engine->windows().add(std::move(fake));
    }
    QString dataFolder() const { return home.filePath("data/Tarnwick"); }
    bool open()
    {
        QString error;
        return engine->OpenLists("www.tarnwick.example", &error);
    }
};

// A popup of the page, blocked once the decision is through.
bool blocks(FakeBrowserWindow& page)
{
    auto popup = page.openPopup();
    return QTest::qWaitFor([&popup] { return popup.blocked(); }, 5000);
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void startsFromTheStoredOptionsAndCount();
    void everyDecisionIsOneLineAndEveryBlockIsSaved();
    void aCountThatCannotBeSavedIsSaidOnceUntilItCanAgain();
    void watchingCanStopAndStartAgain();
    void listFolderThatCannotBeMadeStopsTheStart();
    void questionStillOpenAtTheEndBlocks();
};

void TestEngine::startsFromTheStoredOptionsAndCount()
{
    Rig defaults;
    const StoredOptions& options = defaults.engine->options();
    QVERIFY(options.PopupBlocking() && options.SetupMode() && options.BlockSound() && !options.LinkException());
    QCOMPARE(defaults.engine->state().gBlockedCount, 0);

    Rig stored({{"chkStopPop", "0"}, {"chkAuto", "0"}, {"chkSound", "0"}, {"chkLinks", "1"}, {"intStopped", "12"}});
    const StoredOptions& changed = stored.engine->options();
    QVERIFY(!changed.PopupBlocking() && !changed.SetupMode() && !changed.BlockSound() && changed.LinkException());
    QCOMPARE(stored.engine->state().gBlockedCount, 12);
}

void TestEngine::everyDecisionIsOneLineAndEveryBlockIsSaved()
{
    Rig rig({{"chkAuto", "0"}, {"intStopped", "4"}});
    QVERIFY(rig.open());
    QVERIFY(writeBytes(rig.dataFolder() + "/allowed.txt", "good.example\r\n"));
    rig.engine->lists().LoadAllowedSites();
    rig.engine->StartWatching();
    QSignalSpy counted(rig.engine.get(), &BlockingEngine::BlockedCountChanged);

    auto ads = rig.browsers->open("https://ads.example/page");
    auto good = rig.browsers->open("https://www.good.example/");
    auto blocked = ads->openPopup("https://ads.example/pop");
    QTRY_VERIFY(blocked.blocked());
    auto allowed = good->openPopup("https://www.good.example/wanted");
    QTRY_VERIFY(allowed.settled());
    QVERIFY(!allowed.blocked());
    QVERIFY(rig.engine->ToggleAllowNext());
    auto let = ads->openPopup("https://ads.example/once");
    QTRY_VERIFY(let.settled());
    QVERIFY(!let.blocked());

    QCOMPARE(rig.lines, "blocked\tads.example\thttps://ads.example/pop\n"
                        "allowed\twww.good.example\thttps://www.good.example/wanted\n"
                        "allowed\tads.example\thttps://ads.example/once\n");
    QCOMPARE(rig.engine->decisionCount(), 3);
    QCOMPARE(counted.size(), 1);
    QCOMPARE(counted.first().first().toInt(), 5);
    QCOMPARE(rig.settings.values.value("intStopped"), "5");
}

void TestEngine::aCountThatCannotBeSavedIsSaidOnceUntilItCanAgain()
{
    Rig rig({{"chkAuto", "0"}});
    QVERIFY(rig.open());
    rig.engine->StartWatching();
    QSignalSpy said(rig.engine.get(), &BlockingEngine::Status);
    auto page = rig.browsers->open("https://ads.example/");


    rig.settings.refuseWrites = true;
    QVERIFY(blocks(*page));
    QVERIFY(blocks(*page));
    QCOMPARE(said.size(), 1);
    QCOMPARE(said.first().first().toString(), "The count of blocked popups could not be saved");
    // The count goes on in memory, and reaches the store once it takes writes again.
    QCOMPARE(rig.engine->state().gBlockedCount, 2);
    rig.settings.refuseWrites = false;
    QVERIFY(blocks(*page));
    QCOMPARE(rig.settings.values.value("intStopped"), "3");
    rig.settings.refuseWrites = true;
    QVERIFY(blocks(*page));
    QCOMPARE(said.size(), 2);
}

void TestEngine::watchingCanStopAndStartAgain()
{
    Rig rig({{"chkAuto", "0"}});
    QVERIFY(rig.open());
    auto page = rig.browsers->open("https://ads.example/");
    QVERIFY(!rig.engine->tracker());
    QVERIFY2(!page->openPopup().blocked(), "nobody blocks before the engine watches");

    rig.engine->StartWatching();
    QCOMPARE(rig.engine->tracker()->Count(), 1);
    QVERIFY(blocks(*page));
    rig.engine->StopWatching();
    QVERIFY(!rig.engine->tracker());
    QVERIFY(!page->openPopup().blocked());
    rig.engine->StartWatching();
    QVERIFY(blocks(*page));
    QCOMPARE(rig.engine->decisionCount(), 2);
    QCOMPARE(rig.lines.count(u'\n'), 2);
}

void TestEngine::listFolderThatCannotBeMadeStopsTheStart()
{
    Rig rig;
    QVERIFY(writeBytes(rig.home.filePath("data"), "a file where the data folder should go"));
    QString error;
    QVERIFY(!rig.engine->OpenLists("www.tarnwick.example", &error));
    QVERIFY2(error.contains(rig.dataFolder()), qPrintable(error));
}

void TestEngine::questionStillOpenAtTheEndBlocks()
{
    auto rig = std::make_unique<Rig>();
    QVERIFY(rig->open());
    rig->engine->StartWatching();
    auto page = rig->browsers->open("https://unknown.example/");
    auto popup = page->openPopup("https://unknown.example/pop");
    QCOMPARE(rig->prompt.shown.size(), 1);
    QVERIFY(!popup.settled());
    rig->engine.reset();
    QVERIFY(popup.blocked());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
