// What the user waits for on a real X server (an Xvfb of the benchmark's own, managed by openbox): a popup of a
// site on neither list until the setup-mode prompt is on screen, and Win+Z until the main window says what it
// did. The main window is built in-process as the desktop program builds it, in folders of its own.
#include "BenchSupport.h"
#include "BlockingEngine.h"
#include "Form1.h"
#include "Form3.h"
#include "HotKeyService.h"
#include "IniSettingsStore.h"
#include "MainWindowDoubles.h"
#include "NullSoundService.h"
#include "PromptForwarder.h"
#include "RegistryService.h"
#include "SetupPrompt.h"
#include "ShellWindows.h"
#include "WindowPlacement.h"
#include "XServerRig.h"
#include "clsOnTop.h"
#include "modHook.h"
#include "modIdentity.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <benchmark/benchmark.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The server of this run; nullptr until main() has one, which outlives every benchmark.
const XServerRig* gX = nullptr;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    return bench::waitFor(done, timeoutMs);
}

// Lets the window manager finish with the last iteration's windows before the next one is timed.
void settle()
{
    (void)waitFor([] { return false; }, 100);
}

using bench::percentile;

void report(benchmark::State& state, const std::vector<double>& ms)
{
    state.counters["median_ms"] = percentile(ms, 0.5);
    state.counters["p90_ms"] = percentile(ms, 0.9);
    // The first one pays for fonts, pictures and the window manager's first look: apart, to see how much.
    state.counters["first_ms"] = ms.empty() ? std::nan("") : ms.front();
}

bool isOnScreen(const QWidget* window)
{
    return window && window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed();
}

// One page window whose page asks for popups when the benchmark says so.
class BenchBrowserWindow : public BrowserWindow {
public:
    explicit BenchBrowserWindow(QString location)
        : m_location(std::move(location))
    {}
    QString LocationURL() const override { return m_location; }
    void Quit() override {}

    // Raises NewWindow2; the result holds the Cancel the request was settled with, once it is.
    std::shared_ptr<std::optional<bool>> openPopup(const QString& popupUrl)
    {
        auto cancelled = std::make_shared<std::optional<bool>>();
        emit NewWindow2(
            std::make_shared<NewWindowRequest>(popupUrl, [cancelled](bool cancel) { *cancelled = cancel; }));
        return cancelled;
    }

private:
    QString m_location;
};

// A collection of that one window, there from the start.
class BenchShellWindows : public ShellWindows {
public:
    explicit BenchShellWindows(std::shared_ptr<BrowserWindow> window)
        : m_windows{std::move(window)}
    {}
    QList<std::shared_ptr<BrowserWindow>> windows() const override { return m_windows; }

private:
    QList<std::shared_ptr<BrowserWindow>> m_windows;
};

// The main window as the desktop program has it once loaded and shown: the settings file, the registry and the
// list files in a folder of its own, the platform's window placement and hot key, and setup mode asking through
// its own window. Nothing is stored, so blocking and setup mode are on and only the product's site is allowed.
class Desk {
public:
    Desk()
        : registry(createRegistry({home.filePath(QStringLiteral("data/Tarnwick/registry.sqlite3")),
                                   home.filePath(QStringLiteral("config/autostart")), QStringLiteral("Tarnwick"),
                                   QStringLiteral("example.tarnwick.Tarnwick")}))
        , placement(createWindowPlacement())
        , hotKeys(createHotKeyService())
        , hook(*hotKeys)
        , shell(hook)
        , onTop(*placement)
    {
        identity.gShowBanner = false;
        engine = std::make_unique<BlockingEngine>(
            BlockingEngine::Setup{std::make_unique<IniSettingsStore>(IniSettingsStore::atPath(
                                      home.filePath(QStringLiteral("config/Tarnwick/Tarnwick.ini")))),
                                  home.filePath(QStringLiteral("data/Tarnwick")), QString()},
            soundService, prompt, lines);
        engine->windows().add(std::make_unique<BenchShellWindows>(page));
        form = std::make_unique<Form1>(Form1::Services{*engine, identity, *registry, *placement, shell,
                                                       home.filePath(QStringLiteral("bin/tarnwick"))});
        if (!form->Load(&error))
            return;
        Form1* loaded = form.get();
        auto service = std::make_unique<SetupPrompt>(identity, engine->lists(), onTop,
                                                     [loaded] { return loaded->isOnTop() ? loaded->winId() : WId(0); });
        setupPrompt = service.get();
        prompt.setTarget(std::move(service));
        form->show();
        if (!waitFor([this] { return isOnScreen(form.get()); }))
            error = QStringLiteral("the main window did not come on screen");
    }
    ~Desk()
    {
        // As the desktop program ends: the prompt before the main window whose lists it changes, the main window
        // (unloaded, which gives the hot key back) before the browsers it watches.
        prompt.setTarget(nullptr);
        if (form)
            form->close();
        form.reset();
    }
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // The main window's hot key is the platform's own.
    struct HotKeyShell : ShellDouble {
        explicit HotKeyShell(modHook& hotKey)
            : hook(hotKey)
        {}
        bool InstallHook(QWidget& target, std::function<void()> pressed, QString* reason) override
        {
            installed = hook.InstallHook(target, std::move(pressed), reason);
            return installed;
        }
        void RemoveHook() override { hook.RemoveHook(); }
        modHook& hook;
        bool installed = false;
    };

    QTemporaryDir home;
    ProductIdentity identity = LoadProductIdentity();
    std::unique_ptr<Registry> registry;
    std::unique_ptr<WindowPlacement> placement;
    std::unique_ptr<HotKeyService> hotKeys;
    modHook hook;
    HotKeyShell shell;
    clsOnTop onTop;
    NullSoundService soundService; // a blocked popup would pop otherwise
    PromptForwarder prompt;
    QString lineText;
    QTextStream lines{&lineText};
    std::shared_ptr<BenchBrowserWindow> page =
        std::make_shared<BenchBrowserWindow>(QStringLiteral("http://popups.bench.example/page.html"));
    std::unique_ptr<BlockingEngine> engine;
    std::unique_ptr<Form1> form;
    SetupPrompt* setupPrompt = nullptr; // owned by prompt
    QString error;
};

// False, with the benchmark skipped, when there is no server to run on.
bool haveXServer(benchmark::State& state)
{
    if (!gX || !gX->installed()) {
        state.SkipWithError(gX ? qPrintable(gX->error()) : "no X server");
        return false;
    }
    if (!gX->error().isEmpty()) {
        state.SkipWithError(qPrintable(QStringLiteral("the X server did not start: ") + gX->error()));
        return false;
    }
    return true;
}

// From NewWindow2 raised for a page of a site on neither list to the prompt window mapped and exposed. Each
// prompt is then answered Block Now, so the next popup finds no prompt open.
void BM_PopupToPrompt(benchmark::State& state)
{
    if (!haveXServer(state))
        return;
    Desk desk;
    if (!desk.error.isEmpty()) {
        state.SkipWithError(qPrintable(desk.error));
        return;
    }
    settle();
    std::vector<double> ms;
    int popup = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto cancelled =
            desk.page->openPopup(QStringLiteral("http://popups.bench.example/ad.html?%1").arg(++popup));
        const bool shown = waitFor([&] { return isOnScreen(desk.setupPrompt->current()); });
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!shown) {
            state.SkipWithError("the prompt did not come on screen within 10 s");
            return;
        }
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1e3);

        desk.setupPrompt->current()->Command4->click();
        if (!waitFor([&] { return cancelled->has_value() && !desk.setupPrompt->current(); }) || !cancelled->value()) {
            state.SkipWithError("Block Now did not block the popup");
            return;
        }
        settle();
    }
    report(state, ms);
}
BENCHMARK(BM_PopupToPrompt)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// The first key with the keysym in its first column; 0 when none has it.
xcb_keycode_t keycodeOf(xcb_connection_t* c, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int keys = setup->max_keycode - setup->min_keycode + 1;
    const XReply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(keys)), nullptr));
    for (int i = 0; map && i < keys; ++i)
        if (xcb_get_keyboard_mapping_keysyms(map.get())[i * map->keysyms_per_keycode] == keysym)
            return static_cast<xcb_keycode_t>(setup->min_keycode + i);
    return 0;
}

// From Win+Z typed (through XTEST, on the benchmark's own connection, as another program would) to panel 2 of the
// main window saying the allow-next switch turned over.
void BM_HotKeyToPanel(benchmark::State& state)
{
    if (!haveXServer(state))
        return;
    xcb_connection_t* c = gX->connection();
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
    if (!xtest || !xtest->present) {
        state.SkipWithError("the X server has no XTEST extension");
        return;
    }
    constexpr xcb_keysym_t kSuperL = 0xffeb; // XK_Super_L
    constexpr xcb_keysym_t kZ = 0x007a;      // XK_z
    const xcb_keycode_t super = keycodeOf(c, kSuperL);
    const xcb_keycode_t z = keycodeOf(c, kZ);
    if (super == 0 || z == 0) {
        state.SkipWithError("the server's keyboard has no Super_L or no z");
        return;
    }
    Desk desk;
    if (!desk.error.isEmpty()) {
        state.SkipWithError(qPrintable(desk.error));
        return;
    }
    if (!desk.shell.installed) {
        state.SkipWithError(qPrintable(QStringLiteral("no hot key: ") + desk.form->panelText(2)));
        return;
    }
    // The whole stroke at once: the grab takes the press, the releases only leave the keyboard as it was.
    const std::pair<std::uint8_t, xcb_keycode_t> stroke[] = {
        {XCB_KEY_PRESS, super}, {XCB_KEY_PRESS, z}, {XCB_KEY_RELEASE, z}, {XCB_KEY_RELEASE, super}};
    settle();
    std::vector<double> ms;
    for (auto _ : state) {
        const QString before = desk.form->panelText(2);
        const auto start = std::chrono::steady_clock::now();
        for (const auto& [type, key] : stroke)
            xcb_test_fake_input(c, type, key, XCB_CURRENT_TIME, gX->root(), 0, 0, 0);
        xcb_flush(c);
        const bool changed = waitFor([&] { return desk.form->panelText(2) != before; });
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!changed) {
            state.SkipWithError("panel 2 did not change within 10 s of Win+Z");
            return;
        }
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1e3);
        settle();
    }
    report(state, ms);
}
BENCHMARK(BM_HotKeyToPanel)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The server before the application, which connects to it, and stopped after it.
    XServerRig x(XServerRig::WindowManager::Openbox);
    if (x.installed() && x.error().isEmpty())
        x.useForQt();
    else
        qputenv("QT_QPA_PLATFORM", "offscreen"); // only so the application exists to skip the benchmarks
    gX = &x;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return bench::runBenchmarks(argc, argv);
}
