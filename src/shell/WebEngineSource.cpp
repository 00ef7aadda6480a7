#include "WebEngineSource.h"

#include "WebContent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QtDebug>

#include <utility>

WebEnginePlugin::WebEnginePlugin(QString executableFolder)
    : m_executableFolder(std::move(executableFolder))
{
    if (m_executableFolder.isEmpty())
        m_executableFolder = QCoreApplication::applicationDirPath();
}

// The loader is never unloaded, only let go: its library stays for the life of the process.
WebEnginePlugin::~WebEnginePlugin() = default;

QString WebEnginePlugin::fileName()
{
    return QStringLiteral(TARNWICK_WEBENGINE_FILE);
}

QStringList WebEnginePlugin::candidates() const
{
    const QDir folder(m_executableFolder);
    return {folder.filePath(fileName()),
            QDir::cleanPath(folder.filePath(QStringLiteral(TARNWICK_WEBENGINE_INSTALLED_FOLDER "/") + fileName()))};
}

WebEngineModule* WebEnginePlugin::module(QString* error)
{
    if (!m_module && m_error.isEmpty()) {
        const QStringList files = candidates();
        QString file;
        for (const QString& candidate : files) {
            if (QFileInfo::exists(candidate)) {
                file = candidate;
                break;
            }
        }
        if (file.isEmpty()) {
            m_error = QStringLiteral("The web engine module is missing (looked for %1).").arg(files.join(u" and "));
        } else {
            m_loader = std::make_unique<QPluginLoader>(file);
            QObject* instance = m_loader->instance();
            m_module = qobject_cast<WebEngineModule*>(instance);
            if (!m_module) {
                m_error = instance ? QStringLiteral("%1 is not the program's web engine module.").arg(file)
                                   : m_loader->errorString();
            }
        }
        // Said once, for whoever started the program from a terminal; every view without a page says it too.
        if (!m_module)
            qWarning().noquote() << "Web pages cannot be shown here." << m_error;
    }
    if (!m_module && error)
        *error = m_error;
    return m_module;
}
