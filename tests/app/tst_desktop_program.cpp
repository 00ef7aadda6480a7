// The desktop program as main() builds it, in-process and offscreen: what the main window asks for reaches the
// window or the registry it names, and closing the main window while the built-in browser window is open leaves
// the program to that window.
#include "BrowserLauncher.h"
#include "DesktopProgram.h"
#include "Form1.h"
#include "ProductRecord.h"
#include "RegistryService.h"
#include "ResourceLocator.h"
#include "WebEngineTesting.h"
#include "WebView.h"
#include "modIETools.h"
#include "modIdentity.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

#include <csignal>

namespace {

template <typename Window> Window* openWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

QWidget* openWindowNamed(const char* objectName)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(objectName) && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// The value of key in a desktop entry file; empty when the file or the key is missing.
QString entryValue(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1);
    }
    return {};
}

// The browsers started with the program's own launch profile (their helpers aside).
QList<pid_t> launchedBrowsers()
{
    const QByteArray profile = ("--user-data-dir=" + BrowserLauncher::defaultProfileDir()).toUtf8();
    QList<pid_t> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const pid_t pid = entry.toInt(&ok);
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!ok || !file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = file.readAll().split('\0');
        if (arguments.contains(profile) && std::none_of(arguments.begin(), arguments.end(),
                                                        [](const QByteArray& a) { return a.startsWith("--type="); }))
            pids.append(pid);
    }
    return pids;
}

} // namespace

class TestDesktopProgram : public QObject {
    Q_OBJECT
public:
    static void initMain() { prepareWebEngineTest(); }

private slots:
    void whatTheMainWindowAsksForIsDone();
    void guardedBrowserCanBeStartedAgain();
};

void TestDesktopProgram::whatTheMainWindowAsksForIsDone()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    DesktopProgram::Options options;
    options.decorated = false; // the banner's page is not what this looks at
    options.webEngineFolder = QStringLiteral(TARNWICK_BINARY_DIR);
    DesktopProgram program(options, out, err);
    QSignalSpy finished(&program, &DesktopProgram::finished);
    QVERIFY(program.start());
    QTRY_VERIFY_WITH_TIMEOUT(program.mainWindow() && program.mainWindow()->isVisible(), 30000);
    Form1& form = *program.mainWindow();

    // The help window opens at the first start.
    QTRY_VERIFY(openWindowNamed("Form8"));
    openWindowNamed("Form8")->close();
    QTRY_VERIFY(!openWindowNamed("Form8"));
    form.findChild<QAction*>(QStringLiteral("mnuHelpItem"))->trigger();
    QTRY_VERIFY(openWindowNamed("Form8"));
    form.findChild<QAction*>(QStringLiteral("mnuAboutItem"))->trigger();
    QTRY_VERIFY(openWindowNamed("frmAbout"));

    // The Tools-menu entry is written to the user's registry, and removed again.
    const QString product = ProductRecord::compiled().ProductName;
    auto registry = createRegistry(RegistryLocation::standard(product, configuredDesktopFileName()));
    const modIETools tools(*registry, {product, QCoreApplication::applicationFilePath(),
                                       ResourceLocator().path(QStringLiteral("icons/tarnwick-22.png"))});
    QList<QAction*> toolsItems = form.findChildren<QAction*>(QStringLiteral("mnuToolsItem"));
    QCOMPARE(toolsItems.size(), 2);
    toolsItems[0]->trigger();
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Current);
    toolsItems[1]->trigger();
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Absent);

    // The windows carry the installed desktop entry's name, and "Run at startup" writes an autostart entry
    // that starts this program with that entry's name and icon.
    const QString installedEntry = QStringLiteral(TARNWICK_DESKTOP_ENTRY);
    QCOMPARE(QGuiApplication::desktopFileName() + QStringLiteral(".desktop"), QFileInfo(installedEntry).fileName());
    const QString autostart = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              QStringLiteral("/autostart/") + product + QStringLiteral(".desktop");
    form.findChild<QCheckBox*>(QStringLiteral("Check4"))->click();
    QCOMPARE(entryValue(autostart, QStringLiteral("Name")), entryValue(installedEntry, QStringLiteral("Name")));
    QCOMPARE(entryValue(autostart, QStringLiteral("Icon")), entryValue(installedEntry, QStringLiteral("Icon")));
    QCOMPARE(entryValue(autostart, QStringLiteral("Exec")),
             u'"' + QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath() + u'"');
    form.findChild<QCheckBox*>(QStringLiteral("Check4"))->click();
    QVERIFY(!QFileInfo::exists(autostart));

    // Visit, then close the main window: the program goes on until the browser window closes.
    form.findChild<QToolButton*>(QStringLiteral("Command7"))->click();
    QTRY_VERIFY(openWindowNamed("frmWebsite"));
    QWidget* website = openWindowNamed("frmWebsite");
    // Its page is there: the program found its web engine.
    const auto* page = website->findChild<WebView*>(QStringLiteral("WebBrowser1"));
    QVERIFY(page && page->isOpen());
    form.close();
    QVERIFY(form.isUnloaded());
    QTest::qWait(100);
    QCOMPARE(finished.size(), 0);
    website->close();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 0);
}

// Guarding nothing, the main window says so and offers a browser; the browser it starts is guarded, and once the
// user has closed it, it can be started again.
void TestDesktopProgram::guardedBrowserCanBeStartedAgain()
{
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    DesktopProgram::Options options;
    options.decorated = false;
    DesktopProgram program(options, out, err);
    QSignalSpy finished(&program, &DesktopProgram::finished);
    QVERIFY(program.start());
    QTRY_VERIFY_WITH_TIMEOUT(program.mainWindow() && program.mainWindow()->isVisible(), 30000);
    Form1& form = *program.mainWindow();
    auto* status = form.findChild<QLabel*>(QStringLiteral("lblGuard"));
    auto* start = form.findChild<QAction*>(QStringLiteral("cmdStartBrowser"));
    QVERIFY(status && start);
    QCOMPARE(status->text(), QStringLiteral("Not guarding any browser"));
    QVERIFY(start->isVisible());

    for (int round = 0; round < 2; ++round) {
        start->trigger();
        QTRY_VERIFY2_WITH_TIMEOUT(status->text().startsWith(QStringLiteral("Guarding 1 browser, ")),
                                  qPrintable(status->text() + u'\n' + errText), 30000);
        QVERIFY(!start->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(launchedBrowsers().size(), 1, 10000);
        // The user closes it.
        QCOMPARE(::kill(launchedBrowsers().first(), SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Not guarding any browser"), 30000);
        QVERIFY(start->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(launchedBrowsers().size(), 0, 30000);
    }
    QVERIFY2(errText.contains(QStringLiteral("Guarding 1 browser")), qPrintable(errText));
    form.close();
    QTRY_COMPARE(finished.size(), 1);
}

QTEST_MAIN(TestDesktopProgram)
#include "tst_desktop_program.moc"
