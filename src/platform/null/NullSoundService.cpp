#include "NullSoundService.h"

bool NullSoundService::playFile(const QString&)
{
    return false;
}
