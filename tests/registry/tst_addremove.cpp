// The main window's Run value over a registry in memory.
#include "AddRemove.h"
#include "MemoryRegistry.h"
#include "RegistryTesting.h"

#include <QTest>

namespace {

const QString kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"_qs;
const QString kExe = u"/opt/Tarnwick/Tarnwick.exe"_qs;

} // namespace

class TestAddRemove : public QObject {
    Q_OBJECT
private slots:
    void addToRunWritesAndReplacesTheValue();
    void addToRunCreatesThePathAndWritesUtf8WithZero();
    void removeFromRunLeavesOtherValues();
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
}

void TestAddRemove::addToRunCreatesThePathAndWritesUtf8WithZero()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    RegKey key;
    QCOMPARE(registry.openKey(HKEY_LOCAL_MACHINE, u"Software"_qs, key), RegResult::FileNotFound);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, u"/opt/Grüße"_qs), RegResult::Success);
    QCOMPARE(get(registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs).value().data, QByteArray("/opt/Gr\xc3\xbc\xc3\x9f"
                                                                                              "e",
                                                                                              12)
                                                                                       .append('\0'));
}

void TestAddRemove::removeFromRunLeavesOtherValues()
{
    MemoryRegistry registry;
    AddRemove helper(registry);
    // Neither the Run key nor the value there yet: nothing changes, and the value is absent as asked.
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(put(registry, HKEY_LOCAL_MACHINE, kRun, u"Other"_qs, REG_SZ, sz("/usr/bin/other")), RegResult::Success);
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, kExe), RegResult::Success);
    QCOMPARE(helper.RemoveFromRun(u"TARNWICK"_qs), RegResult::Success);
    QVERIFY(!get(registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs));
    QCOMPARE(helper.RemoveFromRun(u"Tarnwick"_qs), RegResult::Success);
    QCOMPARE(get(registry, HKEY_LOCAL_MACHINE, kRun, u"Other"_qs).value().data, sz("/usr/bin/other"));
}

void TestAddRemove::withoutWriteAccessNothingIsStored()
{
    ReadOnlyRegistry registry;
    AddRemove helper(registry);
    QCOMPARE(helper.AddToRun(u"Old"_qs, u"/old"_qs), RegResult::Success);
    registry.readOnly = true;

    QCOMPARE(helper.AddToRun(u"Tarnwick"_qs, kExe), RegResult::AccessDenied);
    QCOMPARE(helper.RemoveFromRun(u"Old"_qs), RegResult::AccessDenied);
    QVERIFY(!get(registry, HKEY_LOCAL_MACHINE, kRun, u"Tarnwick"_qs));
    QCOMPARE(get(registry, HKEY_LOCAL_MACHINE, kRun, u"Old"_qs).value().data, sz("/old"));
}

QTEST_GUILESS_MAIN(TestAddRemove)
#include "tst_addremove.moc"
