#include "announce/AlsaSoundOutput.h"

#include <alsa/asoundlib.h>

#include <cerrno>

namespace {

// Latency asked of the device: long enough that a busy display computer never runs it dry.
constexpr unsigned kLatencyMicroseconds = 100000;

void quietAlsaHandler(const char*, int, const char*, int, const char*, ...)
{
}

snd_pcm_format_t alsaFormat(SoundFormat::SampleType type)
{
    switch (type) {
    case SoundFormat::SampleType::Int16:
        return SND_PCM_FORMAT_S16;
    case SoundFormat::SampleType::Int32:
        return SND_PCM_FORMAT_S32;
    case SoundFormat::SampleType::Float:
        return SND_PCM_FORMAT_FLOAT;
    }
    return SND_PCM_FORMAT_S16;
}

} // namespace

AlsaSoundOutput::AlsaSoundOutput(QByteArray device)
    : m_device(std::move(device))
{
    silenceAlsaMessages();
}

AlsaSoundOutput::~AlsaSoundOutput()
{
    close();
}

void AlsaSoundOutput::silenceAlsaMessages()
{
    snd_lib_error_set_handler(&quietAlsaHandler);
}

bool AlsaSoundOutput::deviceOpens(const QByteArray& device)
{
    silenceAlsaMessages();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    snd_pcm_close(pcm);
    return true;
}

bool AlsaSoundOutput::open(const SoundFormat& format)
{
    close();
    if (openDevice(m_device, format))
        return true;
    return m_device != "null" && openDevice(QByteArrayLiteral("null"), format);
}

bool AlsaSoundOutput::openDevice(const QByteArray& name, const SoundFormat& format)
{
    // Opened without blocking, so that a device held by another program is a failure, not a wait.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    if (snd_pcm_nonblock(pcm, 0) < 0
        || snd_pcm_set_params(pcm, alsaFormat(format.type), SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(format.channels),
               unsigned(format.sampleRate), 1, kLatencyMicroseconds)
            < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    m_pcm = pcm;
    m_openedDevice = name;
    m_bytesPerFrame = format.bytesPerFrame();
    return true;
}

bool AlsaSoundOutput::write(const void* frames, qint64 frameCount)
{
    if (!m_pcm)
        return false;
    auto* bytes = static_cast<const char*>(frames);
    while (frameCount > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, bytes, snd_pcm_uframes_t(frameCount));
        if (written == -EAGAIN || written == 0) {
            // Not expected of a blocking PCM; wait for room, but never for ever.
            if (snd_pcm_wait(m_pcm, 1000) <= 0)
                return false;
            continue;
        }
        if (written < 0) {
            // An underrun or a suspended device is recovered; anything else ends the sound here.
            if (snd_pcm_recover(m_pcm, int(written), 1) < 0)
                return false;
            continue;
        }
        bytes += written * m_bytesPerFrame;
        frameCount -= written;
    }
    return true;
}

void AlsaSoundOutput::drain()
{
    if (m_pcm)
        snd_pcm_drain(m_pcm);
}

void AlsaSoundOutput::close()
{
    if (m_pcm)
        snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    m_openedDevice.clear();
}
