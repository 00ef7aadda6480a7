#pragma once

#include "KeyTreeRegistry.h"

#include <memory>

struct sqlite3;

// The registry kept per user in one SQLite file (rollback journal; every change is one transaction, so it
// is stored whole or not at all). The file is opened on first use, and again after a failure; a store
// that cannot be opened or written answers with error codes and is never replaced: CantOpen when it
// cannot be opened, BadDatabase when it is damaged or was written by a newer program, AccessDenied for
// changes to a file the user may only read.
class SqliteRegistry : public KeyTreeRegistry {
public:
    explicit SqliteRegistry(QString path);
    ~SqliteRegistry() override;
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

protected:
    RegResult rootNode(HKEY root, NodeId& node) override;
    RegResult findNode(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult createNodes(NodeId from, const QStringList& names, NodeId& node) override;
    RegResult readValue(NodeId node, const QString& name, RegValue& value) override;
    RegResult writeValue(NodeId node, const QString& name, std::uint32_t type, const QByteArray& data) override;
    RegResult removeValue(NodeId node, const QString& name) override;
    RegResult removeNode(NodeId node) override;
    bool canWrite(HKEY root) override;

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };

    RegResult open();
    RegResult openAs(int flags);
    RegResult createSchema();
    RegResult keyExists(NodeId node);
    RegResult walk(NodeId from, const QStringList& names, NodeId& node, bool create);

    QString m_path;
    std::unique_ptr<sqlite3, Closer> m_db;
    bool m_readOnly = false;
};
