#pragma once

#include "Registry.h"

#include <QStandardPaths>
#include <QString>

#include <memory>

// Where the platform keeps the registry of one user.
struct RegistryLocation {
    QString storeFile;       // the registry store: $XDG_DATA_HOME/<product>/registry.sqlite3
    QString autostartFolder; // where Run values start programs at log-in: $XDG_CONFIG_HOME/autostart
    QString writerName;      // the program named in the entries it writes
    QString writerIcon;      // the icon those entries show: the installed desktop entry's

    static RegistryLocation standard(const QString& productName, const QString& iconName)
    {
        return {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + productName +
                    QStringLiteral("/registry.sqlite3"),
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart"),
                productName, iconName};
    }
};

// The registry of the platform this program was built for: a store of its own plus the system's
// autostart entries as Run values on Linux, a registry in memory elsewhere.
std::unique_ptr<Registry> createRegistry(const RegistryLocation& location);
