#include "Registry.h"

#include <utility>

RegResult Registry::createKey(HKEY parent, const QString& subKey, RegKey& key, REGSAM access)
{
    key.reset();
    HKEY handle = 0;
    const RegResult result = doCreateKey(parent, subKey, access, handle);
    if (result == RegResult::Success)
        key = RegKey(this, handle);
    return result;
}

RegResult Registry::openKey(HKEY parent, const QString& subKey, RegKey& key, REGSAM access)
{
    key.reset();
    HKEY handle = 0;
    const RegResult result = doOpenKey(parent, subKey, access, handle);
    if (result == RegResult::Success)
        key = RegKey(this, handle);
    return result;
}

RegResult Registry::splitPath(const QString& subKey, QStringList& names)
{
    names.clear();
    if (subKey.isEmpty())
        return RegResult::Success;
    names = subKey.split(u'\\');
    if (names.last().isEmpty())
        names.removeLast();
    for (const QString& name : std::as_const(names)) {
        if (name.isEmpty()) {
            names.clear();
            return RegResult::BadPathname;
        }
    }
    return RegResult::Success;
}

QStringList Registry::fold(const QStringList& names)
{
    QStringList folded;
    folded.reserve(names.size());
    for (const QString& name : names)
        folded << fold(name);
    return folded;
}

RegKey::RegKey(RegKey&& other) noexcept
    : m_registry(std::exchange(other.m_registry, nullptr))
    , m_handle(std::exchange(other.m_handle, 0))
{}

RegKey& RegKey::operator=(RegKey&& other) noexcept
{
    if (this != &other) {
        reset();
        m_registry = std::exchange(other.m_registry, nullptr);
        m_handle = std::exchange(other.m_handle, 0);
    }
    return *this;
}

void RegKey::reset()
{
    if (m_registry != nullptr)
        std::exchange(m_registry, nullptr)->closeKey(std::exchange(m_handle, 0));
}
