// The registry helper's task and general operations over a registry in memory.
#include "AddRemove.h"
#include "MemoryRegistry.h"
#include "RegistryTesting.h"

#include <QTest>

namespace {

const QString kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"_qs;
const QString kUninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"_qs;
const QString kExe = u"/opt/Tarnwick/Tarnwick.exe"_qs;

} // namespace

class TestAddRemove : public QObject {
    Q_OBJECT
private slots:
    void addToRunWritesAndReplacesTheValue();
    void removeFromRunLeavesOtherValues();
    void uninstallEntryLeavesNoKeyBehind();
    void getString_data();
    void getString();
    void getStringOfMissingKeyOrValue();
    void saveStringCreatesThePathAndEndsWithZero();
    void withoutWriteAccessNothingIsStored();
};

void TestAddRemove::addToRunWritesAndReplacesTheValue()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/old/Tarnwick.exe"_qs), RegResult::Success);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, kExe), RegResult::Success);
    const RegValue value = get(registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value();
    QCOMPARE(value.type, REG_SZ);
    QCOMPARE(value.data, kExe.toUtf8().append('\0'));
    QCOMPARE(values(registry, HKEY_LOCAL_MACHINE, kRun), QStringList{u"Tarnwick"_qs});
    QCOMPARE(helper.GetString(HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs), kExe);
}

void TestAddRemove::removeFromRunLeavesOtherValues()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(put(registry, HKEY_LOCAL_MACHINE, kRun, u"Other"_qs, REG_SZ, sz("/usr/bin/other")), RegResult::Success);
    // None there yet: nothing changes, and the value is absent as asked.
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, kExe), RegResult::Success);
    QCOMPARE(helper.RemoveFromRun(u"TARNWICK"_qs), RegResult::Success);
    QCOMPARE(values(registry, HKEY_LOCAL_MACHINE, kRun), QStringList{u"Other"_qs});
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(values(registry, HKEY_LOCAL_MACHINE, kRun), QStringList{u"Other"_qs});
}

void TestAddRemove::uninstallEntryLeavesNoKeyBehind()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.AddToList(u"Other"_qs, u"other --uninstall"_qs), RegResult::Success);
    QCOMPARE(helper.AddToList(u"Tarnwick"_qs, u"/opt/Tarnwick/uninstall"_qs), RegResult::Success);
    const QString key = kUninstall + u"\\Tarnwick"_qs;
    QCOMPARE(values(registry, HKEY_LOCAL_MACHINE, key), (QStringList{u"DisplayName"_qs, u"UninstallString"_qs}));
    QCOMPARE(helper.GetString(HKEY_LOCAL_MACHINE, key, u"DisplayName"_qs), u"Tarnwick"_qs);
    QCOMPARE(helper.GetString(HKEY_LOCAL_MACHINE, key, u"UninstallString"_qs), u"/opt/Tarnwick/uninstall"_qs);

    QCOMPARE(helper.RemoveFromList(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(subkeys(registry, HKEY_LOCAL_MACHINE, kUninstall), QStringList{u"Other"_qs});
    QCOMPARE(helper.RemoveFromList(u"Tarnwick"_qs), RegResult::FileNotFound);
}

void TestAddRemove::getString_data()
{
    QTest::addColumn<std::uint32_t>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");

    QTest::newRow("text and zero") << REG_SZ << sz("C:\\x.exe") << true << u"C:\\x.exe"_qs;
    QTest::newRow("no terminating zero") << REG_SZ << QByteArray("whole") << true << u"whole"_qs;
    QTest::newRow("embedded zero") << REG_SZ << QByteArray("before\0after\0", 13) << true << u"before"_qs;
    QTest::newRow("zero first") << REG_SZ << QByteArray("\0rest", 5) << true << QString();
    QTest::newRow("no bytes") << REG_SZ << QByteArray() << true << QString();
    QTest::newRow("utf-8") << REG_SZ << sz("Größe ✓") << true << u"Größe ✓"_qs;
    QTest::newRow("past 32767 characters") << REG_SZ << QByteArray(40000, 'a') << true << QString(40000, u'a');
    QTest::newRow("dword") << REG_DWORD << QByteArray("\x01\x00\x00\x00", 4) << false << QString();
    QTest::newRow("expandable text") << REG_EXPAND_SZ << sz("%HOME%") << false << QString();
    QTest::newRow("binary") << REG_BINARY << sz("text") << false << QString();
}

void TestAddRemove::getString()
{
    QFETCH(std::uint32_t, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, present);
    QFETCH(QString, text);
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(put(registry, HKEY_CURRENT_USER, u"Software\\T"_qs, u"v"_qs, type, data), RegResult::Success);
    const std::optional<QString> result = helper.GetString(HKEY_CURRENT_USER, u"software\\t"_qs, u"V"_qs);
    QCOMPARE(result.has_value(), present);
    if (present)
        QCOMPARE(*result, text);
}

void TestAddRemove::getStringOfMissingKeyOrValue()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.GetString(HKEY_CURRENT_USER, u"Software\\T"_qs, u"v"_qs), std::nullopt);
    QCOMPARE(helper.SaveKey(HKEY_CURRENT_USER, u"Software\\T"_qs), RegResult::Success);
    QCOMPARE(helper.GetString(HKEY_CURRENT_USER, u"Software\\T"_qs, u"v"_qs), std::nullopt);
    QCOMPARE(helper.GetString(HKEY_CURRENT_USER, u"Software\\T"_qs, QString()), std::nullopt);
    // The default value, once written, is read like any other.
    QCOMPARE(helper.SaveString(HKEY_CURRENT_USER, u"Software\\T"_qs, QString(), QString()), RegResult::Success);
    QCOMPARE(helper.GetString(HKEY_CURRENT_USER, u"Software\\T"_qs, QString()), QString());
}

void TestAddRemove::saveStringCreatesThePathAndEndsWithZero()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.SaveString(HKEY_CURRENT_USER, u"A\\B\\C"_qs, u"v"_qs, u"Grüße"_qs), RegResult::Success);
    const RegValue value = get(registry, HKEY_CURRENT_USER, u"A\\B\\C"_qs, u"v"_qs).value();
    QCOMPARE(value.type, REG_SZ);
    QCOMPARE(value.data, QByteArray("Gr\xc3\xbc\xc3\x9f"
                                    "e",
                                    7)
                             .append('\0'));

    QCOMPARE(helper.DeleteValue(HKEY_CURRENT_USER, u"A\\B\\C"_qs, u"V"_qs), RegResult::Success);
    QCOMPARE(helper.GetString(HKEY_CURRENT_USER, u"A\\B\\C"_qs, u"v"_qs), std::nullopt);
    QCOMPARE(helper.DeleteValue(HKEY_CURRENT_USER, u"A\\Missing"_qs, u"v"_qs), RegResult::FileNotFound);
}

void TestAddRemove::withoutWriteAccessNothingIsStored()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.AddToRun(u"Old"_qs, u"/old"_qs), RegResult::Success);
    registry.setReadOnly(HKEY_LOCAL_MACHINE, true);

    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, kExe), RegResult::AccessDenied);
    QCOMPARE(helper.AddToList(u"Tarnwick"_qs, u"x"_qs), RegResult::AccessDenied);
    QCOMPARE(helper.RemoveFromRun(u"Old"_qs), RegResult::AccessDenied);
    QCOMPARE(values(registry, HKEY_LOCAL_MACHINE, kRun), QStringList{u"Old"_qs});
    QCOMPARE(subkeys(registry, HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion"_qs),
             QStringList{u"Run"_qs});
    // Reading needs no more than the user has.
    QCOMPARE(helper.GetString(HKEY_LOCAL_MACHINE, kRun, u"Old"_qs), u"/old"_qs);
}

QTEST_GUILESS_MAIN(TestAddRemove)
#include "tst_addremove.moc"
