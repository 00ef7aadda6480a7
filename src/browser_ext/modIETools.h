#pragma once

#include "Registry.h"

#include <QList>
#include <QString>

// modIETools: the program's entry in the browser's Tools menu, a key of values under HKEY_LOCAL_MACHINE that
// names the program, its icons and what runs when the entry is chosen.
class modIETools {
public:
    // What the entry says about the program.
    struct Program {
        QString name; // the product name: the button's and the menu's text
        QString file; // the program the entry runs
        QString icon; // the picture of the button and the menu item
    };

    // What the start-up probe found.
    enum class EntryState {
        Absent,    // no entry
        Current,   // all eight values exactly as AddToolsEntry writes them for this program
        Different, // an entry, but a value is missing or says something else (another copy or version)
    };

    modIETools(Registry& registry, Program program);

    // Writes the eight values; each write is tried whatever became of the ones before. True when all were
    // stored.
    bool AddToolsEntry();
    // Deletes the entry's key with its values. False, changing nothing, when there is none or it cannot be
    // deleted.
    bool RemoveToolsEntry();
    // The start-up probe, reading only: whether the entry is this program's as it stands. Nothing depends
    // on the answer; the main window logs it, so a stale entry (another copy, an older path) can be seen.
    EntryState CheckToolsEntry() const;

    // The entry's key under HKEY_LOCAL_MACHINE.
    static QString entryKey();

private:
    struct Value {
        QString name;
        QString text;
    };
    // The values in the order they are written.
    QList<Value> values() const;

    Registry& m_registry;
    Program m_program;
};
