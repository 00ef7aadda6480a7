// The program as a user starts it, offscreen: its executable links nothing of QtWebEngine, Qt Quick or QML; waiting
// in the tray it has none of them loaded and runs no web engine process; once its window shows, it loads its web
// engine module from beside the executable and renders the banner page.
#include "TestFiles.h"
#include "TestProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

QString program()
{
    return QStringLiteral(TARNWICK_EXECUTABLE);
}

QString module()
{
    return QFileInfo(program()).dir().filePath(QStringLiteral(TARNWICK_WEBENGINE_FILE));
}

const QList<QByteArray> kWebLibraries{"libQt6WebEngine", "libQt6Quick", "libQt6Qml"};

// The libraries a file names as needed, from readelf.
QByteArrayList neededLibraries(const QString& file)
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), file});
    if (!readelf.waitForFinished(30000) || readelf.exitCode() != 0)
        return {};
    QByteArrayList needed;
    for (const QByteArray& line : readelf.readAllStandardOutput().split('\n')) {
        if (line.contains("(NEEDED)"))
            needed << line.mid(line.indexOf('[') + 1).chopped(1);
    }
    return needed;
}

QByteArray maps(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/maps").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> webLibrariesMapped(qint64 pid)
{
    const QByteArray mapped = maps(pid);
    QList<QByteArray> found;
    for (const QByteArray& library : kWebLibraries) {
        if (mapped.contains(library))
            found << library;
    }
    return found;
}

struct Descendant {
    qint64 parent = 0;
    QByteArrayList command;
};

// Every process below pid, with its parent and command line.
QList<Descendant> descendants(qint64 pid)
{
    QHash<qint64, qint64> parents;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        parents.insert(child, line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong());
    }
    QList<qint64> tree{pid};
    for (qsizetype i = 0; i < tree.size(); ++i) {
        for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
            if (it.value() == tree[i])
                tree << it.key();
        }
    }
    QList<Descendant> found;
    for (qsizetype i = 1; i < tree.size(); ++i) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(tree[i]));
        if (cmdline.open(QIODevice::ReadOnly))
            found << Descendant{parents.value(tree[i]), cmdline.readAll().split('\0')};
    }
    return found;
}

// A page is rendered: QtWebEngine's zygote, a child of the program, has forked a renderer (which keeps the
// zygote's command line).
bool rendering(qint64 pid)
{
    for (const Descendant& process : descendants(pid)) {
        if (process.parent != pid && process.command.value(0).endsWith("QtWebEngineProcess"))
            return true;
    }
    return false;
}

} // namespace

class TestWebEngineLoading : public QObject {
    Q_OBJECT
private slots:
    void executableLinksNoWebEngine();
    void loadedWhenTheWindowFirstShows();
};

void TestWebEngineLoading::executableLinksNoWebEngine()
{
    const QByteArrayList executable = neededLibraries(program());
    QVERIFY2(executable.contains("libQt6Widgets.so.6"), executable.join(' ').constData());
    for (const QByteArray& library : executable) {
        for (const QByteArray& web : kWebLibraries)
            QVERIFY2(!library.startsWith(web), library.constData());
    }
    // The module beside it carries them.
    const QByteArrayList plugin = neededLibraries(module());
    QVERIFY2(plugin.contains("libQt6WebEngineWidgets.so.6"), qPrintable(module()));
}

void TestWebEngineLoading::loadedWhenTheWindowFirstShows()
{
    // Put in the tray (here, with no tray, minimised) the last time.
    const QString settings = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwick/Tarnwick.ini");
    QVERIFY(writeBytes(settings, "[Settings]\nstate=down\n"));
    TestProcess first;
    QProcess& tarnwick = first.process();
    tarnwick.start(program(), {});
    QVERIFY(tarnwick.waitForStarted());
    QByteArray err;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     err += tarnwick.readAllStandardError();
                     return err.contains("looking for browsers") || tarnwick.state() == QProcess::NotRunning;
                 },
                 30000),
             err.constData());
    QCOMPARE(tarnwick.state(), QProcess::Running);
    // The main window is loaded, its banner installed; it stays in the tray, and nothing asks for a page. The
    // program is given a while to do what it should not.
    QTest::qWait(2000);
    QCOMPARE(webLibrariesMapped(tarnwick.processId()), QList<QByteArray>());
    QCOMPARE(descendants(tarnwick.processId()).size(), 0);

    // A plain second start brings the window up: the banner's page comes, in a renderer of its own.
    QProcess second;
    second.start(program(), {});
    QVERIFY(second.waitForFinished(30000));
    QVERIFY(second.readAllStandardOutput().contains("handed over"));
    QTRY_VERIFY_WITH_TIMEOUT(maps(tarnwick.processId()).contains(QFile::encodeName(module())), 30000);
    QVERIFY(maps(tarnwick.processId()).contains("libQt6WebEngineCore"));
    QTRY_VERIFY_WITH_TIMEOUT(rendering(tarnwick.processId()), 60000);
    err += tarnwick.readAllStandardError();
    QVERIFY2(!err.contains("Web pages cannot be shown"), err.constData());

    ::kill(pid_t(tarnwick.processId()), SIGTERM);
    QVERIFY(tarnwick.waitForFinished(30000));
    QCOMPARE(tarnwick.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tarnwick.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestWebEngineLoading)
#include "tst_web_engine_loading.moc"
