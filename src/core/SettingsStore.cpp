#include "SettingsStore.h"

int SettingsStore::GetBoxState(const QString& key, int defaultValue) const
{
    bool ok = false;
    const short value = GetSetting(key, QString::number(defaultValue)).trimmed().toShort(&ok);
    return ok && (value == 0 || value == 1) ? value : defaultValue;
}

qint32 SettingsStore::GetCount(const QString& key, qint32 defaultValue) const
{
    bool ok = false;
    const qint32 value = GetSetting(key, QString::number(defaultValue)).trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}
