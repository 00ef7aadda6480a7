#pragma once

#include "AutostartFolder.h"
#include "Registry.h"

#include <map>
#include <memory>

// A registry whose Run key (HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion\Run") keeps
// its values in the autostart folder, so a Run value is an entry that really starts its program at log-in;
// every other key and value is the inner registry's. Run values hold REG_SZ data: a non-empty UTF-8 text
// followed by zero bytes only. The Run key itself always exists and cannot be deleted.
class AutostartRegistry : public Registry {
public:
    AutostartRegistry(std::unique_ptr<Registry> inner, AutostartFolder autostart);

    RegResult queryValueInfo(HKEY key, const QString& valueName, RegValueInfo& info) override;
    RegResult queryValue(HKEY key, const QString& valueName, RegValue& value) override;
    RegResult setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data) override;
    RegResult deleteValue(HKEY key, const QString& valueName) override;
    RegResult deleteKey(HKEY parent, const QString& subKey) override;

protected:
    RegResult doCreateKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) override;
    RegResult doOpenKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key) override;
    void closeKey(HKEY key) override;

private:
    static const QString& runKeyPath();

    // Where a key is: its root and the folded names below it.
    struct Place {
        HKEY root = 0;
        QStringList folded;
    };
    struct OpenKey {
        RegKey inner;
        Place place;
        REGSAM access = 0;
    };

    // The place of subKey under parent; false when parent is not a root nor a key opened here.
    bool placeOf(HKEY parent, const QString& subKey, Place& place) const;
    bool isRunKey(const Place& place) const;
    bool leadsToRunKey(const Place& place) const;
    // The Run key of key's place, with the rights needed; Success only for an open Run key.
    RegResult runKey(HKEY key, REGSAM needed) const;
    RegResult open(HKEY parent, const QString& subKey, REGSAM access, HKEY& key, bool create);

    std::unique_ptr<Registry> m_inner;
    AutostartFolder m_autostart;
    QStringList m_runFolded;
    std::map<HKEY, OpenKey> m_open;
};
