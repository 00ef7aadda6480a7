#pragma once

#include "KeyTreeRegistry.h"

#include <map>
#include <unordered_map>

// A registry held in memory, gone with the object: for tests of its callers and for systems without a
// registry store of their own.
class MemoryRegistry : public KeyTreeRegistry {
protected:
    RegResult rootNode(HKEY root, NodeId& node) override;
    RegResult findNode(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult createNodes(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult readValue(NodeId node, const QString& name, RegValue& value) override;
    RegResult writeValue(NodeId node, const QString& name, std::uint32_t type, const QByteArray& data) override;
    RegResult removeValue(NodeId node, const QString& name) override;
    RegResult removeNode(NodeId node) override;
    bool canWrite(HKEY) override { return true; }

private:
    // Names are kept folded: they are only ever compared.
    struct Node {
        NodeId parent = 0;
        QString name;
        std::map<QString, NodeId> children;
        std::map<QString, RegValue> values;
    };

    Node* node(NodeId id);

    NodeId m_root = 0; // made on first use
    std::unordered_map<NodeId, Node> m_nodes;
    NodeId m_lastNode = 0;
};
