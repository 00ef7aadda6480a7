#pragma once

#include "SoundService.h"

#include <cstdint>
#include <optional>
#include <vector>

// Plays a wave file through PulseAudio's simple API: decoded whole with libsndfile, written, then drained.
class PulseSoundService : public SoundService {
public:
    // The block sound is short. Longer files are refused: a short sound fits the server's buffer in one
    // write, so only the drain waits on the server, and libpulse gives up on a silent server after 30 s.
    static constexpr int kMaxSeconds = 2;
    static constexpr int kMaxChannels = 8;
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 192000;

    // A decoded sound: interleaved signed 16-bit samples.
    struct Pcm {
        int rate = 0;
        int channels = 0;
        std::vector<std::int16_t> samples;
    };

    // The sound of a regular file in any format libsndfile reads; nothing when it cannot be read, has no
    // frames, lasts longer than kMaxSeconds, or has a channel count or rate outside the limits above.
    static std::optional<Pcm> decode(const QString& path);

    bool playFile(const QString& path) override;
};
