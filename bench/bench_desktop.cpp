// The desktop program: start-up to the main window shown (splash included), and the memory of the idle
// program with no browser attached. Offscreen, each run in folders of its own.
#include "BenchSupport.h"
#include "DesktopProgram.h"
#include "Form1.h"
#include "Form8.h"
#include "IniSettingsStore.h"
#include "NullWindowPlacement.h"
#include "ResourceLocator.h"
#include "clsOnTop.h"
#include "modIdentity.h"

#include <QAbstractTextDocumentLayout>
#include <QTextEdit>
#include <QWindow>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <vector>

namespace {

void useFoldersOf(const QTemporaryDir& home)
{
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
}

// From the splash shown to the main window shown, as the program does it: the splash's 75 ticks, the
// settings, the registry, the list files, the tracker.
void BM_StartupToMainWindow(benchmark::State& state)
{
    std::vector<double> times;
    QTextStream err(stderr);
    QTextStream out(stdout);
    for (auto _ : state) {
        QTemporaryDir home;
        useFoldersOf(home);
        QElapsedTimer clock;
        clock.start();
        DesktopProgram program({}, out, err);
        if (!program.start()) {
            state.SkipWithError("the program did not start");
            return;
        }
        while (!(program.mainWindow() && program.mainWindow()->isVisible()) && clock.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        const double took = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(took);
        times.push_back(took * 1e3);
        if (!program.mainWindow() || !program.mainWindow()->isVisible()) {
            state.SkipWithError("no main window within 30 s");
            return;
        }
    }
    state.counters["median_ms"] = bench::median(times);
}
BENCHMARK(BM_StartupToMainWindow)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The help window opened with the shipped Help.rtf: built, read, laid out and shown.
void BM_OpenHelpWindow(benchmark::State& state)
{
    QTemporaryDir home;
    useFoldersOf(home);
    AppState appState;
    LoadProductIdentity(appState);
    IniSettingsStore settings = IniSettingsStore::atPath(home.filePath(QStringLiteral("settings.ini")));
    NullWindowPlacement placement;
    clsOnTop onTop(placement);
    const QString helpFile = ResourceLocator(QStringLiteral(TARNWICK_BINARY_DIR)).path(QStringLiteral("Help.rtf"));
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        Form8 help(settings, onTop, appState, helpFile);
        help.Load();
        help.show();
        help.rtf1->document()->documentLayout(); // laid out, as it is once painted
        (void)bench::waitFor([&] { return help.windowHandle() && help.windowHandle()->isExposed(); }, 10000);
        const double took = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(took);
        times.push_back(took * 1e3);
    }
    state.counters["median_ms"] = bench::median(times);
}
BENCHMARK(BM_OpenHelpWindow)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The resident memory of the program, idle a few seconds after its main window came up.
void BM_IdleResidentMemory(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir home;
        QProcess tarnwick;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            environment.insert(QString::fromLatin1(name), home.filePath(QString::fromLatin1(name)));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        tarnwick.setProcessEnvironment(environment);
        tarnwick.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        if (!tarnwick.waitForStarted()) {
            state.SkipWithError("the program did not start");
            return;
        }
        QByteArray err;
        QElapsedTimer clock;
        clock.start();
        while (!err.contains("looking for browsers") && clock.elapsed() < 30000) {
            tarnwick.waitForReadyRead(100);
            err += tarnwick.readAllStandardError();
        }
        QThread::sleep(3);
        QFile status(QStringLiteral("/proc/%1/status").arg(tarnwick.processId()));
        double rssKiB = 0;
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    rssKiB = line.mid(6).trimmed().split(' ').value(0).toDouble();
            }
        }
        ::kill(pid_t(tarnwick.processId()), SIGTERM);
        tarnwick.waitForFinished(15000);
        if (rssKiB == 0) {
            state.SkipWithError("could not read the program's memory");
            return;
        }
        state.counters["rss_MiB"] = rssKiB / 1024.0;
    }
}
BENCHMARK(BM_IdleResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return bench::runBenchmarks(argc, argv);
}
