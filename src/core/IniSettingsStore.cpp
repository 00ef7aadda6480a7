#include "IniSettingsStore.h"

namespace {
const QString kSection = QStringLiteral("Settings");
}

IniSettingsStore::IniSettingsStore(const QString& productName)
    : IniSettingsStore(
          std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, productName, productName))
{}

IniSettingsStore::IniSettingsStore(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

IniSettingsStore IniSettingsStore::atPath(const QString& path)
{
    return IniSettingsStore(std::make_unique<QSettings>(path, QSettings::IniFormat));
}

QString IniSettingsStore::GetSetting(const QString& key, const QString& defaultValue) const
{
    const QVariant value = m_settings->value(kSection + u'/' + key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited value with a comma reads back as a list; the text is what was meant.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool IniSettingsStore::SaveSetting(const QString& key, const QString& value)
{
    m_settings->setValue(kSection + u'/' + key, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
