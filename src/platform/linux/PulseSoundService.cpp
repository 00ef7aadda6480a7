#include "PulseSoundService.h"

#include <QFile>
#include <QFileInfo>

#include <pulse/channelmap.h>
#include <pulse/def.h>
#include <pulse/sample.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SimpleFreer {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
using SimplePtr = std::unique_ptr<pa_simple, SimpleFreer>;

// Full scale is 1.0 (libsndfile's integer samples are divided by 32768); beyond it is clipped, NaN is silence.
std::int16_t toSample(float value)
{
    const float scaled = std::isnan(value) ? 0.0f : std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>(std::lrint(scaled));
}

bool play(const PulseSoundService::Pcm& pcm)
{
    const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(pcm.rate),
                                static_cast<std::uint8_t>(pcm.channels)};
    // Wave files order their channels the WAVEFORMATEXTENSIBLE way; the default map knows no more than six.
    pa_channel_map map;
    if (!pa_channel_map_init_extend(&map, static_cast<unsigned>(pcm.channels), PA_CHANNEL_MAP_WAVEEX))
        return false;

    const std::size_t bytes = pcm.samples.size() * sizeof(std::int16_t);
    // The simple API has the server adjust the sink's latency, which takes part of the buffer asked for; twice
    // the sound leaves room for all of it, so the one write never waits on the server (were the server to stall,
    // a waiting write would wait for ever, while the drain gives up after libpulse's 30 s reply timeout).
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(2 * bytes);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);

    int error = 0;
    const SimplePtr stream(
        pa_simple_new(nullptr, "Tarnwick", PA_STREAM_PLAYBACK, nullptr, "Popup blocked", &format, &map, &attr, &error));
    if (!stream)
        return false;
    if (pa_simple_write(stream.get(), pcm.samples.data(), bytes, &error) < 0)
        return false;
    return pa_simple_drain(stream.get(), &error) >= 0;
}

} // namespace

std::optional<PulseSoundService::Pcm> PulseSoundService::decode(const QString& path)
{
    // Opening a FIFO or a device could block or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;

    SF_INFO info{};
    const SndfilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return std::nullopt;
    if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate < kMinRate || info.samplerate > kMaxRate)
        return std::nullopt;
    if (info.frames <= 0 || info.frames > static_cast<sf_count_t>(info.samplerate) * kMaxSeconds)
        return std::nullopt;

    // Read as float and convert here: libsndfile would hand the samples of a float file to a 16-bit read
    // unscaled (0.5 becomes 0), or scaled by the file's own peak.
    std::vector<float> decoded(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t frames = sf_readf_float(file.get(), decoded.data(), info.frames);
    if (frames <= 0)
        return std::nullopt;
    decoded.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels));

    Pcm pcm;
    pcm.rate = info.samplerate;
    pcm.channels = info.channels;
    pcm.samples.reserve(decoded.size());
    std::transform(decoded.begin(), decoded.end(), std::back_inserter(pcm.samples), toSample);
    return pcm;
}

bool PulseSoundService::playFile(const QString& path)
{
    const std::optional<Pcm> pcm = decode(path);
    return pcm && play(*pcm);
}
