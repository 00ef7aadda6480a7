#pragma once

#include "KeyTreeRegistry.h"

#include <map>
#include <set>
#include <unordered_map>

// A registry held in memory, gone with the object: for tests of its callers and for systems without a
// registry store of their own.
class MemoryRegistry : public KeyTreeRegistry {
public:
    // A root made read-only behaves as a branch the user may not write to (HKEY_LOCAL_MACHINE for a
    // user who is not an administrator): keys and values in it can be read, nothing can be changed.
    void setReadOnly(HKEY root, bool readOnly);

protected:
    RegResult rootNode(HKEY root, NodeId& node) override;
    RegResult findNode(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult createNodes(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult readValue(NodeId node, const QString& name, RegValue& value) override;
    RegResult writeValue(NodeId node, const QString& name, std::uint32_t type, const QByteArray& data) override;
    RegResult removeValue(NodeId node, const QString& name) override;
    RegResult removeNode(NodeId node) override;
    bool canWrite(HKEY root) override { return m_readOnlyRoots.count(root) == 0; }

private:
    // Names are kept folded: they are only ever compared.
    struct Node {
        NodeId parent = 0;
        QString name;
        std::map<QString, NodeId> children;
        std::map<QString, RegValue> values;
    };

    Node* node(NodeId id);

    std::set<HKEY> m_readOnlyRoots;
    std::map<HKEY, NodeId> m_roots;
    std::unordered_map<NodeId, Node> m_nodes;
    NodeId m_lastNode = 0;
};
