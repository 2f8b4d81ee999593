#pragma once

#include "announce/SoundOutput.h"

#include <QByteArray>

typedef struct _snd_pcm snd_pcm_t;

// Plays on an ALSA PCM, by default "default". When that device cannot be opened or cannot take the
// sound, the sound goes to the "null" PCM, so that a machine without a sound card keeps the order
// and length of an announcement. ALSA's own error printing is switched off for the whole process.
class AlsaSoundOutput final : public SoundOutput {
public:
    explicit AlsaSoundOutput(QByteArray device = QByteArrayLiteral("default"));
    ~AlsaSoundOutput() override;

    AlsaSoundOutput(const AlsaSoundOutput&) = delete;
    AlsaSoundOutput& operator=(const AlsaSoundOutput&) = delete;

    [[nodiscard]] bool open(const SoundFormat& format) override;
    [[nodiscard]] bool write(const void* frames, qint64 frameCount) override;
    void drain() override;
    void close() override;

    // The PCM that the last open() chose ("default", "null"), empty when none.
    [[nodiscard]] QByteArray openedDevice() const { return m_openedDevice; }

    // Whether the PCM can be opened for playing now (without waiting for a device held by another
    // program); it is closed again at once.
    [[nodiscard]] static bool deviceOpens(const QByteArray& device = QByteArrayLiteral("default"));

    // Switches ALSA's error printing off; called by the constructor, harmless to call again.
    static void silenceAlsaMessages();

private:
    [[nodiscard]] bool openDevice(const QByteArray& name, const SoundFormat& format);

    QByteArray m_device;
    QByteArray m_openedDevice;
    snd_pcm_t* m_pcm = nullptr;
    int m_bytesPerFrame = 0;
};
