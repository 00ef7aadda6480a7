#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

// A hierarchical registry with the semantics of the advapi32 registry functions that the program relies
// on. Keys hang under the one root the program writes to and are named by paths with "\" separators; key
// and value names are compared without regard to case. Every operation answers with an advapi32 error code
// instead of throwing, because callers ignore or test the codes just as they do on Windows.
//
// The empty value name is a key's default value. "*" has no meaning at this layer: it is an ordinary
// value name, and the Tools-menu layer above maps its "*" to the empty name before calling in.

using HKEY = std::uint32_t;
using REGSAM = std::uint32_t;

// The root key of the Run value and the Tools-menu entry, with its advapi32 handle value.
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

// Value types. The program writes text only; a value of another type, written by someone else, keeps
// its type number and bytes as they are.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;

// Access rights asked for when a key is opened or created.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
// The most the caller may have: everything where it may write, KEY_READ elsewhere (RegOpenKeyA and
// RegCreateKeyA ask for this).
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
// The rights that need a root the caller may write to: all that reading does not take.
inline constexpr REGSAM KEY_WRITE_RIGHTS = KEY_ALL_ACCESS & ~KEY_READ;

// advapi32 result codes (Win32 error numbers).
enum class RegResult : std::int32_t {
    Success = 0,
    FileNotFound = 2,  // no such key or value
    AccessDenied = 5,  // no right to do this, or a key that still has subkeys asked to be deleted
    InvalidHandle = 6, // not an open key nor a known root
    OutOfMemory = 14,
    InvalidParameter = 87, // data or a name the store cannot hold
    BadPathname = 161,     // a key path with a leading "\" or an empty component
    BadDatabase = 1009,    // the store is damaged or from a newer program
    CantOpen = 1011,       // the store could not be opened
    CantRead = 1012,
    CantWrite = 1013,
    IoFailed = 1016,
    KeyDeleted = 1018, // the open key was deleted since it was opened
};

struct RegValueInfo {
    std::uint32_t type = REG_NONE;
    std::uint32_t size = 0; // bytes
};

struct RegValue {
    std::uint32_t type = REG_NONE;
    QByteArray data;
};

class RegKey;

class Registry {
public:
    virtual ~Registry() = default;

    // RegCreateKeyEx: opens subKey under parent (a root or an open key), creating it and every missing key
    // on its path in one step. An empty subKey opens parent again.
    RegResult createKey(HKEY parent, const QString& subKey, RegKey& key, REGSAM access = KEY_ALL_ACCESS);
    // RegOpenKeyEx: opens an existing key; FileNotFound when any key on the path is missing.
    RegResult openKey(HKEY parent, const QString& subKey, RegKey& key, REGSAM access = KEY_ALL_ACCESS);

    // RegQueryValueEx without a buffer: the value's type and size.
    virtual RegResult queryValueInfo(HKEY key, const QString& valueName, RegValueInfo& info) = 0;
    // RegQueryValueEx with a buffer large enough: the value's type and all of its data.
    virtual RegResult queryValue(HKEY key, const QString& valueName, RegValue& value) = 0;
    // RegSetValueEx: creates or replaces the value.
    virtual RegResult setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data) = 0;
    // RegDeleteValue.
    virtual RegResult deleteValue(HKEY key, const QString& valueName) = 0;
    // RegDeleteKey as on NT: deletes subKey (relative to parent; empty: parent itself) with its values.
    // A key that still has subkeys is refused with AccessDenied, and so is a root.
    virtual RegResult deleteKey(HKEY parent, const QString& subKey) = 0;

    static bool isRoot(HKEY key) { return key == HKEY_LOCAL_MACHINE; }
    // The names of a key path: one trailing "\" is allowed; a leading "\" or an empty component is
    // BadPathname (which is why the Tools-menu layer trims slashes before it calls in).
    static RegResult splitPath(const QString& subKey, QStringList& names);
    // The form in which names are compared.
    static QString fold(const QString& name) { return name.toCaseFolded(); }
    static QStringList fold(const QStringList& names);

protected:
    // The implementations behind createKey and openKey: on success, key is a new handle that closeKey
    // will be given exactly once.
    virtual RegResult doCreateKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) = 0;
    virtual RegResult doOpenKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) = 0;
    virtual void closeKey(HKEY key) = 0;

private:
    friend class RegKey;
};

// An open key, closed when this goes out of scope; it must not outlive its registry.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { reset(); }
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // The handle to pass to the registry's operations; 0 while closed.
    HKEY handle() const { return m_handle; }
    void reset();

private:
    friend class Registry;
    RegKey(Registry* registry, HKEY handle)
        : m_registry(registry)
        , m_handle(handle)
    {}

    Registry* m_registry = nullptr;
    HKEY m_handle = 0;
};
