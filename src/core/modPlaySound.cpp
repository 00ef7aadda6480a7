#include "modPlaySound.h"

#include "SoundService.h"

modPlaySound::modPlaySound(SoundService& sound)
    : m_sound(sound)
{}

void modPlaySound::PlaySound(const QString& path)
{
    // A file that cannot be played is silent; the block goes on regardless.
    m_sound.playFile(path);
}
