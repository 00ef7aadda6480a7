// tarnwick: the popup blocker's entry point.
#include "BlockingEngine.h"
#include "DemoDriver.h"
#include "DesktopProgram.h"
#include "GuardedLaunchers.h"
#include "HeadlessRunner.h"
#include "InstanceChannel.h"
#include "ProductRecord.h"
#include "frmWebsite.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

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
        return runner.browserRunsUnguarded() ? DesktopProgram::kBrowserRunsUnguarded : 1;
    std::unique_ptr<DemoDriver> driver;
    if (LoopbackHttpServer* site = runner.demoSite()) {
        driver = std::make_unique<DemoDriver>(runner, *site, err);
        QObject::connect(driver.get(), &DemoDriver::finished, QCoreApplication::instance(), &QCoreApplication::exit);
        driver->start();
    }
    return QCoreApplication::exec();
}

// The options every start understands, for this start's command line and for one handed over by a later start.
class CommandLine {
public:
    CommandLine()
    {
        m_parser.setApplicationDescription(
            QStringLiteral("Blocks the popup windows of Chromium-family browsers unless the site asking is allowed.\n"
                           "Without options it shows its window and watches every browser that has DevTools enabled.\n"
                           "A second start hands its options to the program already running and ends.\n\n"
                           "  --launch[=PATH]        Start a browser (PATH, or the first one found) and watch it."));
        m_parser.addHelpOption();
        m_parser.addVersionOption();
        m_parser.addOptions({m_headless, m_browserUrl, m_open, m_demo, m_profile, m_install, m_remove});
    }

    // Reads arguments (the program's name first); a fault in them ends the process, as a command line's does.
    HeadlessRunner::Options process(QStringList arguments)
    {
        HeadlessRunner::Options options = takeLaunchOption(arguments);
        m_parser.process(arguments);
        if (const QString fault = profileFault(); !fault.isEmpty()) {
            QTextStream(stderr) << fault << Qt::endl;
            std::exit(2);
        }
        return read(std::move(options));
    }
    // The same for a handed-over command line, whose faults are only reported.
    std::optional<HeadlessRunner::Options> parse(QStringList arguments, QString* error)
    {
        HeadlessRunner::Options options = takeLaunchOption(arguments);
        if (!m_parser.parse(arguments)) {
            *error = m_parser.errorText();
            return std::nullopt;
        }
        if (const QString fault = profileFault(); !fault.isEmpty()) {
            *error = fault;
            return std::nullopt;
        }
        return read(std::move(options));
    }
    bool headless() const { return m_parser.isSet(m_headless); }
    bool installLaunchers() const { return m_parser.isSet(m_install); }
    bool removeLaunchers() const { return m_parser.isSet(m_remove); }

private:
    QString profileFault() const
    {
        const QString profile = m_parser.value(m_profile);
        if (!m_parser.isSet(m_profile) || profile == u"default" || profile == u"separate")
            return {};
        return QStringLiteral("--browser-profile takes \"default\" (the browser's own) or \"separate\" (Tarnwick's), "
                              "not \"%1\"")
            .arg(profile);
    }

    HeadlessRunner::Options read(HeadlessRunner::Options options) const
    {
        options.browserOwnProfile = m_parser.value(m_profile) == u"default";
        options.browserUrls = m_parser.values(m_browserUrl);
        options.openUrls = m_parser.values(m_open);
        options.demo = m_parser.isSet(m_demo);
        return options;
    }

    QCommandLineParser m_parser;
    const QCommandLineOption m_headless{QStringLiteral("headless"),
                                        QStringLiteral("Run without windows; print one line per popup decision.")};
    const QCommandLineOption m_browserUrl{
        QStringLiteral("browser-url"),
        QStringLiteral("Watch a running browser through its DevTools address (http://127.0.0.1:PORT or ws://...)."),
        QStringLiteral("URL")};
    const QCommandLineOption m_open{QStringLiteral("open"), QStringLiteral("Open a page in the launched browser."),
                                    QStringLiteral("URL")};
    const QCommandLineOption m_profile{
        QStringLiteral("browser-profile"),
        QStringLiteral("With --launch: \"default\" starts the browser on its own profile (bookmarks, logins, "
                       "extensions), \"separate\" (the default) on a profile of Tarnwick's."),
        QStringLiteral("PROFILE")};
    const QCommandLineOption m_install{
        QStringLiteral("install-launchers"),
        QStringLiteral("Add \"<Browser> (guarded)\" to the applications menu for each browser installed, "
                       "starting it on its own profile through Tarnwick.")};
    const QCommandLineOption m_remove{QStringLiteral("remove-launchers"),
                                      QStringLiteral("Take those entries out of the applications menu again.")};
    const QCommandLineOption m_demo{
        QStringLiteral("demo"), QStringLiteral("Show what the program does: a launched browser on a demo page full of "
                                               "popups (without windows when there is no screen).")};
};

QString dataFolder()
{
    return BlockingEngine::standardDataFolder(ProductRecord::compiled().ProductName);
}

int runDesktop(const HeadlessRunner::Options& given, QTextStream& out, QTextStream& err)
{
    // One program per session: a later start hands its command line over and ends.
    InstanceChannel channel(InstanceChannel::defaultPath(ProductRecord::compiled().ProductName), dataFolder());
    if (given.demo) {
        if (const auto running = channel.running()) {
            err << "Tarnwick is already running (pid " << running->pid << "): close it to run the demo." << Qt::endl;
            return 3;
        }
    }
    QString error;
    InstanceChannel::Answer answer;
    switch (channel.claimOrHandOver(QCoreApplication::arguments(), &error, &answer)) {
    case InstanceChannel::Claim::HandedOver:
        if (!answer.message.isEmpty())
            err << answer.message << Qt::endl;
        else
            out << "handed over to the Tarnwick already running" << Qt::endl;
        return answer.status;
    case InstanceChannel::Claim::Failed:
        // Better two programs than none; the user is told.
        err << "cannot tell whether Tarnwick is already running: " << error << Qt::endl;
        break;
    case InstanceChannel::Claim::Claimed:
        break;
    }

    QApplication::setQuitOnLastWindowClosed(false);
    DesktopProgram::Options options;
    options.browsers = given.browsers();
    options.demo = given.demo;
    DesktopProgram program(options, out, err);
    QObject::connect(&program, &DesktopProgram::finished, QCoreApplication::instance(), &QCoreApplication::exit);
    channel.setHandler([&](const QStringList& arguments) -> InstanceChannel::Answer {
        QString fault;
        const auto asked = CommandLine().parse(arguments, &fault);
        if (!asked) {
            program.handOver({});
            return {2, fault};
        }
        const DesktopProgram::Refusal refusal = program.handOver(asked->browsers());
        return {refusal.exitCode, refusal.text};
    });
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
    const bool launchers =
        hasArgument(argc, argv, "--install-launchers") || hasArgument(argc, argv, "--remove-launchers");
    const bool desktop = !headless && !launchers && screen && !hasArgument(argc, argv, "--help") &&
                         !hasArgument(argc, argv, "--version") && !hasArgument(argc, argv, "-h") &&
                         !hasArgument(argc, argv, "-v");
    std::unique_ptr<QCoreApplication> app =
        desktop ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    const ProductRecord record = ProductRecord::compiled();
    QCoreApplication::setApplicationName(record.ProductName);
    QCoreApplication::setApplicationVersion(record.ProductVersion);
    QTextStream out(stdout);
    QTextStream err(stderr);

    CommandLine commandLine;
    HeadlessRunner::Options options = commandLine.process(QCoreApplication::arguments());
    if (commandLine.installLaunchers() || commandLine.removeLaunchers()) {
        const GuardedLaunchers entries(GuardedLaunchers::standardFolder(), QCoreApplication::applicationFilePath());
        QStringList files;
        QString error;
        const bool done =
            commandLine.installLaunchers() ? entries.install(&files, &error) : entries.remove(&files, &error);
        for (const QString& file : std::as_const(files))
            out << (commandLine.installLaunchers() ? "written: " : "removed: ") << file << Qt::endl;
        if (!done)
            err << error << Qt::endl;
        return done ? 0 : 1;
    }
    if (desktop)
        return runDesktop(options, out, err);
    if (!headless && !options.demo) {
        err << "No screen to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set): run with --headless."
            << Qt::endl;
        return 2;
    }
    if (!options.demo) {
        // The headless runner stays a process of its own (servers and tests run several), but not unbeknown to the
        // desktop program whose files it shares.
        const QString data = dataFolder();
        const auto running =
            InstanceChannel(InstanceChannel::defaultPath(ProductRecord::compiled().ProductName), data).running();
        if (running && QDir(running->dataFolder) == QDir(data))
            err << "the desktop Tarnwick (pid " << running->pid << ") uses the same data folder, " << data
                << ": both keep their lists and blocked count there, and the last to save wins" << Qt::endl;
    }
    return runHeadless(options, out, err);
}
