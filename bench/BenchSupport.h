#pragma once

// What the benchmarks share: waiting on the event loop without sleeping, and nearest-rank figures.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace bench {

// Runs the event loop until done() holds or the time runs out. Not QTest::qWaitFor: it sleeps 10 ms
// between passes, and whatever arrives meanwhile would wait, inflating every latency measured.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer tick; // wakes the blocking pass below to look at the deadline
    tick.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

inline void pause(int ms)
{
    (void)waitFor([] { return false; }, ms);
}

// Nearest rank; NaN entries (a phase that did not happen) are left out; NaN when nothing is left.
inline double percentile(std::vector<double> values, double p)
{
    std::erase_if(values, [](double v) { return std::isnan(v); });
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double median(const std::vector<double>& values)
{
    return percentile(values, 0.5);
}

// Google Benchmark's main, once the application object exists.
inline int runBenchmarks(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
