// Factories of the null platform.
#include "NullSoundService.h"
#include "NullTerminationWatcher.h"

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<NullSoundService>();
}

std::unique_ptr<TerminationWatcher> createTerminationWatcher()
{
    return std::make_unique<NullTerminationWatcher>();
}
