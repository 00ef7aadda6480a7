// Factories of the Linux platform.
#include "PulseSoundService.h"

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<PulseSoundService>();
}
