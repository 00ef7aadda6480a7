// Factories of the Linux platform.
#include "AutostartRegistry.h"
#include "PulseSoundService.h"
#include "QtWindowPlacement.h"
#include "RegistryService.h"
#include "SqliteRegistry.h"
#include "UnixTerminationWatcher.h"
#include "X11WindowPlacement.h"

#include <QGuiApplication>

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<PulseSoundService>();
}

std::unique_ptr<TerminationWatcher> createTerminationWatcher()
{
    return std::make_unique<UnixTerminationWatcher>();
}

std::unique_ptr<Registry> createRegistry(const RegistryLocation& location)
{
    return std::make_unique<AutostartRegistry>(std::make_unique<SqliteRegistry>(location.storeFile),
                                               AutostartFolder(location.autostartFolder, location.writerName));
}

// Chosen at run time: one build runs in X11 and Wayland sessions alike.
std::unique_ptr<WindowPlacement> createWindowPlacement()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11WindowPlacement>();
    return std::make_unique<QtWindowPlacement>();
}
