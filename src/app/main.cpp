// tarnwick: the popup blocker's entry point.
#include "DemoDriver.h"
#include "DesktopProgram.h"
#include "HeadlessRunner.h"
#include "ProductRecord.h"
#include "frmWebsite.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {

// "--launch" takes an optional path ("--launch=PATH"), which the parser cannot express.
HeadlessRunner::Options takeLaunchOption(QStringList& arguments)
{
    HeadlessRunner::Options options;
    for (auto it = arguments.begin(); it != arguments.end();) {
        if (*it == u"--launch" || it->startsWith(u"--launch=")) {
            options.launch = true;
            options.browserPath = it->section(u'=', 1);
            it = arguments.erase(it);
        } else {
            ++it;
        }
    }
    return options;
}

bool hasArgument(int argc, char* argv[], const char* name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int runHeadless(HeadlessRunner::Options options, QTextStream& out, QTextStream& err)
{
    HeadlessRunner runner(options, out, err);
    QObject::connect(&runner, &HeadlessRunner::finished, QCoreApplication::instance(), &QCoreApplication::exit);

    if (!runner.start())
        return 1;
    std::unique_ptr<DemoDriver> driver;
    if (LoopbackHttpServer* site = runner.demoSite()) {
        driver = std::make_unique<DemoDriver>(runner, *site, err);
        QObject::connect(driver.get(), &DemoDriver::finished, QCoreApplication::instance(), &QCoreApplication::exit);
        driver->start();
    }
    return QCoreApplication::exec();
}

int runDesktop(const HeadlessRunner::Options& given, QTextStream& out, QTextStream& err)
{
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopProgram::Options options;
    options.browsers.launch = given.launch;
    options.browsers.browserPath = given.browserPath;
    options.browsers.browserUrls = given.browserUrls;
    options.browsers.openUrls = given.openUrls;
    options.demo = given.demo;
    DesktopProgram program(options, out, err);
    QObject::connect(&program, &DesktopProgram::finished, QCoreApplication::instance(), &QCoreApplication::exit);
    if (!program.start())
        return 1;
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // The built-in browser window needs this before the application object exists.
    frmWebsite::prepareProcess();
    // The windows need a screen: with none, the demo runs without them, and the desktop program says so.
    // A platform chosen by hand (e.g. offscreen) counts as a screen.
    const bool headless = hasArgument(argc, argv, "--headless");
    const bool demo = hasArgument(argc, argv, "--demo");
    const bool screen = demo ? hasDisplay() : hasDisplay() || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const bool desktop = !headless && screen && !hasArgument(argc, argv, "--help") &&
                         !hasArgument(argc, argv, "--version") && !hasArgument(argc, argv, "-h") &&
                         !hasArgument(argc, argv, "-v");
    std::unique_ptr<QCoreApplication> app =
        desktop ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    const ProductRecord record = ProductRecord::compiled();
    QCoreApplication::setApplicationName(record.ProductName);
    QCoreApplication::setApplicationVersion(record.ProductVersion);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList arguments = QCoreApplication::arguments();
    HeadlessRunner::Options options = takeLaunchOption(arguments);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Blocks the popup windows of Chromium-family browsers unless the site asking is allowed.\n"
                       "Without options it shows its window and watches every browser that has DevTools enabled.\n\n"
                       "  --launch[=PATH]        Start a browser (PATH, or the first one found) and watch it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headlessOption(QStringLiteral("headless"),
                                            QStringLiteral("Run without windows; print one line per popup decision."));
    const QCommandLineOption browserUrl(
        QStringLiteral("browser-url"),
        QStringLiteral("Watch a running browser through its DevTools address (http://127.0.0.1:PORT or ws://...)."),
        QStringLiteral("URL"));
    const QCommandLineOption open(QStringLiteral("open"), QStringLiteral("Open a page in the launched browser."),
                                  QStringLiteral("URL"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"), QStringLiteral("Show what the program does: a launched browser on a demo page full of "
                                               "popups (without windows when there is no screen)."));
    parser.addOptions({headlessOption, browserUrl, open, demoOption});
    parser.process(arguments);

    options.browserUrls = parser.values(browserUrl);
    options.openUrls = parser.values(open);
    options.demo = parser.isSet(demoOption);
    if (desktop)
        return runDesktop(options, out, err);
    if (!headless && !options.demo) {
        err << "No screen to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set): run with --headless."
            << Qt::endl;
        return 2;
    }
    return runHeadless(options, out, err);
}
