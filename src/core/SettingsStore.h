#pragma once

#include "SettingKeys.h"

#include <QString>

#include <functional>

// The per-user settings store: text values under the section "Settings" of the program's own store.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString GetSetting(const QString& key, const QString& defaultValue) const = 0;
    // False when the value could not be stored.
    virtual bool SaveSetting(const QString& key, const QString& value) = 0;
    // Stores update(the value stored now, a null text when there is none) as one step: a store shared with
    // another program reads and writes under its lock, so neither loses what the other wrote. False when
    // the value could not be stored.
    virtual bool UpdateSetting(const QString& key, const std::function<QString(const QString& stored)>& update)
    {
        return SaveSetting(key, update(GetSetting(key, QString())));
    }

    // A box state ("0" or "1") or a count stored as decimal text. Anything else reads as the default, so a
    // damaged store never turns an option into something nobody chose.
    int GetBoxState(const QString& key, int defaultValue) const;
    qint32 GetCount(const QString& key, qint32 defaultValue) const;

    // The same for the program's own keys, with their defaults.
    QString GetSetting(const SettingKey& key) const { return GetSetting(key.key(), key.defaultValue()); }
    int GetBoxState(const SettingKey& key) const { return GetBoxState(key.key(), key.defaultNumber()); }
    qint32 GetCount(const SettingKey& key) const { return GetCount(key.key(), key.defaultNumber()); }
    bool SaveSetting(const SettingKey& key, const QString& value) { return SaveSetting(key.key(), value); }
};
