#pragma once

#include <QString>

#include <memory>

// Plays a wave file synchronously: the call returns when the sound has ended. A missing or unplayable
// file, or a system without a sound server or device, plays nothing and returns at once.
class SoundService {
public:
    virtual ~SoundService() = default;
    // True when the sound was played to its end.
    virtual bool playFile(const QString& path) = 0;
};

// The sound service of the platform this program was built for.
std::unique_ptr<SoundService> createSoundService();
