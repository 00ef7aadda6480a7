// The Run keys mounted on the XDG autostart folder: real Desktop Entry files that start the program,
// read back, validated and launched, and the entries of others left alone.
#include "AddRemove.h"
#include "DesktopEntry.h"
#include "RegistryService.h"
#include "RegistryTesting.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"_qs;

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void runValueIsADesktopEntry();
    void entryPassesDesktopFileValidate();
    void entryStartsTheProgramThroughGio();
    void commandsOfEntriesOthersWrote_data();
    void commandsOfEntriesOthersWrote();
    void othersEntriesAreReadButLeftAlone();
    void valueNamesMatchWithoutCase();
    void unsafeNamesAndDataAreRefused();
    void runKeyAlwaysExistsAndCannotBeDeleted();
    void fileInPlaceOfTheFolderGivesACode();
    void readOnlyFolderIsAccessDenied();
    void entriesAreTheUsersAloneAndNeverWrittenThrough();
    void fullDiskLeavesTheEntryWhole();

private:
    QString autostart() const { return m_home->filePath(u"config/autostart"_qs); }
    QString entry(const QString& name) const { return autostart() + u'/' + name + u".desktop"_qs; }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Registry> m_registry;
};

void TestAutostart::init()
{
    // Folders of this test's own even when it is run by hand: it writes autostart entries.
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(u"config"_qs)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->filePath(u"data"_qs)));
    const RegistryLocation location = RegistryLocation::standard(u"Tarnwick"_qs, u"example.tarnwick.Tarnwick"_qs);
    QCOMPARE(location.autostartFolder, autostart());
    QCOMPARE(location.storeFile, m_home->filePath(u"data/Tarnwick/registry.sqlite3"_qs));
    m_registry = createRegistry(location);
}

void TestAutostart::cleanup()
{
    m_registry.reset();
    m_home.reset();
}

void TestAutostart::runValueIsADesktopEntry()
{
    AddRemove helper(*m_registry);
    const QString program = u"/opt/My Apps/say \"hi\" $HOME `x` \\ 100%/run"_qs;
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, program), RegResult::Success);

    const QStringList lines = QString::fromUtf8(readBytes(entry(u"Tarnwick"_qs))).split(u'\n');
    QCOMPARE(lines.first(), u"[Desktop Entry]"_qs);
    QVERIFY(lines.contains(u"Type=Application"_qs));
    QVERIFY(lines.contains(u"Name=Tarnwick"_qs));
    QVERIFY(lines.contains(u"Icon=example.tarnwick.Tarnwick"_qs));
    QVERIFY(lines.contains(u"X-GNOME-Autostart-enabled=true"_qs));
    QVERIFY(std::any_of(lines.begin(), lines.end(),
                        [](const QString& l) { return l.startsWith(u'#') && l.contains(u"Tarnwick"_qs); }));
    // Quoted as a whole; " ` $ \ take a backslash, % is doubled, then every backslash is doubled again.
    QVERIFY(lines.contains(uR"(Exec="/opt/My Apps/say \\"hi\\" \\$HOME \\`x\\` \\\\ 100%%/run")"_qs));
    // The Run value's data as the registry gives it.
    const RegValue value = get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value();
    QCOMPARE(value.type, REG_SZ);
    QCOMPARE(value.data, program.toUtf8().append('\0'));

    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QVERIFY(!QFile::exists(entry(u"Tarnwick"_qs)));
    QVERIFY(!get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs));
}

void TestAutostart::entryPassesDesktopFileValidate()
{
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_qs);
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick Blocker"_qs, u"/opt/it's \"here\"/$dir/`x`/a\\b/100%;(1)/Tarnwick.exe"_qs),
             RegResult::Success);
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {entry(u"Tarnwick Blocker"_qs)});
    QVERIFY(validate.waitForFinished(30000));
    const QByteArray output = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), output.constData());
}

// The entry as a GLib desktop session starts it at log-in. (GLib looks for the program before it undoes
// "%%", so a program path with "%" in it is not started there; none is used here.)
void TestAutostart::entryStartsTheProgramThroughGio()
{
    const QString gio = QStandardPaths::findExecutable(u"gio"_qs);
    if (gio.isEmpty())
        QSKIP("gio is not installed (libglib2.0-bin)");
    const QString folder = m_home->filePath(u"it's \"q\" $x `y` \\ (a);b"_qs);
    QVERIFY(QDir().mkpath(folder));
    const QString script = folder + u"/run me.sh"_qs;
    QVERIFY(writeBytes(script, "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\n"));
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, script), RegResult::Success);
    QProcess launch;
    launch.setProcessChannelMode(QProcess::MergedChannels);
    launch.start(gio, {u"launch"_qs, entry(u"Tarnwick"_qs)});
    QVERIFY(launch.waitForFinished(30000));
    QVERIFY2(launch.exitCode() == 0, launch.readAll().constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + u"/ran"_qs), 10000);
}

void TestAutostart::commandsOfEntriesOthersWrote_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<QString>>("command");
    const auto app = [](const char* rest) {
        return QByteArray("[Desktop Entry]\nType=Application\nName=X\n") + rest;
    };

    QTest::newRow("unquoted program") << app("Exec=/usr/bin/foo\n") << std::optional<QString>(u"/usr/bin/foo"_qs);
    QTest::newRow("arguments kept as written")
        << app("Exec=foo --start \"a b\" %U\n") << std::optional<QString>(u"foo --start \"a b\" %U"_qs);
    QTest::newRow("spaces around =, CRLF")
        << QByteArray("[Desktop Entry]\r\nType = Application\r\nExec = \"/a b/c\"\r\n")
        << std::optional<QString>(u"/a b/c"_qs);
    QTest::newRow("backslash outside quotes") << app("Exec=/a\\\\ b\n") << std::optional<QString>(u"/a b"_qs);
    QTest::newRow("first Exec counts") << app("Exec=/first\nExec=/second\n") << std::optional<QString>(u"/first"_qs);
    QTest::newRow("hidden") << app("Exec=/x\nHidden=true\n") << std::optional<QString>();
    QTest::newRow("disabled") << app("Exec=/x\nX-GNOME-Autostart-enabled=false\n") << std::optional<QString>();
    QTest::newRow("link, not application")
        << QByteArray("[Desktop Entry]\nType=Link\nURL=http://x/\nExec=/x\n") << std::optional<QString>();
    QTest::newRow("unterminated quote") << app("Exec=\"/a b\n") << std::optional<QString>();
    QTest::newRow("Exec in another group")
        << QByteArray("[Desktop Entry]\nType=Application\n[Desktop Action new]\nExec=/x\n") << std::optional<QString>();
    QTest::newRow("second Desktop Entry group ignored")
        << QByteArray("[Desktop Entry]\nType=Application\n[Desktop Entry]\nExec=/x\n") << std::optional<QString>();
    QTest::newRow("not UTF-8") << app("Exec=/\xff\n") << std::optional<QString>();
}

void TestAutostart::commandsOfEntriesOthersWrote()
{
    QFETCH(QByteArray, text);
    QFETCH(std::optional<QString>, command);
    QCOMPARE(DesktopEntry::runCommand(text), command);
}

void TestAutostart::othersEntriesAreReadButLeftAlone()
{
    QVERIFY(QDir().mkpath(autostart()));
    const QByteArray other("[Desktop Entry]\nType=Application\nName=Other\nExec=other --tray %U\n");
    const QByteArray hidden("[Desktop Entry]\nType=Application\nName=Off\nExec=/off\nHidden=true\n");
    QVERIFY(writeBytes(entry(u"Other"_qs), other));
    QVERIFY(writeBytes(entry(u"Off"_qs), hidden));
    QVERIFY(writeBytes(autostart() + u"/notes.txt"_qs, "not an entry"));
    // Reading a pipe named like an entry would wait for ever.
    QCOMPARE(::mkfifo(QFile::encodeName(entry(u"Pipe"_qs)).constData(), 0600), 0);

    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/tarnwick"_qs), RegResult::Success);
    QCOMPARE(get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value().data, sz("/opt/tarnwick"));
    QCOMPARE(get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"other"_qs).value().data, sz("other --tray %U"));
    QVERIFY(!get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Off"_qs));
    QVERIFY(!get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Pipe"_qs));

    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(helper.RemoveFromRun(u"Off"_qs), RegResult::Success); // no such Run value
    RegKey run;
    QCOMPARE(m_registry->openKey(HKEY_LOCAL_MACHINE, kRun, run), RegResult::Success);
    QCOMPARE(m_registry->deleteValue(run.handle(), u"Off"_qs), RegResult::FileNotFound);
    QCOMPARE(QDir(autostart()).entryList(QDir::Files | QDir::System, QDir::Name),
             (QStringList{u"Off.desktop"_qs, u"Other.desktop"_qs, u"Pipe.desktop"_qs, u"notes.txt"_qs}));
    QCOMPARE(readBytes(entry(u"Other"_qs)), other);
    QCOMPARE(readBytes(entry(u"Off"_qs)), hidden);
}

void TestAutostart::valueNamesMatchWithoutCase()
{
    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/first"_qs), RegResult::Success);
    QCOMPARE(helper.AddToRun(u"TARNWICK"_qs, u"/second"_qs), RegResult::Success);
    QCOMPARE(QDir(autostart()).entryList(QDir::Files), QStringList{u"Tarnwick.desktop"_qs});
    QCOMPARE(get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"tarnwick"_qs).value().data, sz("/second"));
    QVERIFY(readBytes(entry(u"Tarnwick"_qs)).contains("\nName=Tarnwick\n"));
    QCOMPARE(helper.RemoveFromRun(u"tArNwIcK"_qs), RegResult::Success);
    QCOMPARE(QDir(autostart()).entryList(QDir::Files), QStringList());
}

void TestAutostart::unsafeNamesAndDataAreRefused()
{
    RegKey run;
    QCOMPARE(m_registry->openKey(HKEY_LOCAL_MACHINE, kRun, run), RegResult::Success);
    const HKEY h = run.handle();
    for (const QString& name : {QString(), u"."_qs, u".."_qs, u"a/b"_qs, u"../escape"_qs, QString(300, u'n')}) {
        QCOMPARE(m_registry->setValue(h, name, REG_SZ, sz("/x")), RegResult::InvalidParameter);
        RegValueInfo info;
        QCOMPARE(m_registry->queryValueInfo(h, name, info), RegResult::FileNotFound);
        QCOMPARE(m_registry->deleteValue(h, name), RegResult::FileNotFound);
    }
    QCOMPARE(m_registry->setValue(h, u"Tarnwick"_qs, REG_DWORD, QByteArray(4, '\0')), RegResult::InvalidParameter);
    for (const QByteArray& text : {sz(""), QByteArray("/a\0/b\0", 6), sz("/\xff")})
        QCOMPARE(m_registry->setValue(h, u"Tarnwick"_qs, REG_SZ, text), RegResult::InvalidParameter);
    // Extra terminating zeros are only terminators.
    QCOMPARE(m_registry->setValue(h, u"Tarnwick"_qs, REG_SZ, QByteArray("/x\0\0", 4)), RegResult::Success);
    QCOMPARE(QDir(autostart()).entryList(QDir::Files), QStringList{u"Tarnwick.desktop"_qs});
}

void TestAutostart::runKeyAlwaysExistsAndCannotBeDeleted()
{
    RegKey upper;
    RegKey machine;
    QCOMPARE(m_registry->openKey(HKEY_LOCAL_MACHINE, kRun.toUpper(), upper), RegResult::Success);
    QCOMPARE(m_registry->openKey(HKEY_LOCAL_MACHINE, kRun, machine), RegResult::Success);
    // However its path is spelt, the Run key is the folder.
    QCOMPARE(m_registry->setValue(upper.handle(), u"Tarnwick"_qs, REG_SZ, sz("/x")), RegResult::Success);
    QCOMPARE(get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value().data, sz("/x"));

    QCOMPARE(m_registry->deleteKey(HKEY_LOCAL_MACHINE, kRun), RegResult::AccessDenied);
    QCOMPARE(m_registry->deleteKey(machine.handle(), QString()), RegResult::AccessDenied);
    QVERIFY(QFile::exists(entry(u"Tarnwick"_qs)));

    // Read-only handles to Run stay read-only.
    RegKey read;
    QCOMPARE(m_registry->openKey(HKEY_LOCAL_MACHINE, kRun, read, KEY_READ), RegResult::Success);
    QCOMPARE(m_registry->deleteValue(read.handle(), u"Tarnwick"_qs), RegResult::AccessDenied);
    QVERIFY(QFile::exists(entry(u"Tarnwick"_qs)));
}

void TestAutostart::fileInPlaceOfTheFolderGivesACode()
{
    QVERIFY(QDir().mkpath(m_home->filePath(u"config"_qs)));
    QVERIFY(writeBytes(autostart(), "a file where the folder should be"));
    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/tarnwick"_qs), RegResult::CantWrite);
    QVERIFY(!get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs));
    QCOMPARE(readBytes(autostart()), QByteArray("a file where the folder should be"));
}

void TestAutostart::readOnlyFolderIsAccessDenied()
{
    if (::geteuid() == 0)
        QSKIP("root may write to any folder");
    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/tarnwick"_qs), RegResult::Success);
    QVERIFY(QFile::setPermissions(autostart(), QFile::ReadOwner | QFile::ExeOwner));
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/other"_qs), RegResult::AccessDenied);
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::AccessDenied);
    QCOMPARE(get(*m_registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value().data, sz("/opt/tarnwick"));
    QVERIFY(QFile::setPermissions(autostart(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestAutostart::entriesAreTheUsersAloneAndNeverWrittenThrough()
{
    AddRemove helper(*m_registry);
    const mode_t mask = ::umask(0);
    const RegResult added = helper.AddToRun(u"Tarnwick"_qs, u"/opt/tarnwick"_qs);
    const RegResult stored = put(*m_registry, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"v"_qs, REG_SZ, sz("x"));
    ::umask(mask);
    QCOMPARE(added, RegResult::Success);
    QCOMPARE(stored, RegResult::Success);
    constexpr QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    QCOMPARE(QFileInfo(entry(u"Tarnwick"_qs)).permissions() & 0x7077, owner);
    QCOMPARE(QFileInfo(m_home->filePath(u"data/Tarnwick/registry.sqlite3"_qs)).permissions() & 0x7077, owner);
    QCOMPARE(QFileInfo(m_home->filePath(u"data/Tarnwick"_qs)).permissions() & 0x7077, owner | QFile::ExeOwner);

    // A FIFO named as the entry is neither opened (which would wait for ever) nor replaced.
    const QString other = entry(u"Other"_qs);
    QCOMPARE(::mkfifo(QFile::encodeName(other).constData(), 0600), 0);
    QCOMPARE(helper.AddToRun(u"Other"_qs, u"/opt/other"_qs), RegResult::CantWrite);
    struct stat info {};
    QCOMPARE(::lstat(QFile::encodeName(other).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
}

void TestAutostart::fullDiskLeavesTheEntryWhole()
{
    QVERIFY(QDir().mkpath(autostart()));
    if (::mount("tarnwick-test", QFile::encodeName(autostart()).constData(), "tmpfs", 0, "size=16k") != 0)
        QSKIP("a tmpfs cannot be mounted here");
    AddRemove helper(*m_registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/tarnwick"_qs), RegResult::Success);
    const QByteArray before = readBytes(entry(u"Tarnwick"_qs));
    {
        QFile filler(autostart() + u"/filler"_qs);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write("x", 1) == 1) {
        }
    }
    const RegResult full = helper.AddToRun(u"Tarnwick"_qs, u"/opt/"_qs + QString(3000, u'n'));
    const QByteArray after = readBytes(entry(u"Tarnwick"_qs));
    const QStringList left = QDir(autostart()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    ::umount2(QFile::encodeName(autostart()).constData(), MNT_DETACH);
    QCOMPARE(full, RegResult::CantWrite);
    QCOMPARE(after, before);
    QCOMPARE(left, (QStringList{"Tarnwick.desktop", "filler"}));
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
