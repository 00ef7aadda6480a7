// The user's files on real file systems that go wrong: a full disk, a read-only one, links, FIFOs, devices and
// folders in a file's place, a umask that shares everything, two programs on one data folder, hand edits.
#include "BlockingEngine.h"
#include "DecisionDoubles.h"
#include "FakeBrowser.h"
#include "IniSettingsStore.h"
#include "ListFile.h"
#include "Module1.h"
#include "NullSoundService.h"
#include "StatusSink.h"
#include "TestFiles.h"
#include "UserFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct RecordingStatus : StatusSink {
    QStringList shown;
    void ShowStatus(const QString& text) override { shown << text; }
};

struct Lists {
    explicit Lists(const QString& folder)
        : lists(state, folder, status)
    {}
    DecisionState state;
    RecordingStatus status;
    Module1 lists;
};

// A small tmpfs of its own, unmounted when the test ends; skipped where mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(const char* options = "size=64k,mode=0700")
    {
        m_mounted = ::mount("tarnwick-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options) == 0;
        if (!m_mounted)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path(const QString& name = {}) const { return name.isEmpty() ? m_dir.path() : m_dir.filePath(name); }

    // Takes every free byte: a file that grows until the disk says it is full.
    bool fill()
    {
        QFile filler(path(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
        return true;
    }
    void empty() { QFile::remove(path(QStringLiteral("filler"))); }
    bool readOnly()
    {
        return ::mount(nullptr, QFile::encodeName(m_dir.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_error;
};

QFile::Permissions modeOf(const QString& path)
{
    return QFileInfo(path).permissions() &
           (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup |
            QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

constexpr QFile::Permissions kFileMode = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kFolderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

bool isFifo(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

bool isCharDevice(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

qint64 residentKiB()
{
    for (const QByteArray& line : readBytes(QStringLiteral("/proc/self/status")).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// An engine on settings and lists in a folder, with one page of a fake browser whose popups it blocks.
struct Engine {
    explicit Engine(const QString& folder)
    {
        auto settings = std::make_unique<IniSettingsStore>(
            IniSettingsStore::atPath(QDir(folder).filePath(QStringLiteral("settings.ini"))));
        // Blocking without asking, quietly.
        settings->SaveSetting(SettingKeys::chkAuto, QStringLiteral("0"));
        settings->SaveSetting(SettingKeys::chkSound, QStringLiteral("0"));
        engine = std::make_unique<BlockingEngine>(
            BlockingEngine::Setup{std::move(settings), QDir(folder).filePath(QStringLiteral("data")), QString()}, sound,
            prompt, out);
        auto fake = std::make_unique<FakeShellWindows>();
        browsers = fake.get();
        engine->windows().add(std::move(fake));
        QString error;
        opened = engine->OpenLists(QStringLiteral("www.tarnwick.example"), &error);
        engine->StartWatching();
        page = browsers->open(QStringLiteral("https://ads.example/"));
    }
    bool block()
    {
        auto popup = page->openPopup();
        return QTest::qWaitFor([&popup] { return popup.blocked(); }, 10000);
    }

    NullSoundService sound;
    ManualPrompt prompt;
    QString lines;
    QTextStream out{&lines};
    std::unique_ptr<BlockingEngine> engine;
    FakeShellWindows* browsers = nullptr;
    std::shared_ptr<FakeBrowserWindow> page;
    bool opened = false;
};

// Run as a second program: blocks popups through an engine on the folder and adds sites to its lists.
int runWorker(const QStringList& arguments)
{
    const QString folder = arguments.value(2);
    const int count = arguments.value(3).toInt();
    const QString tag = arguments.value(4);
    Engine program(folder);
    if (!program.opened)
        return 2;
    for (int i = 0; i < count; ++i) {
        if (!program.block())
            return 3;
        if (!Module1::AddButton(program.engine->lists().disallowed(), QStringLiteral("%1-%2.example").arg(tag).arg(i)))
            return 4;
    }
    return 0;
}

} // namespace

class TestUserFiles : public QObject {
    Q_OBJECT
private slots:
    void listLinesAreKeptByteForByte();
    void entriesTooLongAreRefusedOnLoad();
    void longEntriesCostMemoryLinearInTheList();
    void oddThingsInAFilesPlace_data();
    void oddThingsInAFilesPlace();
    void linkToARegularFileIsFollowed();
    void fullDiskLeavesEveryFileWhole();
    void readOnlyDiskLeavesEveryFileWhole();
    void createdFilesAreTheUsersAlone_data();
    void createdFilesAreTheUsersAlone();
    void twoListsOnOneFolderLoseNothing();
    void twoProgramsAtOnceLoseNothing();
    void handEditsAreTakenIn();
};

void TestUserFiles::listLinesAreKeptByteForByte()
{
    QTemporaryDir dir;
    // Blank lines, a lone space, a line end without CR, bytes that are not UTF-8.
    const QByteArray start = "a.com\r\n\r\n\xff\xfe.bad\r\nplain.com\n \r\n\r\n";
    QVERIFY(writeBytes(dir.filePath("allowed.txt"), start));
    Lists l(dir.path());
    QVERIFY(l.lists.LoadAllowedSites());
    QCOMPARE(l.lists.List1().rowCount(), 3);

    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    const QByteArray added = "a.com\r\n\r\n\xff\xfe.bad\r\nplain.com\nnew.com\r\n \r\n\r\n";
    QCOMPARE(readBytes(dir.filePath("allowed.txt")), added);
    QCOMPARE(l.lists.List1().stringList().constLast(), QStringLiteral("new.com"));

    // The row that is not UTF-8 is deleted by its own bytes; nothing else moves.
    QVERIFY(Module1::DeleteButton(l.lists.allowed(), 1));
    QCOMPARE(readBytes(dir.filePath("allowed.txt")), QByteArray("a.com\r\n\r\nplain.com\nnew.com\r\n \r\n\r\n"));
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"a.com", "plain.com", "new.com"}));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("a.com\r\nplain.com\r\nnew.com\r\n"));

    // A last line without its line end gets one, and the new entry a line of its own.
    QVERIFY(writeBytes(dir.filePath("disallowed.txt"), "x.com\r\ny.com"));
    QVERIFY(l.lists.LoadDisallowedSites());
    QVERIFY(l.lists.AddDisallowedSite(QStringLiteral("z.com")));
    QCOMPARE(readBytes(dir.filePath("disallowed.txt")), QByteArray("x.com\r\ny.com\r\nz.com\r\n"));
    QVERIFY(l.lists.RemoveDisallowedSite(QStringLiteral("X.COM")));
    QCOMPARE(readBytes(dir.filePath("disallowed.txt")), QByteArray("y.com\r\nz.com\r\n"));
}

void TestUserFiles::entriesTooLongAreRefusedOnLoad()
{
    QTemporaryDir dir;
    QByteArray labels;
    while (labels.size() < 64 * 1024)
        labels += "ab.";
    labels += "com";
    const QByteArray bytes = "ok.com\r\n" + QByteArray(254, 'a') + "\r\nfine.com\r\n" + QByteArray(253, 'b') + "\r\n" +
                             labels + "\r\n" + QByteArray(10 * 1024 * 1024, 'c') + "\r\n";
    QVERIFY(writeBytes(dir.filePath("allowed.txt"), bytes));
    Lists l(dir.path());
    QVERIFY(l.lists.LoadAllowedSites());
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"ok.com", "fine.com", QString(253, u'b')}));
    QVERIFY(!l.state.gAllowedSites.covers(u"ab.com"));
    QCOMPARE(l.status.shown.size(), 1);
    QVERIFY2(l.status.shown[0].startsWith("Lines 2, 5, 6 of " + dir.filePath("allowed.txt")),
             qPrintable(l.status.shown[0]));

    // Said once: a change elsewhere in the file does not say it again, and the long lines stay in the file.
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    QCOMPARE(l.status.shown.size(), 1);
    QByteArray expected = bytes;
    expected.insert(expected.indexOf(QByteArray(253, 'b')) + 255, "new.com\r\n");
    QCOMPARE(readBytes(dir.filePath("allowed.txt")), expected);

    // Typed, it is refused too.
    QVERIFY(!Module1::AddButton(l.lists.allowed(), QString(254, u'd')));
    QVERIFY(l.status.shown.constLast().contains(QLatin1String("253")));
}

void TestUserFiles::longEntriesCostMemoryLinearInTheList()
{
    // Entries as long as a host name can be, of one-letter labels, each under its own top-level name: every
    // entry has over a hundred parent domains, none shared. Kept as separate strings they took about 40 KiB
    // an entry.
    QStringList entries;
    for (int i = 0; i < 5000; ++i) {
        const QString top = QStringLiteral(".t%1").arg(i);
        QString host;
        while (host.size() + top.size() + 2 <= SiteList::MaxEntryLength)
            host += QStringLiteral("a.");
        host.chop(1);
        entries.append(host + top);
    }
    const qint64 before = residentKiB();
    SiteList list;
    list.setEntries(entries);
    const qint64 grown = residentKiB() - before;
    QVERIFY2(grown < 100 * 1024, qPrintable(QStringLiteral("%1 KiB").arg(grown)));
    QVERIFY(list.covers(QStringLiteral("x.") + entries[42]));
    QVERIFY(list.covers(entries[42].mid(40)));
    QVERIFY(!list.covers(u"t42"));
}

void TestUserFiles::oddThingsInAFilesPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("device") << "device";
    QTest::newRow("folder") << "folder";
    QTest::newRow("link to nothing") << "dangling";
    QTest::newRow("link to a FIFO") << "link-fifo";
}

void TestUserFiles::oddThingsInAFilesPlace()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString odd = dir.filePath("odd");
    const QString path = dir.filePath("data/allowed.txt");
    QVERIFY(QDir().mkpath(dir.filePath("data")));
    if (kind == u"fifo" || kind == u"link-fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(kind == u"fifo" ? path : odd).constData(), 0600), 0);
    } else if (kind == u"device") {
        // The null device's numbers, in a node of the test's own: nothing of the system is at stake.
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("device nodes cannot be made here");
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkdir(path));
    }
    if (kind == u"dangling" || kind == u"link-fifo")
        QVERIFY(QFile::link(odd, path));

    // Start-up stops, naming the path and why, and leaves the thing as it was.
    Lists l(dir.filePath("data"));
    QString error;
    QVERIFY(!l.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error));
    QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("link to nothing")) || error.contains(QLatin1String("not a regular file")) ||
                 error.contains(QLatin1String("folder")),
             qPrintable(error));
    // Nor does a change to the list open it, block on it or replace it.
    QVERIFY(!l.lists.AddAllowedSite(QStringLiteral("x.com")));
    QVERIFY(!l.lists.LoadAllowedSites());
    QCOMPARE(l.lists.List1().rowCount(), 0);
    if (kind == u"fifo")
        QVERIFY(isFifo(path));
    else if (kind == u"device")
        QVERIFY(isCharDevice(path));
    else if (kind == u"folder")
        QVERIFY(QFileInfo(path).isDir());
    else
        QVERIFY(QFileInfo(path).isSymLink());
    if (kind == u"dangling")
        QVERIFY(!QFileInfo::exists(odd));
    if (kind == u"link-fifo")
        QVERIFY(isFifo(odd));

    // The settings file alike: refused at once, never read.
    const IniSettingsStore settings = IniSettingsStore::atPath(path);
    QVERIFY(settings.refusal().contains(path));
}

void TestUserFiles::linkToARegularFileIsFollowed()
{
    // A dotfile manager's layout: the list lives elsewhere, the data folder holds a link to it.
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath("dotfiles/allowed.txt"), "kept.com\r\n"));
    QVERIFY(QDir().mkpath(dir.filePath("data")));
    QVERIFY(QFile::link(dir.filePath("dotfiles/allowed.txt"), dir.filePath("data/allowed.txt")));
    Lists l(dir.filePath("data"));
    QString error;
    QVERIFY2(l.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error), qPrintable(error));
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    QVERIFY(QFileInfo(dir.filePath("data/allowed.txt")).isSymLink());
    QCOMPARE(readBytes(dir.filePath("dotfiles/allowed.txt")), QByteArray("kept.com\r\nnew.com\r\n"));
    // Nothing was left beside either of them but the files themselves.
    QCOMPARE(QDir(dir.filePath("dotfiles")).entryList(QDir::Files | QDir::Hidden), QStringList{"allowed.txt"});

    // The settings file too.
    QVERIFY(writeBytes(dir.filePath("dotfiles/settings.ini"), "[Settings]\nchkSound=1\n"));
    QVERIFY(QFile::link(dir.filePath("dotfiles/settings.ini"), dir.filePath("settings.ini")));
    IniSettingsStore settings = IniSettingsStore::atPath(dir.filePath("settings.ini"));
    QCOMPARE(settings.GetSetting("chkSound", "0"), "1");
    QVERIFY(settings.SaveSetting("chkSound", "0"));
    QVERIFY(QFileInfo(dir.filePath("settings.ini")).isSymLink());
    QCOMPARE(IniSettingsStore::atPath(dir.filePath("dotfiles/settings.ini")).GetSetting("chkSound", "x"), "0");
}

void TestUserFiles::fullDiskLeavesEveryFileWhole()
{
    SmallDisk disk;
    if (!disk.mounted())
        QSKIP(qPrintable("a tmpfs cannot be mounted here: " + disk.error()));
    Lists l(disk.path("data"));
    QString error;
    QVERIFY2(l.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error), qPrintable(error));
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("second.com")));
    IniSettingsStore settings = IniSettingsStore::atPath(disk.path("settings.ini"));
    QVERIFY(settings.SaveSetting("intStopped", "41"));
    QByteArray bigger(8000, 'e');
    QVERIFY(writeBytes(disk.path("big.txt"), "old\r\n"));

    const QByteArray list = readBytes(disk.path("data/allowed.txt"));
    const QByteArray ini = readBytes(disk.path("settings.ini"));
    QVERIFY(disk.fill());

    // Add and Delete fail, say so with the path, and the window keeps showing what the file holds.
    l.status.shown.clear();
    QVERIFY(!Module1::AddButton(l.lists.allowed(), QStringLiteral("third.com")));
    QVERIFY(!Module1::DeleteButton(l.lists.allowed(), 0));
    QCOMPARE(readBytes(disk.path("data/allowed.txt")), list);
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"www.tarnwick.example", "second.com"}));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("www.tarnwick.example\r\nsecond.com\r\n"));
    QCOMPARE(l.status.shown.size(), 2);
    for (const QString& message : std::as_const(l.status.shown))
        QVERIFY2(message.startsWith("Could not write " + disk.path("data/allowed.txt")), qPrintable(message));

    // The settings and any other file written whole keep their bytes too.
    QVERIFY(!settings.SaveSetting("intStopped", "42"));
    QCOMPARE(readBytes(disk.path("settings.ini")), ini);
    QVERIFY(!UserFile::write(disk.path("big.txt"), bigger, &error));
    QCOMPARE(readBytes(disk.path("big.txt")), QByteArray("old\r\n"));
    // Nothing half-written is left behind.
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{"big.txt", "filler", "settings.ini"}));

    // Room again: the same steps succeed.
    disk.empty();
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("third.com")));
    QVERIFY(settings.SaveSetting("intStopped", "42"));
    QVERIFY(UserFile::write(disk.path("big.txt"), bigger, &error));
    QCOMPARE(readBytes(disk.path("big.txt")), bigger);
}

void TestUserFiles::readOnlyDiskLeavesEveryFileWhole()
{
    SmallDisk disk;
    if (!disk.mounted())
        QSKIP(qPrintable("a tmpfs cannot be mounted here: " + disk.error()));
    Lists l(disk.path("data"));
    QString error;
    QVERIFY(l.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error));
    QVERIFY(l.lists.LoadAllowedSites());
    IniSettingsStore settings = IniSettingsStore::atPath(disk.path("settings.ini"));
    QVERIFY(settings.SaveSetting("chkSound", "1"));
    const QByteArray list = readBytes(disk.path("data/allowed.txt"));
    const QByteArray ini = readBytes(disk.path("settings.ini"));
    QVERIFY(disk.readOnly());

    QVERIFY(!Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    QVERIFY(!Module1::DeleteButton(l.lists.allowed(), 0));
    QVERIFY(!settings.SaveSetting("chkSound", "0"));
    QCOMPARE(readBytes(disk.path("data/allowed.txt")), list);
    QCOMPARE(readBytes(disk.path("settings.ini")), ini);
    QCOMPARE(l.lists.List1().stringList(), QStringList{"www.tarnwick.example"});
    QCOMPARE(l.status.shown.size(), 2);
    QCOMPARE(settings.GetSetting("chkSound", "x"), "1");
}

void TestUserFiles::createdFilesAreTheUsersAlone_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 000") << 0;
}

void TestUserFiles::createdFilesAreTheUsersAlone()
{
    QFETCH(int, mask);
    QTemporaryDir dir;
    const mode_t before = ::umask(mode_t(mask));
    Lists l(dir.filePath("a/b/data"));
    QString error;
    const bool made = l.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error);
    IniSettingsStore settings = IniSettingsStore::atPath(dir.filePath("config/Tarnwick/Tarnwick.ini"));
    const bool saved = settings.SaveSetting("chkSound", "1");
    ::umask(before);
    QVERIFY2(made, qPrintable(error));
    QVERIFY(saved);
    for (const char* folder : {"a", "a/b", "a/b/data", "config", "config/Tarnwick"})
        QVERIFY2(modeOf(dir.filePath(folder)) == kFolderMode, folder);
    for (const char* file : {"a/b/data/allowed.txt", "a/b/data/disallowed.txt", "config/Tarnwick/Tarnwick.ini"})
        QVERIFY2(modeOf(dir.filePath(file)) == kFileMode, file);

    // A file the user made with other permissions keeps them when it is rewritten.
    QVERIFY(QFile::setPermissions(dir.filePath("a/b/data/allowed.txt"), kFileMode | QFile::ReadGroup));
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    QCOMPARE(modeOf(dir.filePath("a/b/data/allowed.txt")), kFileMode | QFile::ReadGroup);
}

void TestUserFiles::twoListsOnOneFolderLoseNothing()
{
    QTemporaryDir dir;
    Lists first(dir.path());
    Lists second(dir.path());
    QString error;
    QVERIFY(first.lists.CreateMissingFiles(QStringLiteral("www.tarnwick.example"), &error));
    QVERIFY(first.lists.LoadAllowedSites());
    QVERIFY(second.lists.LoadAllowedSites());

    // Each works from what the file holds now, not from the rows it showed.
    QVERIFY(Module1::AddButton(first.lists.allowed(), QStringLiteral("one.com")));
    QVERIFY(Module1::AddButton(second.lists.allowed(), QStringLiteral("two.com")));
    QCOMPARE(readBytes(dir.filePath("allowed.txt")), QByteArray("www.tarnwick.example\r\none.com\r\ntwo.com\r\n"));
    QCOMPARE(second.lists.List1().stringList(), (QStringList{"www.tarnwick.example", "one.com", "two.com"}));
    QVERIFY(second.state.gAllowedSites.covers(u"one.com"));
    // The first still shows its older rows; deleting one of them deletes that entry and no other.
    QVERIFY(Module1::DeleteButton(first.lists.allowed(), 0));
    QCOMPARE(readBytes(dir.filePath("allowed.txt")), QByteArray("one.com\r\ntwo.com\r\n"));
    QCOMPARE(first.lists.List1().stringList(), (QStringList{"one.com", "two.com"}));
    // One already on the list through the other is said, not added twice.
    QVERIFY(!Module1::AddButton(first.lists.allowed(), QStringLiteral("two.com")));
    QCOMPARE(first.status.shown.constLast(), "two.com is on the allowed list already");

    // Two engines on one settings file: each count adds to what the file holds.
    Engine a(dir.filePath("shared"));
    Engine b(dir.filePath("shared"));
    QVERIFY(a.opened && b.opened);
    for (int i = 0; i < 3; ++i)
        QVERIFY(a.block());
    for (int i = 0; i < 4; ++i)
        QVERIFY(b.block());
    QCOMPARE(IniSettingsStore::atPath(dir.filePath("shared/settings.ini")).GetSetting("intStopped", ""), "7");
    QCOMPARE(b.engine->state().gBlockedCount, 7);
    QVERIFY(a.block());
    QCOMPARE(a.engine->state().gBlockedCount, 8);
}

void TestUserFiles::twoProgramsAtOnceLoseNothing()
{
    QTemporaryDir dir;
    {
        Engine setup(dir.path());
        QVERIFY(setup.opened);
        QVERIFY(setup.engine->settings().SaveSetting(SettingKeys::intStopped, QStringLiteral("100")));
    }
    const QString self = QCoreApplication::applicationFilePath();
    constexpr int kEach = 25;
    QProcess first;
    QProcess second;
    first.start(self, {"--worker", dir.path(), QString::number(kEach), "first"});
    second.start(self, {"--worker", dir.path(), QString::number(kEach), "second"});
    QVERIFY(first.waitForFinished(120000));
    QVERIFY(second.waitForFinished(120000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());

    QCOMPARE(IniSettingsStore::atPath(dir.filePath("settings.ini")).GetSetting("intStopped", ""),
             QString::number(100 + 2 * kEach));
    const QStringList entries = ListFile::parse(readBytes(dir.filePath("data/disallowed.txt")));
    QCOMPARE(entries.size(), 2 * kEach);
    for (int i = 0; i < kEach; ++i) {
        QVERIFY(entries.contains(QStringLiteral("first-%1.example").arg(i)));
        QVERIFY(entries.contains(QStringLiteral("second-%1.example").arg(i)));
    }
}

void TestUserFiles::handEditsAreTakenIn()
{
    QTemporaryDir dir;
    Engine program(dir.path());
    QVERIFY(program.opened);
    const QString path = dir.filePath("data/disallowed.txt");
    Module1& lists = program.engine->lists();

    // Written in place, as a simple editor does: the rows and the decision follow.
    QVERIFY(writeBytes(path, "\r\nads.example\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(lists.List2().stringList() == QStringList{"ads.example"}, 10000);
    QVERIFY(program.engine->state().gDisallowedSites.covers(u"ads.example"));

    // Replaced by a rename, as most editors do: a new file, still watched.
    QVERIFY(writeBytes(path + ".new", "\r\nads.example\r\nmore.example\r\n"));
    QCOMPARE(std::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);
    QTRY_VERIFY_WITH_TIMEOUT(lists.List2().stringList() == (QStringList{"ads.example", "more.example"}), 10000);

    // And kept by the next Add.
    QVERIFY(Module1::AddButton(lists.disallowed(), QStringLiteral("added.example")));
    QCOMPARE(readBytes(path), QByteArray("\r\nads.example\r\nmore.example\r\nadded.example\r\n"));
    QVERIFY(writeBytes(path + ".new", "more.example\r\n"));
    QCOMPARE(std::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);
    QTRY_VERIFY_WITH_TIMEOUT(lists.List2().stringList() == QStringList{"more.example"}, 10000);
    QVERIFY(!program.engine->state().gDisallowedSites.covers(u"ads.example"));

    // A FIFO put in its place is never opened; said once, however often the folder changes, and the
    // decision keeps the list it had.
    QSignalSpy said(program.engine.get(), &BlockingEngine::Status);
    QVERIFY(QFile::remove(path));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QTRY_COMPARE_WITH_TIMEOUT(said.size(), 1, 10000);
    QVERIFY(said[0][0].toString().startsWith("Could not read " + path));
    QVERIFY(writeBytes(dir.filePath("data/other.txt"), "a change in the folder"));
    QVERIFY(writeBytes(dir.filePath("data/other.txt"), "and another"));
    QTest::qWait(500);
    QCOMPARE(said.size(), 1);
    QVERIFY(program.engine->state().gDisallowedSites.covers(u"more.example"));
    QVERIFY(isFifo(path));
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == u"--worker")
        return runWorker(app.arguments());
    TestUserFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_userfiles.moc"
