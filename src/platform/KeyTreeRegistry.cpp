#include "KeyTreeRegistry.h"

namespace {
constexpr HKEY kFirstHandle = 4;         // like advapi32, open keys are multiples of four below the roots
constexpr HKEY kRootsStart = 0x80000000; // where advapi32 numbers its predefined roots
} // namespace

RegResult KeyTreeRegistry::locate(HKEY parent, const QString& subKey, OpenKey& from, QStringList& names, NodeId& node)
{
    if (const RegResult r = splitPath(subKey, names); r != RegResult::Success)
        return r;
    if (const RegResult r = resolve(parent, 0, from); r != RegResult::Success)
        return r;
    return findNode(from.node, names, node);
}

RegResult KeyTreeRegistry::openHandle(const OpenKey& from, NodeId node, REGSAM access, HKEY& key)
{
    // Where the caller may only read, an existing key can still be opened for reading.
    access = grantable(from.root, access);
    if ((access & KEY_WRITE_RIGHTS) != 0 && !canWrite(from.root))
        return RegResult::AccessDenied;
    key = addHandle({node, from.root, access});
    return RegResult::Success;
}

RegResult KeyTreeRegistry::doOpenKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key)
{
    QStringList names;
    OpenKey from{};
    NodeId node = 0;
    if (const RegResult r = locate(parent, subKey, from, names, node); r != RegResult::Success)
        return r;
    return openHandle(from, node, access, key);
}

RegResult KeyTreeRegistry::doCreateKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key)
{
    QStringList names;
    OpenKey from{};
    NodeId node = 0;
    const RegResult found = locate(parent, subKey, from, names, node);
    if (found == RegResult::FileNotFound) {
        if (!canWrite(from.root) || (from.access & KEY_CREATE_SUB_KEY) == 0)
            return RegResult::AccessDenied;
        if (const RegResult r = createNodes(from.node, names, node); r != RegResult::Success)
            return r;
    } else if (found != RegResult::Success) {
        return found;
    }
    return openHandle(from, node, access, key);
}

void KeyTreeRegistry::closeKey(HKEY key)
{
    m_handles.erase(key);
}

RegResult KeyTreeRegistry::queryValueInfo(HKEY key, const QString& valueName, RegValueInfo& info)
{
    RegValue value;
    if (const RegResult r = queryValue(key, valueName, value); r != RegResult::Success)
        return r;
    info = {value.type, static_cast<std::uint32_t>(value.data.size())};
    return RegResult::Success;
}

RegResult KeyTreeRegistry::queryValue(HKEY key, const QString& valueName, RegValue& value)
{
    OpenKey open{};
    if (const RegResult r = resolve(key, KEY_QUERY_VALUE, open); r != RegResult::Success)
        return r;
    return readValue(open.node, valueName, value);
}

RegResult KeyTreeRegistry::setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data)
{
    OpenKey open{};
    if (const RegResult r = resolve(key, KEY_SET_VALUE, open); r != RegResult::Success)
        return r;
    return writeValue(open.node, valueName, type, data);
}

RegResult KeyTreeRegistry::deleteValue(HKEY key, const QString& valueName)
{
    OpenKey open{};
    if (const RegResult r = resolve(key, KEY_SET_VALUE, open); r != RegResult::Success)
        return r;
    return removeValue(open.node, valueName);
}

RegResult KeyTreeRegistry::deleteKey(HKEY parent, const QString& subKey)
{
    QStringList names;
    OpenKey from{};
    NodeId target = 0;
    if (const RegResult r = locate(parent, subKey, from, names, target); r != RegResult::Success)
        return r;
    NodeId root = 0;
    if (const RegResult r = rootNode(from.root, root); r != RegResult::Success)
        return r;
    if (target == root || !canWrite(from.root))
        return RegResult::AccessDenied;
    return removeNode(target);
}

RegResult KeyTreeRegistry::resolve(HKEY key, REGSAM needed, OpenKey& open)
{
    if (isRoot(key)) {
        NodeId node = 0;
        if (const RegResult r = rootNode(key, node); r != RegResult::Success)
            return r;
        open = {node, key, grantable(key, MAXIMUM_ALLOWED)};
    } else {
        const auto it = m_handles.find(key);
        if (it == m_handles.end())
            return RegResult::InvalidHandle;
        open = it->second;
    }
    return (open.access & needed) == needed ? RegResult::Success : RegResult::AccessDenied;
}

REGSAM KeyTreeRegistry::grantable(HKEY root, REGSAM asked)
{
    if ((asked & MAXIMUM_ALLOWED) == 0)
        return asked;
    return canWrite(root) ? KEY_ALL_ACCESS : KEY_READ;
}

HKEY KeyTreeRegistry::addHandle(const OpenKey& open)
{
    do {
        m_lastHandle = m_lastHandle + 4 >= kRootsStart ? kFirstHandle : m_lastHandle + 4;
    } while (m_handles.count(m_lastHandle) != 0);
    m_handles.emplace(m_lastHandle, open);
    return m_lastHandle;
}
