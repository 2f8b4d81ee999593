#pragma once

#include "announce/SoundOutput.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

// Plays sound files to their end on one output.
class WavePlayer {
public:
    explicit WavePlayer(std::unique_ptr<SoundOutput> output);
    ~WavePlayer();

    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Returns when the sound has finished playing, never earlier: the call lasts at least as long
    // as the sound, also where no device takes it. A missing file, one that cannot be decoded, or
    // one that is not a sound gives silence and returns at once. Blocks the thread it runs on.
    void PlayWave(const QString& path);

    // Called from any thread: the sound playing now stops within one chunk, what the device holds
    // is dropped, and PlayWave returns. Also stops the next sound at once unless ResetCut() comes
    // first, so that a cut cannot miss a sound that was about to start.
    void Cut();
    void ResetCut();

private:
    // Waits until the time point or a cut; true when cut.
    bool waitUntilCut(std::chrono::steady_clock::time_point until);

    std::unique_ptr<SoundOutput> m_output;
    std::atomic<bool> m_cut { false };
    std::mutex m_mutex;
    std::condition_variable m_cutSignal;
};
