#pragma once

#include <QString>

class SoundService;

// The block sound: plays a wave file through the platform's sound service and returns when it has ended.
class modPlaySound {
public:
    explicit modPlaySound(SoundService& sound);
    void PlaySound(const QString& path);

private:
    SoundService& m_sound;
};
