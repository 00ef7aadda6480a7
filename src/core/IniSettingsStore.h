#pragma once

#include "SettingsStore.h"

#include <QHash>

// The settings store as an INI file: $XDG_CONFIG_HOME/<product>/<product>.ini, group "Settings", in the
// format QSettings reads and writes. Values are read once when the store is made. Each save reads the file
// again under its lock, changes that one value and writes the whole file as the user's files are written
// (UserFile), so a full disk leaves the old file whole and another program's values are kept.
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(const QString& productName);
    // A store in a file of the caller's choosing.
    static IniSettingsStore atPath(const QString& path);
    static QString standardPath(const QString& productName);

    using SettingsStore::GetSetting;
    using SettingsStore::SaveSetting;
    QString GetSetting(const QString& key, const QString& defaultValue) const override;
    bool SaveSetting(const QString& key, const QString& value) override;
    bool UpdateSetting(const QString& key, const std::function<QString(const QString& stored)>& update) override;
    QString fileName() const { return m_path; }
    // Why the file cannot be used ("cannot use PATH: it is a FIFO ..."), empty when it can. A store refused
    // reads only defaults and saves nothing.
    const QString& refusal() const { return m_refusal; }

private:
    struct AtPath {};
    IniSettingsStore(AtPath, QString path);

    QString m_path;
    QString m_refusal;
    QHash<QString, QString> m_values;
};
