#pragma once

#include "Registry.h"

#include <map>

// The part of a registry that every store shares: handles, key paths, access rights and the rules of
// deletion. A store derived from it only keeps a tree of keys (nodes) with named values.
class KeyTreeRegistry : public Registry {
public:
    RegResult queryValueInfo(HKEY key, const QString& valueName, RegValueInfo& info) override;
    RegResult queryValue(HKEY key, const QString& valueName, RegValue& value) override;
    RegResult setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data) override;
    RegResult deleteValue(HKEY key, const QString& valueName) override;
    RegResult deleteKey(HKEY parent, const QString& subKey) override;

protected:
    using NodeId = qint64;

    RegResult doCreateKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) override;
    RegResult doOpenKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) override;
    void closeKey(HKEY key) override;

    // The store. Names come as given and are compared in their folded form (Registry::fold); every
    // operation on a node that was removed answers KeyDeleted, and its id is never given to another node.
    virtual RegResult rootNode(HKEY root, NodeId& node) = 0;
    virtual RegResult findNode(NodeId from, const QStringList& names, NodeId& node) = 0;
    // Creates the missing nodes along names, all or none.
    virtual RegResult createNodes(NodeId from, const QStringList& names, NodeId& node) = 0;
    virtual RegResult readValue(NodeId node, const QString& name, RegValue& value) = 0;
    virtual RegResult writeValue(NodeId node, const QString& name, std::uint32_t type, const QByteArray& data) = 0;
    virtual RegResult removeValue(NodeId node, const QString& name) = 0;
    // Removes a node with its values; AccessDenied while it has children.
    virtual RegResult removeNode(NodeId node) = 0;
    // False where the caller may only read.
    virtual bool canWrite(HKEY root) = 0;

private:
    struct OpenKey {
        NodeId node;
        HKEY root;
        REGSAM access;
    };

    // The node, root and rights of a root or an open key; AccessDenied when needed is not all granted.
    RegResult resolve(HKEY key, REGSAM needed, OpenKey& open);
    REGSAM grantable(HKEY root, REGSAM asked);
    HKEY addHandle(const OpenKey& open);
    // The parent's open key and the node that subKey names below it; FileNotFound leaves names set
    // for the caller that creates what is missing.
    RegResult locate(HKEY parent, const QString& subKey, OpenKey& from, QStringList& names, NodeId& node);
    // A handle to node with the rights the caller may have there.
    RegResult openHandle(const OpenKey& from, NodeId node, REGSAM access, HKEY& key);

    std::map<HKEY, OpenKey> m_handles;
    HKEY m_lastHandle = 0;
};
