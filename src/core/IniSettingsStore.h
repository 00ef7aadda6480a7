#pragma once

#include "SettingsStore.h"

#include <QSettings>

#include <memory>

// The settings store as an INI file: $XDG_CONFIG_HOME/<product>/<product>.ini, group "Settings".
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(const QString& productName);
    // A store in a file of the caller's choosing.
    static IniSettingsStore atPath(const QString& path);

    QString GetSetting(const QString& key, const QString& defaultValue) const override;
    bool SaveSetting(const QString& key, const QString& value) override;
    QString fileName() const { return m_settings->fileName(); }

private:
    explicit IniSettingsStore(std::unique_ptr<QSettings> settings);
    std::unique_ptr<QSettings> m_settings;
};
