// The desktop program: start-up to the main window shown (splash included), with and without the skin and the
// banner pane, the help window's opening, and the memory of the idle program with no browser attached, its
// QtWebEngine helpers counted. Offscreen, each run in folders of its own.
#include "BannerPane.h"
#include "BenchSupport.h"
#include "DesktopProgram.h"
#include "Form1.h"
#include "Form8.h"
#include "IniSettingsStore.h"
#include "NullWindowPlacement.h"
#include "ResourceLocator.h"
#include "WebView.h"
#include "clsOnTop.h"
#include "frmWebsite.h"
#include "modIdentity.h"

#include <QAbstractTextDocumentLayout>
#include <QTextEdit>
#include <QWindow>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QToolButton>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void useFoldersOf(const QTemporaryDir& home)
{
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
}

// Waits for a page view to have its page loaded, asking the page itself: its loadFinished may have come
// already.
bool pageLoaded(WebView& view, int timeoutMs)
{
    bool complete = false;
    bool asking = false;
    return bench::waitFor(
        [&] {
            if (!complete && !asking) {
                asking = view.runJavaScript(QStringLiteral("document.readyState"), [&](const QVariant& state) {
                    complete = state.toString() == u"complete" && view.url().isValid() && !view.url().isEmpty();
                    asking = false;
                });
            }
            return complete;
        },
        timeoutMs);
}

// From the splash shown to the main window shown, as the program does it: the splash's 75 ticks, the
// settings, the registry, the list files, the tracker; with the skin and the banner pane (argument 1) or
// without them (0). With the banner, also the time until its page has loaded.
void BM_StartupToMainWindow(benchmark::State& state)
{
    const bool decorated = state.range(0) != 0;
    std::vector<double> times;
    std::vector<double> bannerTimes;
    QTextStream err(stderr);
    QTextStream out(stdout);
    for (auto _ : state) {
        QTemporaryDir home;
        useFoldersOf(home);
        QElapsedTimer clock;
        clock.start();
        DesktopProgram::Options options;
        options.decorated = decorated;
        options.webEngineFolder = QStringLiteral(TARNWICK_BINARY_DIR);
        DesktopProgram program(options, out, err);
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
        if (decorated) {
            state.PauseTiming();
            if (!pageLoaded(*program.mainWindow()->findChild<WebView*>(QStringLiteral("wbBanner")), 30000)) {
                state.SkipWithError("the banner page did not load within 30 s");
                return;
            }
            bannerTimes.push_back(double(clock.nsecsElapsed()) / 1e6);
            state.ResumeTiming();
        }
    }
    state.counters["median_ms"] = bench::median(times);
    if (decorated)
        state.counters["banner_loaded_median_ms"] = bench::median(bannerTimes);
}
BENCHMARK(BM_StartupToMainWindow)
    ->ArgName("decorated")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The help window opened with the shipped Help.rtf: built, read, laid out and shown.
void BM_OpenHelpWindow(benchmark::State& state)
{
    QTemporaryDir home;
    useFoldersOf(home);
    const ProductIdentity identity = LoadProductIdentity();
    IniSettingsStore settings = IniSettingsStore::atPath(home.filePath(QStringLiteral("settings.ini")));
    NullWindowPlacement placement;
    clsOnTop onTop(placement);
    const QString helpFile = ResourceLocator(QStringLiteral(TARNWICK_BINARY_DIR)).path(QStringLiteral("Help.rtf"));
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        Form8 help(settings, onTop, identity, helpFile);
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

// The memory of a program and of every process it started (QtWebEngine's helpers), from /proc.
struct TreeMemory {
    double rssKiB = 0;
    double pssKiB = 0;
    int processes = 0;
};

double kibField(const QString& file, const QByteArray& field)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

TreeMemory treeMemory(qint64 root)
{
    // Parent of every process, read from the field after the command's closing parenthesis.
    QHash<qint64, qint64> parents;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        parents.insert(pid, fields.value(1).toLongLong());
    }
    QList<qint64> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i) {
        for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
            if (it.value() == tree[i])
                tree.append(it.key());
        }
    }
    TreeMemory memory;
    for (const qint64 pid : tree) {
        memory.rssKiB += kibField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
        memory.pssKiB += kibField(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
        ++memory.processes;
    }
    return memory;
}

// The program of one mode in a process of its own (this executable again, see runProgram), measured a few
// seconds after it reported ready: with or without the skin and the banner pane; started in the tray, shown, and
// shown then put back in the tray; and with the built-in browser window open on a local page or opened and closed
// again.
void BM_ProgramMemory(benchmark::State& state, const QString& mode)
{
    for (auto _ : state) {
        QTemporaryDir home;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            environment.insert(QString::fromLatin1(name), home.filePath(QString::fromLatin1(name)));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (mode == u"tray") {
            // Stored as left in the tray; with no tray here it waits minimised, which the banner treats alike.
            QDir().mkpath(home.filePath(QStringLiteral("XDG_CONFIG_HOME/Tarnwick")));
            QFile ini(home.filePath(QStringLiteral("XDG_CONFIG_HOME/Tarnwick/Tarnwick.ini")));
            if (!ini.open(QIODevice::WriteOnly) || ini.write("[Settings]\nstate=down\n") < 0) {
                state.SkipWithError("the settings could not be written");
                return;
            }
        }
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--run-program"), mode});
        if (!program.waitForStarted()) {
            state.SkipWithError("the program did not start");
            return;
        }
        QByteArray said;
        QElapsedTimer clock;
        clock.start();
        while (!said.contains("ready") && program.state() == QProcess::Running && clock.elapsed() < 60000) {
            program.waitForReadyRead(100);
            said += program.readAllStandardOutput();
        }
        const TreeMemory memory = said.contains("ready") ? treeMemory(program.processId()) : TreeMemory{};
        ::kill(pid_t(program.processId()), SIGTERM);
        program.waitForFinished(15000);
        if (memory.rssKiB == 0) {
            state.SkipWithError(qPrintable(QStringLiteral("the program (%1) did not get ready").arg(mode)));
            return;
        }
        state.counters["rss_MiB"] = memory.rssKiB / 1024.0;
        state.counters["pss_MiB"] = memory.pssKiB / 1024.0;
        state.counters["processes"] = memory.processes;
    }
}

// The child side of BM_ProgramMemory: the desktop program, brought to the state the mode names, then idle until
// it is ended.
int runProgram(const QString& mode)
{
    QTextStream err(stderr);
    QTextStream out(stdout);
    DesktopProgram::Options options;
    options.decorated = mode != u"plain";
    options.webEngineFolder = QStringLiteral(TARNWICK_BINARY_DIR);
    DesktopProgram program(options, out, err);
    QObject::connect(&program, &DesktopProgram::finished, qApp, &QCoreApplication::exit);
    if (!program.start())
        return 1;
    auto say = [](const char* what) {
        std::fprintf(stderr, "bench program (%s)\n", what);
        return 1;
    };
    if (!bench::waitFor([&] { return program.mainWindow() && program.mainWindow()->isVisible(); }, 30000))
        return say("no main window");
    Form1& main = *program.mainWindow();
    if (mode == u"tray") {
        if (!main.isMinimized())
            return say("not started in the tray");
    } else if (options.decorated) {
        // The banner's page is made once the show is over; asking the view before would make another.
        auto* banner = main.findChild<WebView*>(QStringLiteral("wbBanner"));
        const auto* pane = banner ? banner->findChild<BannerPane*>() : nullptr;
        if (!pane || !bench::waitFor([&] { return pane->loaded(); }, 30000) || !pageLoaded(*banner, 30000))
            return say("no banner page");
    }
    if (mode == u"tray-after-shown")
        main.showMinimized();
    if (mode.startsWith(u"website")) {
        program.mainWindow()->findChild<QToolButton*>(QStringLiteral("Command7"))->click();
        QPointer<frmWebsite> website;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<frmWebsite*>(window))
                website = found;
        }
        if (!website)
            return say("no browser window");
        // A page of our own: the configured web site is not reachable from every machine.
        website->Text1->setText(
            QUrl::fromLocalFile(
                ResourceLocator(QStringLiteral(TARNWICK_BINARY_DIR)).path(QStringLiteral("demo/index.html")))
                .toString());
        website->Command3->click();
        if (!pageLoaded(*website->WebBrowser1, 30000))
            return say("no page in the browser window");
        if (mode == u"website-closed") {
            website->close();
            if (!bench::waitFor([&] { return website.isNull(); }, 10000))
                return say("the browser window stayed");
        }
    }
    bench::pause(3000);
    out << "ready" << Qt::endl;
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    frmWebsite::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc == 3 && std::strcmp(argv[1], "--run-program") == 0)
        return runProgram(QString::fromLocal8Bit(argv[2]));
    for (const char* mode : {"plain", "tray", "decorated", "tray-after-shown", "website-open", "website-closed"}) {
        benchmark::RegisterBenchmark((std::string("BM_ProgramMemory/") + mode).c_str(), BM_ProgramMemory,
                                     QString::fromLatin1(mode))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    return bench::runBenchmarks(argc, argv);
}
