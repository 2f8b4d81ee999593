#pragma once

#include "announce/SoundOutput.h"

#include <QString>

#include <memory>

// Plays sound files to their end on one output.
class WavePlayer {
public:
    explicit WavePlayer(std::unique_ptr<SoundOutput> output);
    ~WavePlayer();

    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Returns when the sound has finished playing, never earlier: the call lasts at least as long
    // as the sound, also where no device takes it. A missing file, one that cannot be decoded, or
    // one that is not a sound gives silence and returns at once. Blocks the thread.
    void PlayWave(const QString& path);

private:
    std::unique_ptr<SoundOutput> m_output;
};
