// Factories of the Linux platform.
#include "AutostartRegistry.h"
#include "HotKeyService.h"
#include "PulseSoundService.h"
#include "QtWindowPlacement.h"
#include "RegistryService.h"
#include "SqliteRegistry.h"
#include "UnixTerminationWatcher.h"
#include "X11HotKeyService.h"
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
    return std::make_unique<AutostartRegistry>(
        std::make_unique<SqliteRegistry>(location.storeFile),
        AutostartFolder(location.autostartFolder, location.writerName, location.writerIcon));
}

// Chosen at run time: one build runs in X11 and Wayland sessions alike.
std::unique_ptr<WindowPlacement> createWindowPlacement()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11WindowPlacement>();
    return std::make_unique<QtWindowPlacement>();
}

// The X11 one in every session: it checks the platform itself at install(), and outside X11 gives the reason the user
// is shown.
std::unique_ptr<HotKeyService> createHotKeyService()
{
    return std::make_unique<X11HotKeyService>();
}
