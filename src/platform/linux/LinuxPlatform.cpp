// Factories of the Linux platform.
#include "PulseSoundService.h"
#include "UnixTerminationWatcher.h"

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<PulseSoundService>();
}

std::unique_ptr<TerminationWatcher> createTerminationWatcher()
{
    return std::make_unique<UnixTerminationWatcher>();
}
