#include "modIETools.h"

#include "CRegister.h"

#include <utility>

namespace {

// The button's handler class: the browser runs the program named by "Exec" through it.
const QString kHandlerClass = QStringLiteral("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");

} // namespace

modIETools::modIETools(Registry& registry, Program program)
    : m_registry(registry)
    , m_program(std::move(program))
{}

QString modIETools::entryKey()
{
    return QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions\\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}");
}

QList<modIETools::Value> modIETools::values() const
{
    // "Exec" was the program folder and executable name plus ".exe"; here it is the running executable's real
    // path, and the icons are the installed picture rather than an .ico beside the program.
    return {
        {QStringLiteral("ButtonText"), m_program.name},
        {QStringLiteral("CLSID"), kHandlerClass},
        {QStringLiteral("Default Visible"), QStringLiteral("Yes")},
        {QStringLiteral("Exec"), m_program.file},
        {QStringLiteral("HotIcon"), m_program.icon},
        {QStringLiteral("Icon"), m_program.icon},
        {QStringLiteral("MenuStatusBar"), m_program.name},
        {QStringLiteral("MenuText"), u'&' + m_program.name},
    };
}

bool modIETools::AddToolsEntry()
{
    CRegister registry(m_registry);
    bool stored = true;
    for (const Value& value : values())
        stored = registry.WriteValue(HKEY_LOCAL_MACHINE, entryKey(), value.name, value.text) && stored;
    return stored;
}

bool modIETools::RemoveToolsEntry()
{
    return CRegister(m_registry).DeleteEntry(HKEY_LOCAL_MACHINE, entryKey(), QString());
}

modIETools::EntryState modIETools::CheckToolsEntry() const
{
    // One key opened for reading, so the probe changes nothing and works where the user may not write.
    RegKey key;
    if (m_registry.openKey(HKEY_LOCAL_MACHINE, entryKey(), key, KEY_READ) != RegResult::Success)
        return EntryState::Absent;
    for (const Value& expected : values()) {
        RegValue stored;
        if (m_registry.queryValue(key.handle(), expected.name, stored) != RegResult::Success || stored.type != REG_SZ ||
            stored.data != CRegister::textData(expected.text))
            return EntryState::Different;
    }
    return EntryState::Current;
}
