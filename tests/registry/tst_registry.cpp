// The registry's advapi32 semantics, the same for every store: in memory, in SQLite, and the Linux
// registry that mounts the Run keys on the autostart folder.
#include "MemoryRegistry.h"
#include "RegistryService.h"
#include "RegistryTesting.h"
#include "SqliteRegistry.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void namesIgnoreCase();
    void createMakesMissingKeysOpenNeedsThemAll();
    void invalidHandles();
    void missingValuesAndTheDefaultValue();
    void valuesKeepTypeAndBytes();
    void deleteKeyRefusesSubkeysAndRoots();
    void handlesOfDeletedKeys();
    void accessRights();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Registry> m_registry;
};

void TestRegistry::initTestCase_data()
{
    QTest::addColumn<QString>("store");
    QTest::newRow("memory") << u"memory"_qs;
    QTest::newRow("sqlite") << u"sqlite"_qs;
    QTest::newRow("linux") << u"linux"_qs;
}

void TestRegistry::init()
{
    QFETCH_GLOBAL(QString, store);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString file = m_dir->filePath(u"store/registry.sqlite3"_qs);
    if (store == u"memory")
        m_registry = std::make_unique<MemoryRegistry>();
    else if (store == u"sqlite")
        m_registry = std::make_unique<SqliteRegistry>(file);
    else
        m_registry =
            createRegistry({file, m_dir->filePath(u"autostart"_qs), u"Tarnwick"_qs, u"example.tarnwick.Tarnwick"_qs});
}

void TestRegistry::cleanup()
{
    m_registry.reset();
    m_dir.reset();
}

void TestRegistry::namesIgnoreCase()
{
    Registry& r = *m_registry;
    RegKey key;
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"Software\\Tarnwick\\Lists"_qs, key), RegResult::Success);
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\tarnwick\\lISTS"_qs, key), RegResult::Success);
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"software\\TARNWICK\\Ärger"_qs, key), RegResult::Success);
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"Software\\Tarnwick\\äRGER"_qs, key), RegResult::Success);
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\TARNWICK\\ÄRGER"_qs, u"v"_qs, REG_SZ, sz("one")),
             RegResult::Success);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"software\\tarnwick\\ärger"_qs, u"V"_qs).value().data, sz("one"));

    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"Colour"_qs, REG_SZ, sz("red")), RegResult::Success);
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"COLOUR"_qs, REG_SZ, sz("blue")),
             RegResult::Success);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"colour"_qs).value().data, sz("blue"));
    // One value and two subkeys, however they were spelt: once those are deleted nothing is left.
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, key), RegResult::Success);
    QCOMPARE(r.deleteValue(key.handle(), u"cOLOUR"_qs), RegResult::Success);
    QVERIFY(!get(r, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"Colour"_qs));
    QCOMPARE(r.deleteKey(key.handle(), u"LISTS"_qs), RegResult::Success);
    QCOMPARE(r.deleteKey(key.handle(), u"ärger"_qs), RegResult::Success);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"software\\tarnwick"_qs), RegResult::Success);
}

void TestRegistry::createMakesMissingKeysOpenNeedsThemAll()
{
    Registry& r = *m_registry;
    RegKey key;
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"A\\B\\C"_qs, key), RegResult::FileNotFound);
    QCOMPARE(key.handle(), HKEY(0));
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"A\\B\\C"_qs, key), RegResult::Success);
    for (const QString& path : {u"A"_qs, u"A\\B"_qs, u"A\\B\\C\\"_qs})
        QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, path, key), RegResult::Success);
    for (const QString& bad : {u"\\A"_qs, u"A\\\\B"_qs, u"A\\B\\\\"_qs, u"\\"_qs})
        QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, bad, key), RegResult::BadPathname);
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"New\\\\Key"_qs, key), RegResult::BadPathname);
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"New"_qs, key), RegResult::FileNotFound);

    // Relative to an open key, and that key again through an empty path: two handles, one key.
    RegKey a;
    RegKey same;
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"A"_qs, a), RegResult::Success);
    QCOMPARE(r.createKey(a.handle(), u"E\\F"_qs, key), RegResult::Success);
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"a\\e\\f"_qs, key), RegResult::Success);
    QCOMPARE(r.openKey(a.handle(), QString(), same), RegResult::Success);
    QVERIFY(same.handle() != a.handle());
    QCOMPARE(r.setValue(same.handle(), u"v"_qs, REG_SZ, sz("x")), RegResult::Success);
    same.reset();
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"A"_qs, u"v"_qs).value().data, sz("x"));
    QCOMPARE(r.setValue(a.handle(), u"w"_qs, REG_SZ, sz("y")), RegResult::Success);
}

void TestRegistry::invalidHandles()
{
    Registry& r = *m_registry;
    RegKey key;
    RegValueInfo info;
    QCOMPARE(r.openKey(0x80000042, u"S"_qs, key), RegResult::InvalidHandle);
    QCOMPARE(r.openKey(0x80000001, u"S"_qs, key), RegResult::InvalidHandle); // another advapi32 root: not one here
    QCOMPARE(r.createKey(0x1234, u"S"_qs, key), RegResult::InvalidHandle);
    QCOMPARE(r.setValue(0x1234, u"v"_qs, REG_SZ, sz("x")), RegResult::InvalidHandle);
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"S"_qs, key), RegResult::Success);
    const HKEY closed = key.handle();
    key.reset();
    QCOMPARE(r.queryValueInfo(closed, u"v"_qs, info), RegResult::InvalidHandle);
}

void TestRegistry::missingValuesAndTheDefaultValue()
{
    Registry& r = *m_registry;
    const QString path = u"Software\\App Paths\\X"_qs;
    RegKey key;
    RegValue value;
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, path, key), RegResult::Success);
    QCOMPARE(r.queryValue(key.handle(), QString(), value), RegResult::FileNotFound);
    QCOMPARE(r.deleteValue(key.handle(), u"Missing"_qs), RegResult::FileNotFound);

    QCOMPARE(r.setValue(key.handle(), QString(), REG_SZ, sz("/usr/bin/x")), RegResult::Success);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, path, QString()).value().data, sz("/usr/bin/x"));
    // "*" is an ordinary name here; the layer above maps its "*" to the empty name.
    QCOMPARE(r.queryValue(key.handle(), u"*"_qs, value), RegResult::FileNotFound);
    QCOMPARE(r.setValue(key.handle(), u"*"_qs, REG_SZ, sz("star")), RegResult::Success);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, path, QString()).value().data, sz("/usr/bin/x"));
    QCOMPARE(r.deleteValue(key.handle(), QString()), RegResult::Success);
    QVERIFY(!get(r, HKEY_LOCAL_MACHINE, path, QString()));
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, path, u"*"_qs).value().data, sz("star"));
}

void TestRegistry::valuesKeepTypeAndBytes()
{
    Registry& r = *m_registry;
    RegKey key;
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"Types"_qs, key), RegResult::Success);
    const struct {
        QString name;
        std::uint32_t type;
        QByteArray data;
    } cases[] = {
        {u"dword"_qs, REG_DWORD, QByteArray("\x2a\x00\x00\x80", 4)},
        {u"binary"_qs, REG_BINARY, QByteArray("\x00\xff\x00\x01\x00", 5)},
        {u"empty text"_qs, REG_SZ, QByteArray()},
        {u"utf8"_qs, REG_SZ, sz("Grüße")},
    };
    for (const auto& c : cases)
        QCOMPARE(r.setValue(key.handle(), c.name, c.type, c.data), RegResult::Success);
    for (const auto& c : cases) {
        RegValueInfo info;
        RegValue value;
        QCOMPARE(r.queryValueInfo(key.handle(), c.name, info), RegResult::Success);
        QCOMPARE(info.type, c.type);
        QCOMPARE(info.size, std::uint32_t(c.data.size()));
        QCOMPARE(r.queryValue(key.handle(), c.name, value), RegResult::Success);
        QCOMPARE(value.data, c.data);
    }
    // Writing again replaces type and data together.
    QCOMPARE(r.setValue(key.handle(), u"dword"_qs, REG_SZ, sz("text")), RegResult::Success);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"Types"_qs, u"DWORD"_qs).value().type, REG_SZ);
}

void TestRegistry::deleteKeyRefusesSubkeysAndRoots()
{
    Registry& r = *m_registry;
    RegKey key;
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"A"_qs, u"v"_qs, REG_SZ, sz("kept")), RegResult::Success);
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"A\\B"_qs, key), RegResult::Success);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"a"_qs), RegResult::AccessDenied);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"A"_qs, u"v"_qs).value().data, sz("kept"));
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"A\\b"_qs), RegResult::Success);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"A\\b"_qs), RegResult::FileNotFound);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"A"_qs), RegResult::Success);
    // The values went with the key.
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"A"_qs, key), RegResult::Success);
    QVERIFY(!get(r, HKEY_LOCAL_MACHINE, u"A"_qs, u"v"_qs));

    // The way the Tools-menu layer deletes: the root opened as a key, the path relative to it.
    RegKey root;
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, QString(), root), RegResult::Success);
    QCOMPARE(r.deleteKey(root.handle(), u"A"_qs), RegResult::Success);
    QCOMPARE(r.deleteKey(root.handle(), QString()), RegResult::AccessDenied);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, QString()), RegResult::AccessDenied);
}

void TestRegistry::handlesOfDeletedKeys()
{
    Registry& r = *m_registry;
    RegKey old;
    RegKey key;
    RegValue value;
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"Gone"_qs, old), RegResult::Success);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"Gone"_qs), RegResult::Success);
    QCOMPARE(r.setValue(old.handle(), u"v"_qs, REG_SZ, sz("x")), RegResult::KeyDeleted);
    QCOMPARE(r.createKey(old.handle(), u"Sub"_qs, key), RegResult::KeyDeleted);
    // A key made again under the same name is another key: the old handle does not reach it.
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Gone"_qs, u"v"_qs, REG_SZ, sz("new")), RegResult::Success);
    QCOMPARE(r.queryValue(old.handle(), u"v"_qs, value), RegResult::KeyDeleted);
    QCOMPARE(r.deleteKey(old.handle(), QString()), RegResult::KeyDeleted);
    old.reset();
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"Gone"_qs, u"v"_qs).value().data, sz("new"));
}

void TestRegistry::accessRights()
{
    Registry& r = *m_registry;
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"R"_qs, u"v"_qs, REG_SZ, sz("x")), RegResult::Success);
    RegKey read;
    RegKey write;
    RegKey sub;
    RegValue value;
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"R"_qs, read, KEY_READ), RegResult::Success);
    QCOMPARE(r.queryValue(read.handle(), u"v"_qs, value), RegResult::Success);
    QCOMPARE(r.setValue(read.handle(), u"v"_qs, REG_SZ, sz("y")), RegResult::AccessDenied);
    QCOMPARE(r.deleteValue(read.handle(), u"v"_qs), RegResult::AccessDenied);
    QCOMPARE(r.createKey(read.handle(), u"Sub"_qs, sub), RegResult::AccessDenied);
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"R"_qs, write, KEY_SET_VALUE), RegResult::Success);
    QCOMPARE(r.queryValue(write.handle(), u"v"_qs, value), RegResult::AccessDenied);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"R"_qs, u"v"_qs).value().data, sz("x"));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
