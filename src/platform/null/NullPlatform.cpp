// Factories of the null platform.
#include "MemoryRegistry.h"
#include "NullHotKeyService.h"
#include "NullSoundService.h"
#include "NullTerminationWatcher.h"
#include "NullWindowPlacement.h"
#include "RegistryService.h"

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<NullSoundService>();
}

std::unique_ptr<TerminationWatcher> createTerminationWatcher()
{
    return std::make_unique<NullTerminationWatcher>();
}

// Nothing outlives the process.
std::unique_ptr<Registry> createRegistry(const RegistryLocation&)
{
    return std::make_unique<MemoryRegistry>();
}

std::unique_ptr<WindowPlacement> createWindowPlacement()
{
    return std::make_unique<NullWindowPlacement>();
}

std::unique_ptr<HotKeyService> createHotKeyService()
{
    return std::make_unique<NullHotKeyService>();
}
