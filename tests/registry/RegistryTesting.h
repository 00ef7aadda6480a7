#pragma once

#include "MemoryRegistry.h"
#include "Registry.h"

#include <QByteArray>
#include <QTest>

#include <optional>

// Types the program never writes, for values another program might have left.
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

// A registry in memory that the user may only read while readOnly is set, as HKEY_LOCAL_MACHINE is for a
// user who is not an administrator.
struct ReadOnlyRegistry : MemoryRegistry {
    bool readOnly = false;
    bool canWrite(HKEY) override { return !readOnly; }
};

// Failed comparisons print the advapi32 code.
inline char* toString(RegResult result)
{
    return QTest::toString(static_cast<int>(result));
}

inline char* toString(const std::optional<QString>& text)
{
    return text ? QTest::toString(*text) : qstrdup("(nothing)");
}

// The bytes of a REG_SZ value as the program writes them: UTF-8 and a terminating zero.
inline QByteArray sz(const char* text)
{
    return QByteArray(text).append('\0');
}

// Creates the key and stores the value in it.
inline RegResult put(Registry& registry, HKEY root, const QString& path, const QString& name, std::uint32_t type,
                     const QByteArray& data)
{
    RegKey key;
    const RegResult created = registry.createKey(root, path, key);
    return created != RegResult::Success ? created : registry.setValue(key.handle(), name, type, data);
}

// The value, or nothing when the key or the value cannot be read.
inline std::optional<RegValue> get(Registry& registry, HKEY root, const QString& path, const QString& name)
{
    RegKey key;
    RegValue value;
    if (registry.openKey(root, path, key, KEY_READ) != RegResult::Success ||
        registry.queryValue(key.handle(), name, value) != RegResult::Success)
        return std::nullopt;
    return value;
}

inline bool exists(Registry& registry, HKEY root, const QString& path)
{
    RegKey key;
    return registry.openKey(root, path, key, KEY_READ) == RegResult::Success;
}
