// The browser Tools-menu entry and the registry routines it is written with, over a registry in memory and
// over the platform's registry in a folder of its own.
#include "CRegister.h"
#include "MemoryRegistry.h"
#include "RegistryService.h"
#include "RegistryTesting.h"
#include "modIETools.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kExtensions = u"Software\\Microsoft\\Internet Explorer\\Extensions"_qs;
const QString kGuid = u"{ECC5777A-6E88-BFCE-13CE-81F134789E7B}"_qs;
const QString kEntry = kExtensions + u'\\' + kGuid;
const QString kKey = u"Software\\Tarnwick\\Test"_qs;
const QStringList kEntryValues{u"ButtonText"_qs, u"CLSID"_qs, u"Default Visible"_qs, u"Exec"_qs,
                               u"HotIcon"_qs,    u"Icon"_qs,  u"MenuStatusBar"_qs,   u"MenuText"_qs};
const modIETools::Program kProgram{u"Tarnwick"_qs, u"/opt/tarnwick/bin/tarnwick"_qs, u"/opt/icons/tarnwick-22.png"_qs};

// Refuses to store one value, as a store that fails part way through would.
struct RefusingRegistry : MemoryRegistry {
    QString refused;
    RegResult setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data) override
    {
        return fold(valueName) == fold(refused) ? RegResult::CantWrite
                                                : MemoryRegistry::setValue(key, valueName, type, data);
    }
};

} // namespace

inline char* toString(modIETools::EntryState state)
{
    return qstrdup(state == modIETools::EntryState::Absent    ? "Absent"
                   : state == modIETools::EntryState::Current ? "Current"
                                                              : "Different");
}

class TestToolsEntry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void entryWrittenTwiceIsOneKeyWithTheSameValues();
    void removedTwiceTheSecondChangesNothing();
    void emptyProductName();
    void oneRefusedValueDoesNotStopTheOthers();
    void readOnlyRootIsStillRead();
    void checkToolsEntry();
    void starAndEmptyNameAreTheDefaultValue();
    void emptyValueNameDeletesTheKey();
    void trimSlashes_data();
    void trimSlashes();
    void pathsAreTrimmedExceptForDeletingAKey();
    void textReadsBackWhole_data();
    void textReadsBackWhole();
    void readValueGivesTheDefault();

private:
    Registry& registry() { return *m_registry; }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Registry> m_registry;
};

void TestToolsEntry::initTestCase_data()
{
    QTest::addColumn<bool>("inMemory");
    QTest::newRow("memory") << true;
    QTest::newRow("platform") << false;
}

void TestToolsEntry::init()
{
    QFETCH_GLOBAL(bool, inMemory);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    if (inMemory)
        m_registry = std::make_unique<MemoryRegistry>();
    else
        m_registry = createRegistry({m_dir->filePath(u"store/registry.sqlite3"_qs), m_dir->filePath(u"autostart"_qs),
                                     u"Tarnwick"_qs, u"example.tarnwick.Tarnwick"_qs});
}

void TestToolsEntry::cleanup()
{
    m_registry.reset();
    m_dir.reset();
}

void TestToolsEntry::entryWrittenTwiceIsOneKeyWithTheSameValues()
{
    modIETools tools(registry(), kProgram);
    QVERIFY(tools.AddToolsEntry());
    QVERIFY(tools.AddToolsEntry());
    const QList<QByteArray> expected{sz("Tarnwick"),
                                     sz("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"),
                                     sz("Yes"),
                                     sz("/opt/tarnwick/bin/tarnwick"),
                                     sz("/opt/icons/tarnwick-22.png"),
                                     sz("/opt/icons/tarnwick-22.png"),
                                     sz("Tarnwick"),
                                     sz("&Tarnwick")};
    for (qsizetype i = 0; i < kEntryValues.size(); ++i) {
        const std::optional<RegValue> value = get(registry(), HKEY_LOCAL_MACHINE, kEntry, kEntryValues[i]);
        QVERIFY2(value && value->type == REG_SZ, qPrintable(kEntryValues[i]));
        QCOMPARE(value->data, expected[i]);
    }
    // One key: removed once, it is gone.
    QVERIFY(tools.RemoveToolsEntry());
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, kEntry));
}

void TestToolsEntry::removedTwiceTheSecondChangesNothing()
{
    const QString other = kExtensions + u"\\{00000000-0000-0000-0000-000000000001}"_qs;
    QCOMPARE(put(registry(), HKEY_LOCAL_MACHINE, other, u"ButtonText"_qs, REG_SZ, sz("Other")), RegResult::Success);
    modIETools tools(registry(), kProgram);
    QVERIFY(tools.AddToolsEntry());
    QVERIFY(tools.RemoveToolsEntry());
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, kEntry));
    QVERIFY(!tools.RemoveToolsEntry());
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, kEntry));
    QCOMPARE(get(registry(), HKEY_LOCAL_MACHINE, other, u"ButtonText"_qs).value().data, sz("Other"));
}

void TestToolsEntry::emptyProductName()
{
    modIETools tools(registry(), {QString(), kProgram.file, kProgram.icon});
    QVERIFY(tools.AddToolsEntry());
    CRegister reg(registry());
    // Stored as an empty text, which is not the same as no value.
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kEntry, u"ButtonText"_qs, u"none"_qs), QString(u""_qs));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kEntry, u"MenuStatusBar"_qs, u"none"_qs), QString(u""_qs));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kEntry, u"MenuText"_qs, u"none"_qs), u"&"_qs);
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Current);
}

void TestToolsEntry::oneRefusedValueDoesNotStopTheOthers()
{
    QFETCH_GLOBAL(bool, inMemory);
    if (!inMemory)
        QSKIP("runs on a registry in memory of its own");
    RefusingRegistry refusing;
    refusing.refused = u"CLSID"_qs;
    modIETools tools(refusing, kProgram);
    QVERIFY(!tools.AddToolsEntry());
    for (const QString& name : kEntryValues)
        QCOMPARE(get(refusing, HKEY_LOCAL_MACHINE, kEntry, name).has_value(), name != u"CLSID");
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Different);
}

void TestToolsEntry::readOnlyRootIsStillRead()
{
    QFETCH_GLOBAL(bool, inMemory);
    if (!inMemory)
        QSKIP("runs on a registry in memory of its own");
    ReadOnlyRegistry memory;
    modIETools tools(memory, kProgram);
    QVERIFY(tools.AddToolsEntry());
    memory.readOnly = true;
    CRegister reg(memory);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kEntry, u"MenuText"_qs, u"none"_qs), u"&Tarnwick"_qs);
    QVERIFY(!reg.WriteValue(HKEY_LOCAL_MACHINE, kEntry, u"MenuText"_qs, u"changed"_qs));
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, kEntry, u"MenuText"_qs));
    QVERIFY(!tools.RemoveToolsEntry());
    QVERIFY(!modIETools(memory, {u"Other"_qs, kProgram.file, kProgram.icon}).AddToolsEntry());
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Current);
}

void TestToolsEntry::checkToolsEntry()
{
    modIETools tools(registry(), kProgram);
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Absent);
    RegKey key; // the probe created nothing
    QCOMPARE(registry().openKey(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer"_qs, key, KEY_READ),
             RegResult::FileNotFound);

    QVERIFY(tools.AddToolsEntry());
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Current);
    // A copy of the program elsewhere sees an entry that is not its own.
    QCOMPARE(modIETools(registry(), {kProgram.name, u"/usr/bin/tarnwick"_qs, kProgram.icon}).CheckToolsEntry(),
             modIETools::EntryState::Different);
    CRegister reg(registry());
    QVERIFY(reg.DeleteEntry(HKEY_LOCAL_MACHINE, kEntry, u"HotIcon"_qs));
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Different);
    QCOMPARE(
        put(registry(), HKEY_LOCAL_MACHINE, kEntry, u"HotIcon"_qs, REG_EXPAND_SZ, sz("/opt/icons/tarnwick-22.png")),
        RegResult::Success);
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Different);
    // Written again it is whole; a value of someone else's beside it does not matter.
    QVERIFY(tools.AddToolsEntry());
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kEntry, u"Extra"_qs, u"x"_qs));
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Current);
    QVERIFY(tools.RemoveToolsEntry());
    QCOMPARE(tools.CheckToolsEntry(), modIETools::EntryState::Absent);
}

void TestToolsEntry::starAndEmptyNameAreTheDefaultValue()
{
    CRegister reg(registry());
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, u"*"_qs, u"unnamed"_qs));
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, u"Named"_qs, u"named"_qs));
    QCOMPARE(get(registry(), HKEY_LOCAL_MACHINE, kKey, QString()).value().data, sz("unnamed"));
    QVERIFY(!get(registry(), HKEY_LOCAL_MACHINE, kKey, u"*"_qs));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"*"_qs, u"none"_qs), u"unnamed"_qs);
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, QString(), u"empty name"_qs));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"*"_qs, u"none"_qs), u"empty name"_qs);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, QString(), u"none"_qs), u"empty name"_qs);

    QVERIFY(reg.DeleteEntry(HKEY_LOCAL_MACHINE, kKey, u"*"_qs));
    QVERIFY(!get(registry(), HKEY_LOCAL_MACHINE, kKey, QString()));
    QCOMPARE(get(registry(), HKEY_LOCAL_MACHINE, kKey, u"Named"_qs).value().data, sz("named"));
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, kKey, u"*"_qs));
}

void TestToolsEntry::emptyValueNameDeletesTheKey()
{
    CRegister reg(registry());
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, QString(), u"unnamed"_qs));
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, u"Named"_qs, u"named"_qs));
    // A key with subkeys stays, as RegDeleteKey leaves it, and a root is never deleted.
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, QString()));
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, QString(), QString()));
    QVERIFY(reg.DeleteEntry(HKEY_LOCAL_MACHINE, kKey, QString()));
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, kKey));
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, kKey, QString()));
    QVERIFY(exists(registry(), HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs));
}

void TestToolsEntry::trimSlashes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("both ends") << u"\\Software\\Tarnwick\\"_qs << u"Software\\Tarnwick"_qs;
    QTest::newRow("two at the start") << u"\\\\Software"_qs << u"\\Software"_qs;
    QTest::newRow("two at the end") << u"Software\\\\"_qs << u"Software\\"_qs;
    QTest::newRow("one slash") << u"\\"_qs << QString();
    QTest::newRow("forward slashes stay") << u"/Software/"_qs << u"/Software/"_qs;
    QTest::newRow("empty") << QString() << QString();
}

void TestToolsEntry::trimSlashes()
{
    QFETCH(QString, path);
    QFETCH(QString, trimmed);
    QCOMPARE(CRegister::TrimSlashes(path), trimmed);
}

void TestToolsEntry::pathsAreTrimmedExceptForDeletingAKey()
{
    CRegister reg(registry());
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, u"\\Software\\Tarnwick\\Test\\"_qs, u"Name"_qs, u"text"_qs));
    QCOMPARE(get(registry(), HKEY_LOCAL_MACHINE, kKey, u"Name"_qs).value().data, sz("text"));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, u"\\Software\\Tarnwick\\Test"_qs, u"Name"_qs, u"none"_qs), u"text"_qs);
    // Only one slash is trimmed: what is left still starts with one, which the registry refuses.
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, u"\\\\Software\\Tarnwick\\Test"_qs, u"Name"_qs, u"none"_qs), u"none"_qs);
    QVERIFY(!reg.WriteValue(HKEY_LOCAL_MACHINE, u"\\\\Software\\Other"_qs, u"Name"_qs, u"text"_qs));
    // Deleting a key takes the path as given: a leading slash is refused.
    QVERIFY(!reg.DeleteEntry(HKEY_LOCAL_MACHINE, u"\\Software\\Tarnwick\\Test"_qs, QString()));
    QVERIFY(exists(registry(), HKEY_LOCAL_MACHINE, kKey));
    QVERIFY(reg.DeleteEntry(HKEY_LOCAL_MACHINE, u"\\Software\\Tarnwick\\Test\\"_qs, u"Name"_qs));
    QVERIFY(reg.DeleteEntry(HKEY_LOCAL_MACHINE, u"Software\\Tarnwick\\Test\\"_qs, QString()));
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, kKey));
    QVERIFY(exists(registry(), HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs));
}

void TestToolsEntry::textReadsBackWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("umlauts") << u"Ärger über Pop-ups"_qs;
    QTest::newRow("euro, three bytes each") << QString(300, QChar(0x20AC));
    QTest::newRow("a zero inside") << QString(u"before"_qs + QChar(0) + u"after"_qs);
    QTest::newRow("32768") << QString(32768, u'b');
    QTest::newRow("100000") << QString(100000, u'c');
}

void TestToolsEntry::textReadsBackWhole()
{
    QFETCH(QString, text);
    CRegister reg(registry());
    QVERIFY(reg.WriteValue(HKEY_LOCAL_MACHINE, kKey, u"Text"_qs, text));
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"Text"_qs, u"none"_qs), text);
}

void TestToolsEntry::readValueGivesTheDefault()
{
    CRegister reg(registry());
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"Name"_qs, u"no key"_qs), u"no key"_qs);
    QCOMPARE(put(registry(), HKEY_LOCAL_MACHINE, kKey, u"Empty"_qs, REG_SZ, QByteArray()), RegResult::Success);
    QCOMPARE(put(registry(), HKEY_LOCAL_MACHINE, kKey, u"Raw"_qs, REG_BINARY, QByteArray("raw")), RegResult::Success);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"Name"_qs, u"no value"_qs), u"no value"_qs);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"Empty"_qs, u"empty"_qs), u"empty"_qs);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"*"_qs, u"no default value"_qs), u"no default value"_qs);
    // Any type reads as text; without a terminating zero nothing is cut off.
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, kKey, u"Raw"_qs, u"none"_qs), u"raw"_qs);
    QCOMPARE(reg.ReadValue(HKEY_LOCAL_MACHINE, u"Software\\Missing"_qs, u"Name"_qs, u"x"_qs), u"x"_qs);
    QVERIFY(!exists(registry(), HKEY_LOCAL_MACHINE, u"Software\\Missing"_qs));
}

QTEST_GUILESS_MAIN(TestToolsEntry)
#include "tst_tools_entry.moc"
