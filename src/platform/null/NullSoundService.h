#pragma once

#include "SoundService.h"

// Plays nothing: for tests and for systems without a sound implementation.
class NullSoundService : public SoundService {
public:
    bool playFile(const QString& path) override;
};
