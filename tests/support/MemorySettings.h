#pragma once

#include "SettingsStore.h"

#include <QHash>
#include <QList>
#include <QPair>

// A settings store in memory that records every write in order, and can be told to refuse writes.
class MemorySettings : public SettingsStore {
public:
    QHash<QString, QString> values;
    QList<QPair<QString, QString>> writes;
    bool refuseWrites = false;

    QString GetSetting(const QString& key, const QString& defaultValue) const override
    {
        return values.value(key, defaultValue);
    }
    bool SaveSetting(const QString& key, const QString& value) override
    {
        if (refuseWrites)
            return false;
        writes.append({key, value});
        values.insert(key, value);
        return true;
    }
    QStringList writtenKeys() const
    {
        QStringList keys;
        for (const auto& write : writes)
            keys.append(write.first);
        return keys;
    }
};
