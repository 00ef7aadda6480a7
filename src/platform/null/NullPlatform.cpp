// Factories of the null platform.
#include "NullSoundService.h"

std::unique_ptr<SoundService> createSoundService()
{
    return std::make_unique<NullSoundService>();
}
