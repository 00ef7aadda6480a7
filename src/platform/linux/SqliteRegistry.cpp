#include "SqliteRegistry.h"

#include "UserFile.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <utility>
#include <vector>

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000; // another instance of the program may be writing

// The root is a key with parent 0, named as advapi32 names it. AUTOINCREMENT keeps a deleted key's id
// from going to a new key while a handle to the old one is open.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    name_folded TEXT NOT NULL,
    UNIQUE (parent, name_folded)
);
CREATE TABLE IF NOT EXISTS "values" (
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    name_folded TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (key, name_folded)
) WITHOUT ROWID;
INSERT OR IGNORE INTO keys (parent, name, name_folded) VALUES (0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
)sql";

RegResult fromSqlite(int rc, bool writing)
{
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return RegResult::Success;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return RegResult::AccessDenied;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_ERROR: // a file of ours with tables that are not ours
        return RegResult::BadDatabase;
    case SQLITE_CONSTRAINT:
        return rc == SQLITE_CONSTRAINT_FOREIGNKEY ? RegResult::KeyDeleted : RegResult::IoFailed;
    case SQLITE_CANTOPEN:
        return writing ? RegResult::CantWrite : RegResult::CantOpen;
    case SQLITE_NOMEM:
        return RegResult::OutOfMemory;
    case SQLITE_TOOBIG:
        return RegResult::InvalidParameter;
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return writing ? RegResult::CantWrite : RegResult::CantRead;
    default:
        return RegResult::IoFailed;
    }
}

// A prepared statement, finalized when it goes out of scope. Bound texts and blobs are kept here until
// then, so SQLite need not copy them.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        sqlite3_stmt* raw = nullptr;
        m_rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        m_stmt.reset(raw);
    }

    Statement& bind(qint64 value)
    {
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_int64(m_stmt.get(), ++m_index, value);
        return *this;
    }
    Statement& bind(const QString& text)
    {
        m_kept.push_back(text.toUtf8());
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_text64(m_stmt.get(), ++m_index, m_kept.back().constData(),
                                       static_cast<sqlite3_uint64>(m_kept.back().size()), nullptr, SQLITE_UTF8);
        return *this;
    }
    Statement& bindBlob(const QByteArray& data)
    {
        m_kept.push_back(data);
        // constData() of an empty array is "", never null, so an empty value stays a blob and not NULL.
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_blob64(m_stmt.get(), ++m_index, m_kept.back().constData(),
                                       static_cast<sqlite3_uint64>(m_kept.back().size()), nullptr);
        return *this;
    }

    // SQLITE_ROW, SQLITE_DONE or the error.
    int step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt.get()) : m_rc; }

    qint64 integer(int column) { return sqlite3_column_int64(m_stmt.get(), column); }
    QByteArray blob(int column)
    {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_stmt.get(), column));
        const int size = sqlite3_column_bytes(m_stmt.get(), column);
        return size > 0 ? QByteArray(bytes, size) : QByteArray();
    }

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
    std::vector<QByteArray> m_kept;
    int m_rc = SQLITE_OK;
    int m_index = 0;
};

int exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// A write transaction, rolled back unless committed. IMMEDIATE takes the write lock at once, so another
// writer waits here rather than failing half-way.
class Transaction {
public:
    explicit Transaction(sqlite3* db)
        : m_db(db)
        , m_rc(exec(db, "BEGIN IMMEDIATE"))
    {}
    ~Transaction()
    {
        if (m_rc == SQLITE_OK && !m_committed)
            exec(m_db, "ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    RegResult begun() const { return fromSqlite(m_rc, true); }
    RegResult commit()
    {
        const int rc = exec(m_db, "COMMIT");
        m_committed = rc == SQLITE_OK;
        return fromSqlite(rc, true);
    }

private:
    sqlite3* m_db;
    int m_rc;
    bool m_committed = false;
};

} // namespace

void SqliteRegistry::Closer::operator()(sqlite3* db) const
{
    sqlite3_close(db);
}

SqliteRegistry::SqliteRegistry(QString path)
    : m_path(std::move(path))
{}

SqliteRegistry::~SqliteRegistry() = default;

RegResult SqliteRegistry::open()
{
    if (m_db)
        return RegResult::Success;
    // Anything but a regular file (or a link to one) in the store's place is not opened: a FIFO would hang.
    QString reason;
    const UserFile::Kind kind = UserFile::kindOf(m_path, &reason);
    if (kind == UserFile::Kind::Refused)
        return RegResult::CantOpen;
    if (kind == UserFile::Kind::Missing) {
        // Made here, empty, so that it is the user's alone (0600) whatever the umask; SQLite gives its
        // journal the same mode. A failure shows as the open's own.
        UserFile::makeFolders(QFileInfo(m_path).absolutePath(), &reason);
        UserFile::write(m_path, QByteArray(), &reason);
    }
    std::unique_ptr<sqlite3, Closer> db;
    {
        sqlite3* raw = nullptr;
        // The handle comes back even when the open fails, and must be closed either way.
        const int rc =
            sqlite3_open_v2(m_path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        db.reset(raw);
        if (rc != SQLITE_OK)
            return rc == SQLITE_CANTOPEN ? RegResult::CantOpen : fromSqlite(rc, false);
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    if (const int rc = exec(db.get(), "PRAGMA foreign_keys = ON"); rc != SQLITE_OK)
        return fromSqlite(rc, false);
    // A file the user may not write is opened for reading only.
    const bool readOnly = sqlite3_db_readonly(db.get(), "main") == 1;

    int version = 0;
    {
        Statement query(db.get(), "PRAGMA user_version");
        const int rc = query.step();
        if (rc != SQLITE_ROW)
            return fromSqlite(rc, false);
        version = static_cast<int>(query.integer(0));
    }
    if (version == 0 && !readOnly) {
        Transaction tx(db.get());
        if (const RegResult r = tx.begun(); r != RegResult::Success)
            return r;
        // CREATE ... IF NOT EXISTS: another instance may have made the schema while this one waited.
        const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(kSchemaVersion);
        if (const int rc = exec(db.get(), kSchema); rc != SQLITE_OK)
            return fromSqlite(rc, true);
        if (const int rc = exec(db.get(), setVersion.constData()); rc != SQLITE_OK)
            return fromSqlite(rc, true);
        if (const RegResult r = tx.commit(); r != RegResult::Success)
            return r;
        version = kSchemaVersion;
    }
    if (version != kSchemaVersion)
        return RegResult::BadDatabase;
    m_db = std::move(db);
    m_readOnly = readOnly;
    return RegResult::Success;
}

bool SqliteRegistry::canWrite(HKEY)
{
    return open() != RegResult::Success || !m_readOnly;
}

RegResult SqliteRegistry::keyExists(NodeId node)
{
    Statement query(m_db.get(), "SELECT 1 FROM keys WHERE id = ?");
    const int rc = query.bind(node).step();
    if (rc == SQLITE_ROW)
        return RegResult::Success;
    return rc == SQLITE_DONE ? RegResult::KeyDeleted : fromSqlite(rc, false);
}

RegResult SqliteRegistry::rootNode(HKEY root, NodeId& node)
{
    if (!isRoot(root))
        return RegResult::InvalidHandle;
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    Statement query(m_db.get(), "SELECT id FROM keys WHERE parent = 0 AND name_folded = 'hkey_local_machine'");
    const int rc = query.step();
    if (rc == SQLITE_ROW) {
        node = query.integer(0);
        return RegResult::Success;
    }
    return rc == SQLITE_DONE ? RegResult::BadDatabase : fromSqlite(rc, false);
}

RegResult SqliteRegistry::walk(NodeId from, const QStringList& names, NodeId& node, bool create)
{
    if (const RegResult r = keyExists(from); r != RegResult::Success)
        return r;
    node = from;
    for (const QString& name : names) {
        Statement query(m_db.get(), "SELECT id FROM keys WHERE parent = ? AND name_folded = ?");
        const int rc = query.bind(node).bind(fold(name)).step();
        if (rc == SQLITE_ROW) {
            node = query.integer(0);
            continue;
        }
        if (rc != SQLITE_DONE)
            return fromSqlite(rc, create);
        if (!create)
            return RegResult::FileNotFound;
        Statement insert(m_db.get(), "INSERT INTO keys (parent, name, name_folded) VALUES (?, ?, ?)");
        if (const int added = insert.bind(node).bind(name).bind(fold(name)).step(); added != SQLITE_DONE)
            return fromSqlite(added, true);
        node = sqlite3_last_insert_rowid(m_db.get());
    }
    return RegResult::Success;
}

RegResult SqliteRegistry::findNode(NodeId from, const QStringList& names, NodeId& node)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    return walk(from, names, node, false);
}

RegResult SqliteRegistry::createNodes(NodeId from, const QStringList& names, NodeId& node)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    Transaction tx(m_db.get());
    if (const RegResult r = tx.begun(); r != RegResult::Success)
        return r;
    if (const RegResult r = walk(from, names, node, true); r != RegResult::Success)
        return r;
    return tx.commit();
}

RegResult SqliteRegistry::readValue(NodeId node, const QString& name, RegValue& value)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    Statement query(m_db.get(), R"sql(SELECT type, data FROM "values" WHERE key = ? AND name_folded = ?)sql");
    const int rc = query.bind(node).bind(fold(name)).step();
    if (rc == SQLITE_ROW) {
        value = {static_cast<std::uint32_t>(query.integer(0)), query.blob(1)};
        return RegResult::Success;
    }
    if (rc != SQLITE_DONE)
        return fromSqlite(rc, false);
    const RegResult exists = keyExists(node);
    return exists == RegResult::Success ? RegResult::FileNotFound : exists;
}

RegResult SqliteRegistry::writeValue(NodeId node, const QString& name, std::uint32_t type, const QByteArray& data)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    // One statement, so no transaction of its own is needed; the foreign key catches a deleted key.
    Statement upsert(m_db.get(), R"sql(
        INSERT INTO "values" (key, name, name_folded, type, data) VALUES (?, ?, ?, ?, ?)
        ON CONFLICT (key, name_folded) DO UPDATE SET type = excluded.type, data = excluded.data)sql");
    const int rc = upsert.bind(node).bind(name).bind(fold(name)).bind(qint64{type}).bindBlob(data).step();
    return fromSqlite(rc, true);
}

RegResult SqliteRegistry::removeValue(NodeId node, const QString& name)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    Statement remove(m_db.get(), R"sql(DELETE FROM "values" WHERE key = ? AND name_folded = ?)sql");
    if (const int rc = remove.bind(node).bind(fold(name)).step(); rc != SQLITE_DONE)
        return fromSqlite(rc, true);
    if (sqlite3_changes(m_db.get()) > 0)
        return RegResult::Success;
    const RegResult exists = keyExists(node);
    return exists == RegResult::Success ? RegResult::FileNotFound : exists;
}

RegResult SqliteRegistry::removeNode(NodeId node)
{
    if (const RegResult r = open(); r != RegResult::Success)
        return r;
    Transaction tx(m_db.get());
    if (const RegResult r = tx.begun(); r != RegResult::Success)
        return r;
    if (const RegResult r = keyExists(node); r != RegResult::Success)
        return r;
    Statement child(m_db.get(), "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    const int rc = child.bind(node).step();
    if (rc == SQLITE_ROW)
        return RegResult::AccessDenied;
    if (rc != SQLITE_DONE)
        return fromSqlite(rc, true);
    Statement remove(m_db.get(), "DELETE FROM keys WHERE id = ?"); // its values go with it (ON DELETE CASCADE)
    if (const int removed = remove.bind(node).step(); removed != SQLITE_DONE)
        return fromSqlite(removed, true);
    return tx.commit();
}
