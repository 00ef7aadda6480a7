// The main window from load to unload, offscreen: options and their messages, the settings it reads and
// writes, the list files it makes, run at start-up through real autostart entries, and the splash.
#include "BlockingEngine.h"
#include "FakeBrowser.h"
#include "FileRoutines.h"
#include "Form1.h"
#include "MainWindowDoubles.h"
#include "MemorySettings.h"
#include "Module1.h"
#include "NullSoundService.h"
#include "NullWindowPlacement.h"
#include "RegistryService.h"
#include "SettingsPassThrough.h"
#include "StoredOptions.h"
#include "TestFiles.h"
#include "UnansweredPrompt.h"
#include "frmSplash.h"
#include "modIdentity.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QToolButton>

namespace {

const QStringList kWrittenAtClose{"chkRunAtStart", "chkOnTop",      "chkAuto",  "chkStopPop", "intStopped",
                                  "strAllowed",    "strDisallowed", "chkLinks", "state"};

// One main window over a blocking engine, with everything they need, in a folder of its own.
struct Rig {
    QTemporaryDir home;
    MemorySettings settings;
    std::unique_ptr<Registry> registry;
    NullWindowPlacement placement;
    NullSoundService soundService;
    UnansweredPrompt prompt;
    QString lines;
    QTextStream linesOut{&lines};
    // The banner is off unless a test wants it: it needs a page to show.
    ProductIdentity identity = withoutBanner(LoadProductIdentity());
    ShellDouble shell;
    std::unique_ptr<BlockingEngine> engine;
    FakeShellWindows* browsers = nullptr;
    std::unique_ptr<Form1> form;

    Rig()
    {
        registry =
            createRegistry({home.filePath("registry.sqlite3"), autostart(), "Tarnwick", "example.tarnwick.Tarnwick"});
        engine = std::make_unique<BlockingEngine>(
            BlockingEngine::Setup{std::make_unique<SettingsPassThrough>(settings), dataFolder(), QString()},
            soundService, prompt, linesOut);
        auto fake = std::make_unique<FakeShellWindows>();
        browsers = fake.get();
        engine->windows().add(std::move(fake));
    }
    static ProductIdentity withoutBanner(ProductIdentity identity)
    {
        identity.gShowBanner = false;
        return identity;
    }
    QString dataFolder() const { return home.filePath("data/Tarnwick"); }
    QString autostart() const { return home.filePath("config/autostart"); }
    QString program() const { return home.filePath("my programs/tarnwick"); }
    DecisionState& state() const { return engine->state(); }
    int helpShown() const { return int(shell.calls.count("ShowHelpWindow")); }

    Form1& build()
    {
        form = std::make_unique<Form1>(Form1::Services{*engine, identity, *registry, placement, shell, program()});
        return *form;
    }
    Form1& load()
    {
        build();
        QString error;
        if (!form->Load(&error))
            qFatal("load failed: %s", qPrintable(error));
        return *form;
    }
};

template <typename Control> Control* control(QObject& form, const char* name)
{
    auto* found = form.findChild<Control*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QAction* actionItem(Form1& form, int index)
{
    for (QAction* action : form.findChildren<QAction*>(QStringLiteral("mnuActionItem"))) {
        if (action->property("index").toInt() == index)
            return action;
    }
    qFatal("no mnuActionItem %d", index);
}

QCheckBox* box(Form1& form, int number)
{
    return form.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(number));
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void firstStartWithNothingStored();
    void storedValuesAreRestored();
    void valuesThatAreNotNumbersReadAsDefaults();
    void listFilesDecideTheListsOverStoredTexts();
    void everyOptionSaysWhatItDid_data();
    void everyOptionSaysWhatItDid();
    void closeWritesTheSettingsInOrder();
    void closeWithTheBrowserWindowOpenLeavesTheProgramRunning();
    void blocksAreCountedLiveAndSavedAtOnce();
    void runAtStartupWritesAndRemovesARealAutostartEntry();
    void runAtStartupThatCannotBeWrittenSaysSo();
    void captionsComeFromTheIdentity_data();
    void captionsComeFromTheIdentity();
    void controlsSitWhereTheTwipsSay();
    void bannerMakesRoomOnlyWhenThereIsOne();
    void unusableDataFolderStopsTheLoad();
    void splashLoadsTheMainWindowAtTheLastTick();
    void fileRoutines();
    void allowNextTogglesFromEverySource();
    void minimisingHidesInTheTrayAndShowingRestores();
    void withoutATrayMinimisingKeepsTheWindowReachable();
    void startedMinimisedEndsUpInTheTray();
    void hotKeyThatCannotBeHadIsSaidOnce();
    void listsAreEditedFromTheKeyboard();
    void panelTwoShowsWholeMessages();
    void everyControlHasADistinctAccessibleName();
};

void TestForm1::firstStartWithNothingStored()
{
    Rig rig;
    Form1& form = rig.load();
    QVERIFY(box(form, 1)->isChecked());
    QVERIFY(box(form, 2)->isChecked());
    QVERIFY(box(form, 5)->isChecked());
    QVERIFY(!box(form, 3)->isChecked());
    QVERIFY(!box(form, 4)->isChecked());
    QVERIFY(!box(form, 6)->isChecked());
    QCOMPARE(form.panelText(1), "0 Popups blocked to date");
    // The options' messages at start-up find no panel 2.
    QCOMPARE(form.panelCount(), 3);
    QCOMPARE(form.panelText(2), QString());
    QCOMPARE(form.panelText(3), QString());
    // Only the sound option is stored while starting.
    QCOMPARE(rig.settings.writes, (QList<QPair<QString, QString>>{{"chkSound", "1"}}));
    QCOMPARE(readBytes(rig.dataFolder() + "/allowed.txt"), "www.tarnwick.example\r\n");
    QCOMPARE(readBytes(rig.dataFolder() + "/disallowed.txt"), "\r\n");
    QCOMPARE(rig.engine->lists().List1().stringList(), QStringList{"www.tarnwick.example"});
    QCOMPARE(form.state(), "up");
    QVERIFY(!(form.windowState() & Qt::WindowMinimized));
    QCOMPARE(rig.helpShown(), 1);
    QVERIFY(!form.isOnTop());
    QVERIFY(rig.placement.calls().isEmpty());
    QVERIFY(rig.engine->tracker());
    // The decision reads the boxes.
    const StoredOptions& options = rig.engine->options();
    QVERIFY(options.PopupBlocking() && options.SetupMode() && options.BlockSound() && !options.LinkException());
}

void TestForm1::storedValuesAreRestored()
{
    Rig rig;
    rig.settings.values = {{"chkLinks", "1"},   {"chkSound", "0"},    {"chkOnTop", "1"}, {"chkAuto", "0"},
                           {"chkStopPop", "0"}, {"intStopped", "41"}, {"state", "Up"},   {"showHelp", "yes"}};
    Form1& form = rig.load();
    QVERIFY(box(form, 6)->isChecked());
    QVERIFY(!box(form, 5)->isChecked());
    QVERIFY(box(form, 3)->isChecked());
    QVERIFY(!box(form, 2)->isChecked());
    QVERIFY(!box(form, 1)->isChecked());
    QCOMPARE(form.panelText(1), "41 Popups blocked to date");
    QCOMPARE(rig.state().gBlockedCount, 41);
    // Always on top took effect through its own handling, stored again as it ran.
    QVERIFY(form.isOnTop());
    QVERIFY(rig.placement.isTopmost(form.winId()));
    // Only exactly "up" starts the window normal: minimised, which the window records as "down".
    QCOMPARE(rig.settings.writes, (QList<QPair<QString, QString>>{{"chkOnTop", "1"}, {"state", "down"}}));
    QCOMPARE(form.state(), "down");
    QVERIFY(form.windowState() & Qt::WindowMinimized);
    // Only exactly "1" shows the help.
    QCOMPARE(rig.helpShown(), 0);
    // Without a tray to hide in, the window says why it stays in the task bar.
    QCOMPARE(form.panelText(2), "There is no system tray: the window stays in the task bar");
}

void TestForm1::valuesThatAreNotNumbersReadAsDefaults()
{
    Rig rig;
    rig.settings.values = {
        {"chkStopPop", "yes"}, {"chkAuto", "2"}, {"chkLinks", ""}, {"intStopped", "lots"}, {"chkOnTop", "99999999"}};
    Form1& form = rig.load();
    QVERIFY(box(form, 1)->isChecked());
    QVERIFY(box(form, 2)->isChecked());
    QVERIFY(!box(form, 6)->isChecked());
    QVERIFY(!box(form, 3)->isChecked());
    QCOMPARE(form.panelText(1), "0 Popups blocked to date");
}

void TestForm1::listFilesDecideTheListsOverStoredTexts()
{
    Rig rig;
    rig.settings.values = {{"strAllowed", "stored.example\r\n"}, {"strDisallowed", "gone.example\r\n"}};
    QVERIFY(writeBytes(rig.dataFolder() + "/allowed.txt", "a.example\r\nb.example\r\n\r\n"));
    QVERIFY(writeBytes(rig.dataFolder() + "/disallowed.txt", "c.example\r\n"));
    rig.load();
    QCOMPARE(rig.state().gAllowedSites.text(), "a.example\r\nb.example\r\n");
    QCOMPARE(rig.state().gDisallowedSites.text(), "c.example\r\n");
    // Existing files are never rewritten at start-up.
    QCOMPARE(readBytes(rig.dataFolder() + "/allowed.txt"), "a.example\r\nb.example\r\n\r\n");
    QCOMPARE(rig.engine->lists().List2().stringList(), QStringList{"c.example"});
}

void TestForm1::everyOptionSaysWhatItDid_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("off");
    QTest::addColumn<QString>("storedKey");
    QTest::newRow("Check1") << 1 << "Now blocking popups"
                            << "Now allowing popups"
                            << "";
    QTest::newRow("Check2") << 2 << "Setup Mode Enabled"
                            << "Setup Mode Disabled"
                            << "";
    QTest::newRow("Check3") << 3 << "Always On Top Enabled"
                            << "Always On Top Disabled"
                            << "chkOnTop";
    QTest::newRow("Check4") << 4 << "Run On Startup Enabled"
                            << "Run On Startup Disabled"
                            << "";
    QTest::newRow("Check5") << 5 << "Sounds Enabled"
                            << "Sounds Disabled"
                            << "chkSound";
    QTest::newRow("Check6") << 6 << "Auto New Window Enabled"
                            << "Auto New Window Disabled"
                            << "";
}

void TestForm1::everyOptionSaysWhatItDid()
{
    QFETCH(int, number);
    QFETCH(QString, on);
    QFETCH(QString, off);
    QFETCH(QString, storedKey);
    Rig rig;
    Form1& form = rig.load();
    QCheckBox* option = box(form, number);
    const bool wasOn = option->isChecked();
    rig.settings.writes.clear();

    option->click();
    QCOMPARE(form.panelText(2), wasOn ? off : on);
    option->click();
    QCOMPARE(form.panelText(2), wasOn ? on : off);
    QCOMPARE(option->isChecked(), wasOn);
    if (storedKey.isEmpty()) {
        QVERIFY(rig.settings.writes.isEmpty());
    } else {
        const QString first = wasOn ? "0" : "1";
        const QString second = wasOn ? "1" : "0";
        QCOMPARE(rig.settings.writes, (QList<QPair<QString, QString>>{{storedKey, first}, {storedKey, second}}));
    }
    if (number == 3) {
        QCOMPARE(rig.placement.calls().size(), 2);
        QVERIFY(rig.placement.calls().constFirst().topmost);
        QVERIFY(!rig.placement.isTopmost(form.winId()));
        QVERIFY(!form.isOnTop());
    }
}

void TestForm1::closeWritesTheSettingsInOrder()
{
    Rig rig;
    Form1& form = rig.load();
    box(form, 3)->click();
    box(form, 6)->click();
    rig.state().gBlockedCount = 7;
    rig.settings.writes.clear();
    QSignalSpy ended(&form, &Form1::ProgramEnded);

    form.close();
    QCOMPARE(rig.settings.writtenKeys(), kWrittenAtClose);
    QCOMPARE(rig.settings.values.value("chkOnTop"), "1");
    QCOMPARE(rig.settings.values.value("chkLinks"), "1");
    QCOMPARE(rig.settings.values.value("chkStopPop"), "1");
    QCOMPARE(rig.settings.values.value("intStopped"), "7");
    QCOMPARE(rig.settings.values.value("strAllowed"), "www.tarnwick.example\r\n");
    QCOMPARE(rig.settings.values.value("state"), "up");
    QCOMPARE(ended.size(), 1);
    QCOMPARE(rig.shell.calls.count("RemoveTrayIcon"), 1);
    QCOMPARE(rig.shell.calls.count("RemoveHook"), 1);
    // The program ends, and its skin with it.
    QCOMPARE(rig.shell.calls.count("StopSkinning"), 1);
    QVERIFY(!rig.engine->tracker());
    // A second close (the session ending after "Exit") writes nothing more.
    form.Unload();
    QCOMPARE(rig.settings.writtenKeys().size(), kWrittenAtClose.size());
}

void TestForm1::closeWithTheBrowserWindowOpenLeavesTheProgramRunning()
{
    Rig rig;
    rig.shell.websiteOpen = true;
    Form1& form = rig.load();
    QSignalSpy ended(&form, &Form1::ProgramEnded);
    form.close();
    QCOMPARE(rig.settings.writtenKeys().mid(1), kWrittenAtClose);
    QCOMPARE(ended.size(), 0);
    // The skin stays for the browser window, which ends the program when it closes.
    QCOMPARE(rig.shell.calls.count("StopSkinning"), 0);
    QVERIFY(!rig.engine->tracker());
}

void TestForm1::blocksAreCountedLiveAndSavedAtOnce()
{
    Rig rig;
    rig.settings.values = {{"chkAuto", "0"}, {"intStopped", "9"}};
    Form1& form = rig.load();
    auto page = rig.browsers->open("https://ads.example/page");
    auto popup = page->openPopup("https://ads.example/popup");
    QTRY_VERIFY(popup.settled());
    QVERIFY(popup.blocked());
    QCOMPARE(form.panelText(1), "10 Popups blocked to date");
    QCOMPARE(rig.settings.values.value("intStopped"), "10");

    // A store that refuses the count says so instead of losing it quietly.
    rig.settings.refuseWrites = true;
    auto second = page->openPopup("https://ads.example/popup2");
    QTRY_VERIFY(second.settled());
    QCOMPARE(form.panelText(1), "11 Popups blocked to date");
    QCOMPARE(form.panelText(2), "The count of blocked popups could not be saved");
}

void TestForm1::runAtStartupWritesAndRemovesARealAutostartEntry()
{
    Rig rig;
    Form1& form = rig.load();
    const QString entry = rig.autostart() + "/Tarnwick.desktop";
    box(form, 4)->click();
    QCOMPARE(form.panelText(2), "Run On Startup Enabled");
    const QByteArray written = readBytes(entry);
    // The path has a space: the Exec line quotes it.
    QVERIFY2(written.contains("Exec=\"" + rig.program().toUtf8() + "\""), written.constData());
    QVERIFY2(written.contains("\nIcon=example.tarnwick.Tarnwick\n"), written.constData());
    // The Run value reads back as the program's path.
    RegKey run;
    RegValue value;
    QVERIFY(rig.registry->openKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", run,
                                  KEY_READ) == RegResult::Success);
    QVERIFY(rig.registry->queryValue(run.handle(), "Tarnwick", value) == RegResult::Success);
    QCOMPARE(value.data, rig.program().toUtf8().append('\0'));

    box(form, 4)->click();
    QCOMPARE(form.panelText(2), "Run On Startup Disabled");
    QVERIFY(!QFileInfo::exists(entry));
    // Nothing there to remove is no failure.
    box(form, 4)->click();
    box(form, 4)->click();
    QCOMPARE(form.panelText(2), "Run On Startup Disabled");

    // Stored as on, the next start writes the entry again.
    Rig next;
    next.settings.values = {{"chkRunAtStart", "1"}};
    next.load();
    QVERIFY(QFileInfo::exists(next.autostart() + "/Tarnwick.desktop"));
}

void TestForm1::runAtStartupThatCannotBeWrittenSaysSo()
{
    Rig rig;
    // A file where the autostart folder should be.
    QVERIFY(writeBytes(rig.autostart(), "not a folder"));
    Form1& form = rig.load();
    box(form, 4)->click();
    QCOMPARE(form.panelText(2), "Run On Startup could not be enabled");
    QVERIFY(!box(form, 4)->isChecked());

    // Stored as on: the failure at start-up is shown once panel 2 exists, and the box tells the truth.
    Rig stored;
    QVERIFY(writeBytes(stored.autostart(), "not a folder"));
    stored.settings.values = {{"chkRunAtStart", "1"}};
    Form1& again = stored.load();
    QVERIFY(!box(again, 4)->isChecked());
    QCOMPARE(again.panelText(2), "Run On Startup could not be enabled");
}

void TestForm1::captionsComeFromTheIdentity_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("website");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("visit");
    QTest::newRow("as built") << "Hollin"
                              << "www.tarnwick.example"
                              << "Tarnwick by Hollin"
                              << "Visit www.tarnwick.example";
    QTest::newRow("no company") << ""
                                << "www.tarnwick.example"
                                << "Tarnwick by "
                                << "Visit www.tarnwick.example";
    QTest::newRow("no web site") << "Hollin"
                                 << ""
                                 << "Tarnwick by Hollin"
                                 << "Visit ";
}

void TestForm1::captionsComeFromTheIdentity()
{
    QFETCH(QString, company);
    QFETCH(QString, website);
    QFETCH(QString, caption);
    QFETCH(QString, visit);
    Rig rig;
    ProductRecord record = ProductRecord::compiled();
    record.CompanyName = company;
    record.Comments = website;
    rig.identity = Rig::withoutBanner(LoadProductIdentity(record, "https://banner.example/adserver.asp"));
    QVERIFY(rig.identity.gUseSkin);
    QCOMPARE(rig.identity.gBannerUrl, "https://banner.example/adserver.asp");
    Form1& form = rig.load();
    QCOMPARE(form.windowTitle(), caption);
    QCOMPARE(control<QToolButton>(form, "Command7")->text(), visit);
}

void TestForm1::controlsSitWhereTheTwipsSay()
{
    Rig rig;
    Form1& form = rig.load();
    const qreal scale = form.logicalDpiX() / 96.0;
    auto px = [scale](int twips) {
        return qRound(twips * scale / 15.0);
    };
    QCOMPARE(control<QGroupBox>(form, "Frame1")->geometry(), QRect(px(60), px(2880), px(7515), px(3675)));
    QCOMPARE(box(form, 4)->geometry(), QRect(px(120), px(1440), px(200), px(200)));
    QCOMPARE(form.findChild<QLabel*>("Label8")->toolTip(), box(form, 4)->toolTip());
    QCOMPARE(form.findChild<QLabel*>("Label8")->text(), "Automation: Run at startup and block popups automatically");
    QCOMPARE(form.findChild<QWidget*>("List2")->parentWidget(), control<QGroupBox>(form, "Frame1"));
    QCOMPARE(form.centralWidget()->width(), px(7605));
    // The status bar's panels share the window's width without widening it.
    form.show();
    QCOMPARE(form.width(), px(7605));
    QVERIFY(control<QLabel>(*form.statusBar(), "Panel1")->width() <= px(7605) / 2);
    QVERIFY(form.font().families().contains("Verdana"));
    QStringList menus;
    for (QAction* action : form.menuBar()->actions())
        menus.append(action->text());
    QCOMPARE(menus, (QStringList{"File", "Action", "Tools", "Help", "About"}));
    QStringList popup;
    for (QAction* action : control<QMenu>(form, "Popup")->actions())
        popup.append(action->objectName());
    QCOMPARE(popup, (QStringList{"close", "show", "allow", "Exit"}));
}

void TestForm1::bannerMakesRoomOnlyWhenThereIsOne()
{
    Rig without;
    Form1& plain = without.load();
    QCOMPARE(plain.topTwips(control<QGroupBox>(plain, "Frame1")), 2880);

    Rig with;
    with.identity.gShowBanner = true;
    Form1& form = with.load();
    QCOMPARE(with.shell.calls.count("InstallBanner"), 1);
    QCOMPARE(form.topTwips(control<QGroupBox>(form, "Frame1")), 2880 + 945 + 100);
    QCOMPARE(form.topTwips(control<QGroupBox>(form, "Frame2")), 1080 + 945 + 100);
    QCOMPARE(form.clientHeightTwips(), 6930 + 945 + 100);

    // A banner that fails leaves the program starting, the later steps included.
    Rig failing;
    failing.identity.gShowBanner = true;
    failing.shell.installBanner = [](WebView&, QLabel&) {
        throw std::runtime_error("no banner today");
    };
    failing.load();
    QCOMPARE(failing.helpShown(), 1);
}

void TestForm1::unusableDataFolderStopsTheLoad()
{
    Rig rig;
    QVERIFY(writeBytes(rig.home.filePath("data"), "a file where the data folder should go"));
    Form1& form = rig.build();
    QString error;
    QVERIFY(!form.Load(&error));
    QVERIFY2(error.contains(rig.dataFolder()), qPrintable(error));

    // A folder in place of a list file is no list file either.
    Rig folder;
    QVERIFY(QDir().mkpath(folder.dataFolder() + "/allowed.txt"));
    QVERIFY(!folder.build().Load(&error));
    QVERIFY2(error.contains(folder.dataFolder() + "/allowed.txt"), qPrintable(error));
}

void TestForm1::splashLoadsTheMainWindowAtTheLastTick()
{
    const ProductIdentity identity = LoadProductIdentity();
    QWidget main;
    int loads = 0;
    frmSplash splash(identity, [&]() -> QWidget* {
        ++loads;
        // The timer is stopped before the main window loads.
        if (splash.Timer2.isActive())
            return nullptr;
        return &main;
    });
    splash.show();
    splash.Load();
    QVERIFY(splash.Timer2.isActive());
    QCOMPARE(splash.Timer2.interval(), 2);
    QTRY_VERIFY(main.isVisible());
    QCOMPARE(loads, 1);
    QCOMPARE(splash.intTemp, 150);
    QVERIFY(!splash.isVisible());
    QVERIFY(!splash.Image1->pixmap().isNull());
}

void TestForm1::fileRoutines()
{
    QCOMPARE(TrimPath("/home/user/allowed.txt"), "allowed.txt");
    QCOMPARE(TrimPath("allowed.txt"), "allowed.txt");
    QCOMPARE(TrimPath(""), "");
    QCOMPARE(TrimPath("/home/user/"), "");
    QCOMPARE(TrimPath("a\\b.txt"), "a\\b.txt");

    QTemporaryDir folder;
    QVERIFY(writeBytes(folder.filePath("Help.rtf"), "{\\rtf1}"));
    QVERIFY(fileExists(folder.filePath("Help.rtf")));
    // Another letter case is another file here.
    QVERIFY(!fileExists(folder.filePath("HELP.RTF")));
    QVERIFY(!fileExists(folder.filePath("missing.rtf")));
    QVERIFY(!fileExists(folder.path()));
    QVERIFY(!fileExists(""));
    QVERIFY(QFile::link(folder.filePath("Help.rtf"), folder.filePath("link.rtf")));
    QVERIFY(fileExists(folder.filePath("link.rtf")));
}

void TestForm1::allowNextTogglesFromEverySource()
{
    Rig rig;
    Form1& form = rig.load();
    QVERIFY(!rig.state().gAllowNext);
    control<QToolButton>(form, "Command5")->click();
    QVERIFY(rig.state().gAllowNext);
    QCOMPARE(form.panelText(2), "The next popup will be allowed.");
    control<QAction>(form, "allow")->trigger();
    QVERIFY(!rig.state().gAllowNext);
    QCOMPARE(form.panelText(2), "The next popup will NOT be allowed.");
    actionItem(form, 1)->trigger();
    QVERIFY(rig.state().gAllowNext);
    form.pctHotkey_MouseMove();
    QVERIFY(!rig.state().gAllowNext);
    QCOMPARE(form.panelText(2), "The next popup will NOT be allowed.");

    // A popup that uses the flag leaves the text alone.
    control<QToolButton>(form, "Command5")->click();
    auto page = rig.browsers->open("https://ads.example/");
    auto popup = page->openPopup("https://ads.example/p");
    QTRY_VERIFY(popup.settled());
    QVERIFY(!popup.blocked());
    QVERIFY(!rig.state().gAllowNext);
    QCOMPARE(form.panelText(2), "The next popup will be allowed.");
}

void TestForm1::minimisingHidesInTheTrayAndShowingRestores()
{
    Rig rig;
    rig.shell.trayShown = true;
    Form1& form = rig.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    rig.settings.writes.clear();

    control<QToolButton>(form, "Command6")->click();
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.state(), "down");
    QCOMPARE(rig.settings.writes.value(0), (QPair<QString, QString>{"state", "down"}));
    control<QAction>(form, "show")->trigger();
    QTRY_VERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());
    QCOMPARE(form.state(), "up");
    QCOMPARE(rig.settings.writes.constLast(), (QPair<QString, QString>{"state", "up"}));

    // "Exit" from the tray menu while hidden ends the program and keeps "down" for the next start.
    actionItem(form, 0)->trigger();
    QTRY_VERIFY(!form.isVisible());
    QSignalSpy ended(&form, &Form1::ProgramEnded);
    rig.settings.writes.clear();
    control<QAction>(form, "Exit")->trigger();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(rig.settings.writtenKeys(), kWrittenAtClose);
    QCOMPARE(rig.settings.values.value("state"), "down");
}

void TestForm1::withoutATrayMinimisingKeepsTheWindowReachable()
{
    Rig rig;
    rig.shell.trayShown = false;
    Form1& form = rig.load();
    form.show();
    control<QToolButton>(form, "Command6")->click();
    QCOMPARE(form.state(), "down");
    QVERIFY(form.isVisible());
    QCOMPARE(form.panelText(2), "There is no system tray: the window stays in the task bar");
}

void TestForm1::startedMinimisedEndsUpInTheTray()
{
    Rig rig;
    rig.shell.trayShown = true;
    rig.settings.values = {{"state", "down"}};
    Form1& form = rig.load();
    form.show();
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.state(), "down");
}

void TestForm1::hotKeyThatCannotBeHadIsSaidOnce()
{
    Rig rig;
    rig.shell.installHook = [](QString* reason) {
        *reason = "Another program holds the Win+Z hot key.";
        return false;
    };
    Form1& form = rig.load();
    QCOMPARE(form.panelText(2), "Another program holds the Win+Z hot key.");
}

void TestForm1::listsAreEditedFromTheKeyboard()
{
    Rig rig;
    Form1& form = rig.load();
    Module1& lists = rig.engine->lists();
    struct Side {
        const char* box;
        const char* list;
        QStringListModel& rows;
        QString file;
        QString name;
    };
    for (const Side& side :
         {Side{"Text1", "List1", lists.List1(), rig.dataFolder() + "/allowed.txt", "allowed"},
          Side{"Text2", "List2", lists.List2(), rig.dataFolder() + "/disallowed.txt", "disallowed"}}) {
        auto* box = control<QLineEdit>(form, side.box);
        const QStringList before = side.rows.stringList();
        // Enter adds what the box holds, trimmed.
        QTest::keyClicks(box, " shop.example ");
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(side.rows.stringList(), before + QStringList{"shop.example"});
        // The same host again, in other letters: said, not added.
        box->setText("HTTPS://Shop.Example/cart");
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(side.rows.rowCount(), before.size() + 1);
        QCOMPARE(form.panelText(2), "shop.example is on the " + side.name + " list already");
        box->setText("   ");
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(side.rows.rowCount(), before.size() + 1);
        QCOMPARE(form.panelText(2), "Type a site first; nothing was added to the " + side.name + " list");

        // Delete on the selected entry removes it from the box, the file and the text.
        auto* list = control<QListView>(form, side.list);
        list->setCurrentIndex(side.rows.index(int(before.size())));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(side.rows.stringList(), before);
        QVERIFY(!readBytes(side.file).contains("shop.example"));
        // With nothing selected, Delete deletes nothing.
        list->selectionModel()->clearSelection();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(side.rows.stringList(), before);
    }
    QVERIFY(!rig.state().gAllowedSites.covers(u"shop.example"));
    QVERIFY(!rig.state().gDisallowedSites.covers(u"shop.example"));
}

void TestForm1::panelTwoShowsWholeMessages()
{
    Rig rig;
    Form1& form = rig.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* panel = control<QLabel>(*form.statusBar(), "Panel2");
    // The longest messages an option or the allow-next switch writes.
    for (int number : {4, 6}) {
        box(form, number)->click();
        QApplication::processEvents();
        QVERIFY2(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(form.panelText(2)),
                 qPrintable(form.panelText(2)));
    }
    control<QToolButton>(form, "Command5")->click();
    control<QToolButton>(form, "Command5")->click();
    QCOMPARE(form.panelText(2), "The next popup will NOT be allowed.");
    QApplication::processEvents();
    QVERIFY(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(form.panelText(2)));
    // A message longer than any panel can still be read whole.
    // A folder where the list file should be: the message names the whole path.
    QVERIFY(QFile::remove(rig.dataFolder() + "/allowed.txt"));
    QVERIFY(QDir().mkpath(rig.dataFolder() + "/allowed.txt"));
    control<QLineEdit>(form, "Text1")->setText("a-site-with-a-rather-long-name.example");
    control<QToolButton>(form, "Command1")->click();
    QVERIFY(form.panelText(2).startsWith("Could not write"));
    QCOMPARE(panel->toolTip(), form.panelText(2));
}

void TestForm1::everyControlHasADistinctAccessibleName()
{
    Rig rig;
    Form1& form = rig.load();
    QHash<QString, QString> seen;
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                             qobject_cast<QAbstractItemView*>(widget);
        // Qt's own helpers (the menu bar's extension button) are not the window's controls.
        if (!control || widget->objectName().isEmpty() || widget->objectName().startsWith("qt_"))
            continue;
        QString name = widget->accessibleName();
        if (name.isEmpty())
            name = qobject_cast<QAbstractButton*>(widget) ? qobject_cast<QAbstractButton*>(widget)->text() : QString();
        QVERIFY2(!name.isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(!seen.contains(name),
                 qPrintable(name + " names both " + seen.value(name) + " and " + widget->objectName()));
        seen.insert(name, widget->objectName());
    }
    QCOMPARE(seen.key("Text1"), "Allowed site");
    QCOMPARE(seen.key("List2"), "Disallowed sites list");
    QCOMPARE(seen.key("Command3"), "Delete disallowed site");
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
