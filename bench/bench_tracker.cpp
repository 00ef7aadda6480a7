// The tracker under a browser that reports thousands of pages: what taking them in costs when their news
// arrives together (one read of the browser's messages) and in batches as a pipe delivers them, how many
// rebuilds that takes, and how long a request to end waits meanwhile.
#include "DecisionContext.h"
#include "DecisionState.h"
#include "MessagePump.h"
#include "NullSoundService.h"
#include "PopupOptions.h"
#include "ShellWindows.h"
#include "UnansweredPrompt.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

class Page : public BrowserWindow {
public:
    explicit Page(QString url)
        : m_url(std::move(url))
    {}
    QString LocationURL() const override { return m_url; }
    void Quit() override {}

private:
    QString m_url;
};

// A browser whose pages the benchmark adds, each added page reported as a browser reports it.
class ManyPages : public ShellWindows {
public:
    QList<std::shared_ptr<BrowserWindow>> windows() const override { return m_pages; }
    void add(int count)
    {
        for (int i = 0; i < count; ++i) {
            m_pages.append(std::make_shared<Page>(QStringLiteral("https://site%1.example/").arg(m_pages.size())));
            emit WindowRegistered(long(m_pages.size()));
        }
    }

private:
    QList<std::shared_ptr<BrowserWindow>> m_pages;
};

class NoPump : public MessagePump {
public:
    void ProcessPending() override {}
};

class Options : public PopupOptions {
public:
    bool PopupBlocking() const override { return true; }
    bool SetupMode() const override { return false; }
    bool BlockSound() const override { return false; }
    bool LinkException() const override { return false; }
};

struct Engine {
    DecisionState state;
    Options options;
    NullSoundService silence;
    modPlaySound sound{silence};
    NoPump pump;
    UnansweredPrompt prompt;
    DecisionContext context{state, options, sound, pump, prompt, QString()};
};

// range(0) pages, their news delivered range(1) at a time with one pass of the event loop after each batch
// (a pipe read carries some tens of them; one at a time is the worst case, a rebuild per page). A timer due
// at once stands for a signal: how long it waits.
void BM_PagesTakenIn(benchmark::State& state)
{
    const int pages = int(state.range(0));
    const int batch = int(state.range(1));
    double rebuilds = 0;
    double longestWaitMs = 0;
    for (auto _ : state) {
        Engine engine;
        ManyPages browser;
        cIEWindows tracker(browser, engine.context);
        const quint64 before = tracker.rebuildCount();
        for (int added = 0; added < pages; added += batch) {
            QElapsedTimer waited;
            waited.start();
            bool answered = false;
            QTimer::singleShot(0, [&] { answered = true; });
            browser.add(std::min(batch, pages - added));
            while (!answered)
                QCoreApplication::processEvents();
            longestWaitMs = std::max(longestWaitMs, double(waited.nsecsElapsed()) / 1e6);
        }
        QCoreApplication::processEvents();
        if (tracker.Count() != pages)
            state.SkipWithError("the tracker lost pages");
        rebuilds = double(tracker.rebuildCount() - before);
    }
    state.counters["rebuilds"] = rebuilds;
    state.counters["signal_wait_ms"] = longestWaitMs;
}
BENCHMARK(BM_PagesTakenIn)
    ->Args({20000, 20000})
    ->Args({20000, 64})
    ->Args({2000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
