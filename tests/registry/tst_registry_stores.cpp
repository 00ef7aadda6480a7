// What belongs to one store: the SQLite file across reopening and damaged; a store the user may only read.
#include "RegistryTesting.h"
#include "SqliteRegistry.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestRegistryStores : public QObject {
    Q_OBJECT
private slots:
    void sqliteKeepsEverythingAcrossReopening();
    void unusableSqliteStore_data();
    void unusableSqliteStore();
    void readOnlyBranchCanBeReadNotChanged();
};

void TestRegistryStores::sqliteKeepsEverythingAcrossReopening()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data/Tarnwick/registry.sqlite3"_qs);
    {
        SqliteRegistry r(path);
        QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"Name"_qs, REG_SZ, sz("Tarnwick")),
                 RegResult::Success);
        QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\tarnwick"_qs, u"Count"_qs, REG_DWORD,
                     QByteArray("\x07\x00\x00\x00", 4)),
                 RegResult::Success);
        QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Temp\\Sub"_qs, QString(), REG_BINARY, QByteArray(3, '\0')),
                 RegResult::Success);
        QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"Temp\\Sub"_qs), RegResult::Success);
    }
    QVERIFY(QFile::exists(path));
    SqliteRegistry again(path);
    QCOMPARE(get(again, HKEY_LOCAL_MACHINE, u"software\\TARNWICK"_qs, u"NAME"_qs).value().data, sz("Tarnwick"));
    const RegValue count = get(again, HKEY_LOCAL_MACHINE, u"Software\\Tarnwick"_qs, u"count"_qs).value();
    QCOMPARE(count.type, REG_DWORD);
    QCOMPARE(count.data, QByteArray("\x07\x00\x00\x00", 4));
    RegKey key;
    QCOMPARE(again.openKey(HKEY_LOCAL_MACHINE, u"Temp\\Sub"_qs, key), RegResult::FileNotFound);
    QCOMPARE(again.openKey(HKEY_LOCAL_MACHINE, u"Temp"_qs, key), RegResult::Success);
}

void TestRegistryStores::unusableSqliteStore_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<RegResult>("expected");
    QTest::newRow("folder in the way") << u"folder"_qs << RegResult::CantOpen;
    QTest::newRow("file in the way of its folder") << u"parent"_qs << RegResult::CantOpen;
    QTest::newRow("not a database") << u"garbage"_qs << RegResult::BadDatabase;
    QTest::newRow("newer program's store") << u"newer"_qs << RegResult::BadDatabase;
}

// Every operation answers the code, nothing is replaced, and the store works once the cause is gone.
void TestRegistryStores::unusableSqliteStore()
{
    QFETCH(QString, damage);
    QFETCH(RegResult, expected);
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Tarnwick"_qs);
    const QString path = folder + u"/registry.sqlite3"_qs;
    QVERIFY(QDir().mkpath(folder));
    if (damage == u"folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (damage == u"parent") {
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeBytes(folder, "a file"));
    } else if (damage == u"garbage") {
        QVERIFY(writeBytes(path, QByteArray("not a database, just text\n").repeated(200)));
    } else {
        {
            SqliteRegistry made(path);
            QCOMPARE(put(made, HKEY_LOCAL_MACHINE, u"K"_qs, u"v"_qs, REG_SZ, sz("x")), RegResult::Success);
        }
        QByteArray bytes = readBytes(path);
        QCOMPARE(bytes.left(15), QByteArray("SQLite format 3"));
        bytes[63] = 2; // user_version, big-endian at offset 60
        QVERIFY(writeBytes(path, bytes));
    }
    const QByteArray before = readBytes(path);

    {
        SqliteRegistry r(path);
        RegKey key;
        QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"K"_qs, key), expected);
        QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"K"_qs, key), expected);
        QCOMPARE(r.setValue(HKEY_LOCAL_MACHINE, u"v"_qs, REG_SZ, sz("x")), expected);
        RegValueInfo info;
        QCOMPARE(r.queryValueInfo(HKEY_LOCAL_MACHINE, u"v"_qs, info), expected);
        QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"K"_qs), expected);
        QCOMPARE(r.deleteValue(HKEY_LOCAL_MACHINE, u"v"_qs), expected);
        QCOMPARE(readBytes(path), before);

        // The cause removed, the same object opens the store on its next call.
        if (damage == u"parent")
            QVERIFY(QFile::remove(folder));
        else if (damage == u"folder")
            QVERIFY(QDir(path).removeRecursively());
        else
            QVERIFY(QFile::remove(path));
        QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"K"_qs, u"v"_qs, REG_SZ, sz("fresh")), RegResult::Success);
    }
    SqliteRegistry reopened(path);
    QCOMPARE(get(reopened, HKEY_LOCAL_MACHINE, u"K"_qs, u"v"_qs).value().data, sz("fresh"));
}

void TestRegistryStores::readOnlyBranchCanBeReadNotChanged()
{
    ReadOnlyRegistry r;
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Software\\X"_qs, u"v"_qs, REG_SZ, sz("x")), RegResult::Success);
    r.readOnly = true;
    RegKey key;
    QCOMPARE(r.openKey(HKEY_LOCAL_MACHINE, u"Software\\X"_qs, key, KEY_ALL_ACCESS), RegResult::AccessDenied);
    // The most the user may have is reading: an existing key opens, a missing one cannot be made.
    RegKey readable;
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"software\\x"_qs, readable, MAXIMUM_ALLOWED), RegResult::Success);
    QCOMPARE(r.setValue(readable.handle(), u"v"_qs, REG_SZ, sz("y")), RegResult::AccessDenied);
    QCOMPARE(r.createKey(HKEY_LOCAL_MACHINE, u"Software\\New"_qs, key, MAXIMUM_ALLOWED), RegResult::AccessDenied);
    QCOMPARE(r.deleteKey(HKEY_LOCAL_MACHINE, u"Software\\X"_qs), RegResult::AccessDenied);
    QCOMPARE(get(r, HKEY_LOCAL_MACHINE, u"Software\\X"_qs, u"v"_qs).value().data, sz("x"));
    // Rights are granted when a key is opened: a handle opened for reading stays so once writing is allowed.
    r.readOnly = false;
    QCOMPARE(r.setValue(readable.handle(), u"v"_qs, REG_SZ, sz("y")), RegResult::AccessDenied);
    QCOMPARE(put(r, HKEY_LOCAL_MACHINE, u"Software\\X"_qs, u"v"_qs, REG_SZ, sz("u")), RegResult::Success);
}

QTEST_GUILESS_MAIN(TestRegistryStores)
#include "tst_registry_stores.moc"
