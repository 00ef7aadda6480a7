// Factories of the Linux platform.
#include "AutostartRegistry.h"
#include "PulseSoundService.h"
#include "RegistryService.h"
#include "SqliteRegistry.h"
#include "UnixTerminationWatcher.h"

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
