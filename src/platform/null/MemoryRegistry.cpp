#include "MemoryRegistry.h"

MemoryRegistry::Node* MemoryRegistry::node(NodeId id)
{
    const auto it = m_nodes.find(id);
    return it == m_nodes.end() ? nullptr : &it->second;
}

RegResult MemoryRegistry::rootNode(HKEY root, NodeId& id)
{
    if (!isRoot(root))
        return RegResult::InvalidHandle;
    if (m_root == 0) {
        m_root = ++m_lastNode;
        m_nodes[m_root] = Node{};
    }
    id = m_root;
    return RegResult::Success;
}

RegResult MemoryRegistry::findNode(NodeId from, const QStringList& names, NodeId& id)
{
    Node* at = node(from);
    if (at == nullptr)
        return RegResult::KeyDeleted;
    id = from;
    for (const QString& name : names) {
        const auto child = at->children.find(fold(name));
        if (child == at->children.end())
            return RegResult::FileNotFound;
        id = child->second;
        at = node(id);
    }
    return RegResult::Success;
}

RegResult MemoryRegistry::createNodes(NodeId from, const QStringList& names, NodeId& id)
{
    if (node(from) == nullptr)
        return RegResult::KeyDeleted;
    id = from;
    for (const QString& name : names) {
        const QString folded = fold(name);
        if (const auto child = node(id)->children.find(folded); child != node(id)->children.end()) {
            id = child->second;
            continue;
        }
        const NodeId added = ++m_lastNode;
        m_nodes[added] = Node{id, folded, {}, {}};
        node(id)->children.emplace(folded, added);
        id = added;
    }
    return RegResult::Success;
}

RegResult MemoryRegistry::readValue(NodeId id, const QString& name, RegValue& value)
{
    Node* at = node(id);
    if (at == nullptr)
        return RegResult::KeyDeleted;
    const auto it = at->values.find(fold(name));
    if (it == at->values.end())
        return RegResult::FileNotFound;
    value = it->second;
    return RegResult::Success;
}

RegResult MemoryRegistry::writeValue(NodeId id, const QString& name, std::uint32_t type, const QByteArray& data)
{
    Node* at = node(id);
    if (at == nullptr)
        return RegResult::KeyDeleted;
    at->values[fold(name)] = {type, data};
    return RegResult::Success;
}

RegResult MemoryRegistry::removeValue(NodeId id, const QString& name)
{
    Node* at = node(id);
    if (at == nullptr)
        return RegResult::KeyDeleted;
    return at->values.erase(fold(name)) != 0 ? RegResult::Success : RegResult::FileNotFound;
}

RegResult MemoryRegistry::removeNode(NodeId id)
{
    Node* at = node(id);
    if (at == nullptr)
        return RegResult::KeyDeleted;
    if (!at->children.empty())
        return RegResult::AccessDenied;
    if (Node* parent = node(at->parent))
        parent->children.erase(at->name);
    m_nodes.erase(id);
    return RegResult::Success;
}
