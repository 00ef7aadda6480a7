#pragma once

#include "Registry.h"

#include <QString>

#include <optional>

// The registry helper of the main window: the program's Run value (run at start-up) and its entry in the
// list of installed programs, over the general operations on text values. It holds no state but the
// registry it works on.
//
// Text crosses the registry as UTF-8 bytes followed by a terminating zero, standing in for the ANSI code
// page of Windows. No operation fails loudly: each returns the code of its first failing step (or
// of the last step), which callers may ignore; only the run-at-start-up option looks
// at it, to tell the user the truth.
class AddRemove {
public:
    explicit AddRemove(Registry& registry);

    // The uninstall entry "Software\Microsoft\Windows\CurrentVersion\Uninstall\<ProgramName>".
    RegResult AddToList(const QString& ProgramName, const QString& UninstallCommand);
    RegResult RemoveFromList(const QString& ProgramName);
    // The Run value ProgramName = FileToRun. RemoveFromRun answers Success when no such value is left,
    // including when there was none.
    RegResult AddToRun(const QString& ProgramName, const QString& FileToRun);
    RegResult RemoveFromRun(const QString& ProgramName);

    // Creates strPath with every missing key on it.
    RegResult SaveKey(HKEY hKey, const QString& strPath);
    // The REG_SZ value's text up to its first zero character (all of it when it has none); nothing, as
    // distinct from an empty text, for a missing key or value or a value of another type.
    std::optional<QString> GetString(HKEY hKey, const QString& strPath, const QString& strValue);
    RegResult SaveString(HKEY hKey, const QString& strPath, const QString& strValue, const QString& strdata);
    RegResult DeleteValue(HKEY hKey, const QString& strPath, const QString& strValue);
    // Refused while the key has subkeys.
    RegResult DeleteKey(HKEY hKey, const QString& strPath);

private:
    Registry& m_registry;
};
