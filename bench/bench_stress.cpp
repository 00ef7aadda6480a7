// The real program under CPU contention: a page opens 200 popups at once in the browser the headless runner
// launched, while busy threads of this benchmark keep every core loaded. Each run counts the decisions
// printed, the popups printed "blocked" whose address reached the site all the same (leaks), and the lines
// without a popup address. Each run starts its own program and browser.
#include "LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kPopups = 200;

// Busy threads, one per core, for as long as the object lives.
class Load {
public:
    Load()
    {
        const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i) {
            m_threads.emplace_back([this] {
                volatile unsigned long spin = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
        }
    }
    ~Load()
    {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct Outcome {
    int lines = 0;
    int blocked = 0;
    int leaks = 0;
    int withoutAddress = 0;
    bool complete = false;
};

Outcome runOnce(const QString& program, const QString& home)
{
    QTemporaryDir siteFolder;
    write(siteFolder.filePath("burst.html"), "<!doctype html><title>burst</title><script>"
                                             "for (let i = 0; i < " +
                                                 QByteArray::number(kPopups) +
                                                 "; ++i) window.open('/ad.html?' + i);</script>");
    write(siteFolder.filePath("ad.html"), "<!doctype html><title>ad</title><img src=\"/ad-image.png\">");
    LoopbackHttpServer site(siteFolder.path());
    QSet<QString> requested;
    QObject::connect(&site, &LoopbackHttpServer::requestSeen,
                     [&requested](const QString&, const QString& target) { requested.insert(target); });
    Outcome outcome;
    if (!site.listen())
        return outcome;

    QProcess runner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_DATA_HOME", home + "/data");
    runner.setProcessEnvironment(environment);
    write(home + "/config/Tarnwick/Tarnwick.ini", "[Settings]\nchkAuto=0\nchkSound=0\n");
    runner.setStandardErrorFile(QProcess::nullDevice());
    runner.start(program, {"--headless", "--launch", "--open", site.url("/burst.html")});
    if (!runner.waitForStarted())
        return outcome;
    QStringList lines;
    auto read = [&] {
        while (runner.canReadLine())
            lines << QString::fromUtf8(runner.readLine()).trimmed();
        return int(lines.size());
    };
    outcome.complete = bench::waitFor([&] { return read() >= kPopups; }, 180000);
    // Ended at once, as a user's script would once the page is done: what is still in flight must be settled.
    // The site goes on answering meanwhile, and a while after.
    ::kill(pid_t(runner.processId()), SIGTERM);
    if (!bench::waitFor([&] { return runner.state() == QProcess::NotRunning; }, 30000)) {
        runner.kill();
        runner.waitForFinished(5000);
    }
    bench::pause(2000);
    read();

    outcome.lines = int(lines.size());
    for (const QString& line : std::as_const(lines)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() < 3 || fields[2].isEmpty())
            ++outcome.withoutAddress;
        if (fields.value(0) != u"blocked")
            continue;
        ++outcome.blocked;
    }
    // Every popup of the page is blocked, printed or not: any of their addresses at the site is a leak.
    for (const QString& target : std::as_const(requested)) {
        if (target.startsWith(u"/ad"))
            ++outcome.leaks;
    }
    return outcome;
}

void BM_BurstUnderLoad(benchmark::State& state)
{
    // Another build of the program may be named, to compare.
    const QString program = qEnvironmentVariableIsEmpty("TARNWICK_STRESS_PROGRAM")
                                ? QStringLiteral(TARNWICK_EXECUTABLE)
                                : qEnvironmentVariable("TARNWICK_STRESS_PROGRAM");
    QTemporaryDir home;
    int runs = 0, leaks = 0, leakyRuns = 0, withoutAddress = 0, incomplete = 0, decisions = 0;
    Load load;
    for (auto _ : state) {
        const Outcome outcome = runOnce(program, home.path());
        ++runs;
        leaks += outcome.leaks;
        leakyRuns += outcome.leaks > 0 ? 1 : 0;
        withoutAddress += outcome.withoutAddress;
        incomplete += outcome.complete ? 0 : 1;
        decisions += outcome.lines;
        fprintf(stderr, "run %d: %d lines, %d blocked, %d leaked addresses, %d lines without an address%s\n", runs,
                outcome.lines, outcome.blocked, outcome.leaks, outcome.withoutAddress,
                outcome.complete ? "" : " (incomplete)");
    }
    state.counters["runs"] = runs;
    state.counters["leaks"] = leaks;
    state.counters["leaky_runs"] = leakyRuns;
    state.counters["no_address"] = withoutAddress;
    state.counters["incomplete_runs"] = incomplete;
    state.counters["decisions"] = decisions;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Many runs: the leak it watches for came in a few runs out of dozens. TARNWICK_STRESS_RUNS sets how many.
    bool given = false;
    const int runs = qEnvironmentVariableIntValue("TARNWICK_STRESS_RUNS", &given);
    benchmark::RegisterBenchmark("BM_BurstUnderLoad", BM_BurstUnderLoad)
        ->Iterations(given && runs > 0 ? runs : 50)
        ->Unit(benchmark::kSecond);
    return bench::runBenchmarks(argc, argv);
}
