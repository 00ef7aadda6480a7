// tarnwick: the popup blocker's entry point.
#include "DemoDriver.h"
#include "HeadlessRunner.h"
#include "LoopbackHttpServer.h"
#include "ResourceLocator.h"
#include "VersionRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(VersionRecord::ProductName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(VersionRecord::ProductVersion));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList arguments = QCoreApplication::arguments();
    HeadlessRunner::Options options = takeLaunchOption(arguments);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Blocks the popup windows of Chromium-family browsers unless the site asking is allowed.\n\n"
                       "  --launch[=PATH]        Start a browser (PATH, or the first one found) and watch it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Run without windows; print one line per popup decision."));
    const QCommandLineOption browserUrl(
        QStringLiteral("browser-url"),
        QStringLiteral("Watch a running browser through its DevTools address (http://127.0.0.1:PORT or ws://...)."),
        QStringLiteral("URL"));
    const QCommandLineOption open(QStringLiteral("open"), QStringLiteral("Open a page in the launched browser."),
                                  QStringLiteral("URL"));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Show what the program does: a launched browser on a demo page full of popups."));
    parser.addOptions({headless, browserUrl, open, demo});
    parser.process(arguments);

    if (!parser.isSet(headless) && !parser.isSet(demo)) {
        err << "The desktop program is not part of this build yet: run with --headless or --demo (see --help)."
            << Qt::endl;
        return 2;
    }
    options.browserUrls = parser.values(browserUrl);
    options.openUrls = parser.values(open);
    options.demo = parser.isSet(demo);
    if (options.demo)
        options.launch = true;

    HeadlessRunner runner(options, out, err);
    QObject::connect(&runner, &HeadlessRunner::finished, &app, &QCoreApplication::exit);

    std::unique_ptr<LoopbackHttpServer> site;
    std::unique_ptr<DemoDriver> driver;
    if (options.demo) {
        site = std::make_unique<LoopbackHttpServer>(ResourceLocator().path(QStringLiteral("demo")));
        if (!site->listen()) {
            err << "cannot serve the demo page: " << site->errorString() << Qt::endl;
            return 1;
        }
    }
    if (!runner.start())
        return 1;
    if (site) {
        driver = std::make_unique<DemoDriver>(runner, *site, err);
        QObject::connect(driver.get(), &DemoDriver::finished, &app, &QCoreApplication::exit);
        driver->start();
    }
    return app.exec();
}
