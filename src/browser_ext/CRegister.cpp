#include "CRegister.h"

namespace {

// The name the registry knows a value by: "*" is the default value.
QString valueNameOf(const QString& valueName)
{
    return valueName == u"*" ? QString() : valueName;
}

} // namespace

CRegister::CRegister(Registry& registry)
    : m_registry(registry)
{}

QString CRegister::TrimSlashes(const QString& path)
{
    QString trimmed = path;
    if (trimmed.startsWith(u'\\'))
        trimmed.remove(0, 1);
    if (trimmed.endsWith(u'\\'))
        trimmed.chop(1);
    return trimmed;
}

QByteArray CRegister::textData(const QString& text)
{
    return text.toUtf8().append('\0');
}

QString CRegister::ReadValue(HKEY root, const QString& subKey, const QString& valueName, const QString& defaultValue)
{
    const QString path = TrimSlashes(subKey);
    RegKey key;
    RegResult opened = m_registry.openKey(root, path, key, KEY_ALL_ACCESS);
    // A key the user may not write to can still be read.
    if (opened == RegResult::AccessDenied)
        opened = m_registry.openKey(root, path, key, KEY_READ);
    if (opened != RegResult::Success)
        return defaultValue;

    const QString name = valueNameOf(valueName);
    RegValueInfo info;
    if (m_registry.queryValueInfo(key.handle(), name, info) != RegResult::Success || info.size == 0)
        return defaultValue;
    RegValue value;
    if (m_registry.queryValue(key.handle(), name, value) != RegResult::Success)
        return defaultValue;
    // Only a terminating zero is dropped: data without one (another type, or text stored without it) is all
    // text, and zeros inside the data stay, so n characters written read back as the same n.
    QByteArray data = value.data;
    if (data.endsWith('\0'))
        data.chop(1);
    return QString::fromUtf8(data);
}

bool CRegister::WriteValue(HKEY root, const QString& subKey, const QString& valueName, const QString& data)
{
    RegKey key;
    if (m_registry.createKey(root, TrimSlashes(subKey), key, KEY_ALL_ACCESS) != RegResult::Success)
        return false;
    return m_registry.setValue(key.handle(), valueNameOf(valueName), REG_SZ, textData(data)) == RegResult::Success;
}

bool CRegister::DeleteEntry(HKEY root, const QString& subKey, const QString& valueName)
{
    RegKey key;
    if (valueName.isEmpty()) {
        // The root is opened for all access, so a root the user may only read refuses
        // before anything is tried; the key is named relative to it.
        if (m_registry.openKey(root, QString(), key, KEY_ALL_ACCESS) != RegResult::Success)
            return false;
        return m_registry.deleteKey(key.handle(), subKey) == RegResult::Success;
    }
    if (m_registry.openKey(root, TrimSlashes(subKey), key, KEY_ALL_ACCESS) != RegResult::Success)
        return false;
    return m_registry.deleteValue(key.handle(), valueNameOf(valueName)) == RegResult::Success;
}
