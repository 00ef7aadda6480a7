#include "ProgramFiles.h"

#include "IniSettingsStore.h"
#include "LoopbackHttpServer.h"
#include "ProductRecord.h"
#include "ResourceLocator.h"

#include <QDir>
#include <QTextStream>

namespace ProgramFiles {

namespace {

QString soundPath()
{
    return ResourceLocator().path(QStringLiteral("sounds/pop.wav"));
}

} // namespace

BlockingEngine::Setup userSetup(QString* error)
{
    const QString product = ProductRecord::compiled().ProductName;
    auto settings = std::make_unique<IniSettingsStore>(product);
    if (!settings->refusal().isEmpty()) {
        *error = settings->refusal();
        settings.reset();
    }
    return {std::move(settings), BlockingEngine::standardDataFolder(product), soundPath()};
}

BlockingEngine::Setup setupIn(const QString& folder)
{
    const QDir dir(folder);
    return {std::make_unique<IniSettingsStore>(IniSettingsStore::atPath(dir.filePath(QStringLiteral("settings.ini")))),
            dir.filePath(QStringLiteral("data")), soundPath()};
}

std::unique_ptr<LoopbackHttpServer> serveDemoSite(QTextStream& err)
{
    auto site = std::make_unique<LoopbackHttpServer>(ResourceLocator().path(QStringLiteral("demo")));
    if (!site->listen()) {
        err << "cannot serve the demo page: " << site->errorString() << Qt::endl;
        return nullptr;
    }
    return site;
}

} // namespace ProgramFiles
