#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QString>

// CRegister: the registry routines the browser Tools-menu entry is written and removed with. It holds no
// state but the registry it works on.
//
// Key paths may start and end with one "\" (TrimSlashes), and the value name "*" means a key's default
// (unnamed) value. Text crosses the registry as UTF-8 bytes followed by a terminating zero, as AddRemove's
// does, standing in for the ANSI code page of Windows.
class CRegister {
public:
    explicit CRegister(Registry& registry);

    // The value's data as text, whatever its registry type, without its terminating zero. defaultValue when
    // the key cannot be opened, or the value is missing, empty or cannot be read.
    QString ReadValue(HKEY root, const QString& subKey, const QString& valueName, const QString& defaultValue);
    // Stores data as REG_SZ, creating the key and every missing key on its path. True when stored.
    bool WriteValue(HKEY root, const QString& subKey, const QString& valueName, const QString& data);
    // Deletes the value, or with an empty valueName the key subKey itself (refused while it has subkeys). The
    // key path is not trimmed then: it is passed as given. True when deleted.
    bool DeleteEntry(HKEY root, const QString& subKey, const QString& valueName);

    // Drops one "\" at the start, then one at the end: the registry refuses a path that starts with "\".
    static QString TrimSlashes(const QString& path);
    // The bytes WriteValue stores for text.
    static QByteArray textData(const QString& text);

private:
    Registry& m_registry;
};
