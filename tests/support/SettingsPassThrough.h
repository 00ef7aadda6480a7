#pragma once

#include "SettingsStore.h"

// A settings store that passes everything on to one the test keeps, so that the test sees what the engine
// that owns this one reads and writes.
class SettingsPassThrough : public SettingsStore {
public:
    explicit SettingsPassThrough(SettingsStore& target)
        : m_target(target)
    {}
    QString GetSetting(const QString& key, const QString& defaultValue) const override
    {
        return m_target.GetSetting(key, defaultValue);
    }
    bool SaveSetting(const QString& key, const QString& value) override { return m_target.SaveSetting(key, value); }

private:
    SettingsStore& m_target;
};
