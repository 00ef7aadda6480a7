#include "AddRemove.h"

namespace {

const QString kUninstallKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
const QString kRunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");

} // namespace

AddRemove::AddRemove(Registry& registry)
    : m_registry(registry)
{}

RegResult AddRemove::AddToList(const QString& ProgramName, const QString& UninstallCommand)
{
    // Both values are written whatever becomes of the first.
    const RegResult name =
        SaveString(HKEY_LOCAL_MACHINE, kUninstallKey + ProgramName, QStringLiteral("DisplayName"), ProgramName);
    const RegResult command = SaveString(HKEY_LOCAL_MACHINE, kUninstallKey + ProgramName,
                                         QStringLiteral("UninstallString"), UninstallCommand);
    return name != RegResult::Success ? name : command;
}

RegResult AddRemove::RemoveFromList(const QString& ProgramName)
{
    return DeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey + ProgramName);
}

RegResult AddRemove::AddToRun(const QString& ProgramName, const QString& FileToRun)
{
    return SaveString(HKEY_LOCAL_MACHINE, kRunKey, ProgramName, FileToRun);
}

RegResult AddRemove::RemoveFromRun(const QString& ProgramName)
{
    const RegResult result = DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, ProgramName);
    return result == RegResult::FileNotFound ? RegResult::Success : result;
}

RegResult AddRemove::SaveKey(HKEY hKey, const QString& strPath)
{
    RegKey key;
    return m_registry.createKey(hKey, strPath, key, MAXIMUM_ALLOWED);
}

std::optional<QString> AddRemove::GetString(HKEY hKey, const QString& strPath, const QString& strValue)
{
    std::optional<QString> result;
    RegKey key;
    if (m_registry.openKey(hKey, strPath, key, MAXIMUM_ALLOWED) != RegResult::Success)
        return result;
    RegValueInfo info;
    if (m_registry.queryValueInfo(key.handle(), strValue, info) != RegResult::Success || info.type != REG_SZ)
        return result;
    // A buffer of the size just learnt, filled with spaces, takes the data; should the value have grown
    // meanwhile the read fails as it would into a buffer too small.
    QByteArray buffer(info.size, ' ');
    RegValue value;
    if (m_registry.queryValue(key.handle(), strValue, value) != RegResult::Success || value.type != REG_SZ ||
        value.data.size() > buffer.size())
        return result;
    buffer.replace(0, value.data.size(), value.data);
    // The zero is looked for over the whole value, however long: a 16-bit position would fail past
    // 32,767 characters.
    const qsizetype zero = buffer.indexOf('\0');
    result = QString::fromUtf8(zero < 0 ? buffer : buffer.left(zero));
    return result;
}

RegResult AddRemove::SaveString(HKEY hKey, const QString& strPath, const QString& strValue, const QString& strdata)
{
    RegKey key;
    if (const RegResult r = m_registry.createKey(hKey, strPath, key, MAXIMUM_ALLOWED); r != RegResult::Success)
        return r;
    return m_registry.setValue(key.handle(), strValue, REG_SZ, strdata.toUtf8().append('\0'));
}

RegResult AddRemove::DeleteValue(HKEY hKey, const QString& strPath, const QString& strValue)
{
    RegKey key;
    if (const RegResult r = m_registry.openKey(hKey, strPath, key, MAXIMUM_ALLOWED); r != RegResult::Success)
        return r;
    return m_registry.deleteValue(key.handle(), strValue);
}

RegResult AddRemove::DeleteKey(HKEY hKey, const QString& strPath)
{
    return m_registry.deleteKey(hKey, strPath);
}
