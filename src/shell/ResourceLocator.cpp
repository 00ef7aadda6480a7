#include "ResourceLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

ResourceLocator::ResourceLocator(QString executableFolder)
    : m_executableFolder(std::move(executableFolder))
{
    if (m_executableFolder.isEmpty())
        m_executableFolder = QCoreApplication::applicationDirPath();
}

QString ResourceLocator::path(const QString& relative) const
{
    const QDir folder(m_executableFolder);
    const QString besides = folder.filePath(QStringLiteral("resources/") + relative);
    const QString installed = QDir::cleanPath(folder.filePath(QStringLiteral("../share/tarnwick/") + relative));
    if (QFileInfo::exists(besides) || !QFileInfo::exists(installed))
        return besides;
    return installed;
}
