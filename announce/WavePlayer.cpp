#include "announce/WavePlayer.h"

#include "common/FileExists.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Frames decoded and handed over per step: small enough that the first samples reach the device
// at once, large enough that a long sound costs few calls.
constexpr sf_count_t kChunkFrames = 4096;

// What a sound file may claim before it counts as not a sound. A header with a rate of a few
// frames per second would otherwise hold the announcement for hours.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;
constexpr int kMostChannels = 64;

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

// Each file is handed on in a sample type that holds its samples exactly.
SoundFormat::SampleType sampleTypeOf(int fileFormat)
{
    switch (fileFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return SoundFormat::SampleType::Int32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return SoundFormat::SampleType::Float;
    default:
        return SoundFormat::SampleType::Int16;
    }
}

sf_count_t readFrames(SNDFILE* file, SoundFormat::SampleType type, void* buffer, sf_count_t frames)
{
    switch (type) {
    case SoundFormat::SampleType::Int16:
        return sf_readf_short(file, static_cast<short*>(buffer), frames);
    case SoundFormat::SampleType::Int32:
        return sf_readf_int(file, static_cast<int*>(buffer), frames);
    case SoundFormat::SampleType::Float:
        return sf_readf_float(file, static_cast<float*>(buffer), frames);
    }
    return 0;
}

} // namespace

WavePlayer::WavePlayer(std::unique_ptr<SoundOutput> output)
    : m_output(std::move(output))
{
}

WavePlayer::~WavePlayer() = default;

void WavePlayer::PlayWave(const QString& path)
{
    if (!FileExists(path))
        return;
    SF_INFO info {};
    const SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file || info.frames <= 0 || info.channels < 1 || info.channels > kMostChannels || info.samplerate < kLowestRate
        || info.samplerate > kHighestRate)
        return;

    const SoundFormat format { sampleTypeOf(info.format), info.channels, info.samplerate };
    std::vector<char> buffer(size_t(kChunkFrames) * size_t(format.bytesPerFrame()));
    if (m_cut)
        return;
    bool playing = m_output->open(format);
    std::optional<Clock::time_point> start;
    sf_count_t frames = 0;
    while (!m_cut) {
        const sf_count_t got = readFrames(file.get(), format.type, buffer.data(), kChunkFrames);
        if (got <= 0)
            break;
        if (!start)
            start = Clock::now();
        // A device that fails on the way leaves the rest of the sound silent, but not shorter.
        if (playing && !m_output->write(buffer.data(), got))
            playing = false;
        frames += got;
    }
    // A cut sound is dropped from the device (closing drops what it holds), not played out.
    if (playing && !m_cut)
        m_output->drain();
    m_output->close();

    // Outputs without a clock of their own (no sound card, a file) take the samples at once; the
    // announcement keeps its timing all the same.
    if (!start)
        return;
    waitUntilCut(*start + std::chrono::nanoseconds(frames * 1000000000 / info.samplerate));
}

void WavePlayer::Cut()
{
    {
        const std::lock_guard lock(m_mutex);
        m_cut = true;
    }
    m_cutSignal.notify_all();
}

void WavePlayer::ResetCut()
{
    const std::lock_guard lock(m_mutex);
    m_cut = false;
}

bool WavePlayer::waitUntilCut(Clock::time_point until)
{
    std::unique_lock lock(m_mutex);
    return m_cutSignal.wait_until(lock, until, [this] { return m_cut.load(); });
}
