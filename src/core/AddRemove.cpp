#include "AddRemove.h"

namespace {

const QString kRunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");

} // namespace

AddRemove::AddRemove(Registry& registry)
    : m_registry(registry)
{}

RegResult AddRemove::AddToRun(const QString& ProgramName, const QString& FileToRun)
{
    // The most the user may have: where the Run key may only be read, the write is what is refused.
    RegKey key;
    if (const RegResult r = m_registry.createKey(HKEY_LOCAL_MACHINE, kRunKey, key, MAXIMUM_ALLOWED);
        r != RegResult::Success)
        return r;
    return m_registry.setValue(key.handle(), ProgramName, REG_SZ, FileToRun.toUtf8().append('\0'));
}

RegResult AddRemove::RemoveFromRun(const QString& ProgramName)
{
    RegKey key;
    RegResult result = m_registry.openKey(HKEY_LOCAL_MACHINE, kRunKey, key, MAXIMUM_ALLOWED);
    if (result == RegResult::Success)
        result = m_registry.deleteValue(key.handle(), ProgramName);
    return result == RegResult::FileNotFound ? RegResult::Success : result;
}
