#pragma once

#include "announce/SoundOutput.h"

#include <atomic>
#include <chrono>

// The loudspeakers of a benchmark: note when the first sound starts (a steady clock's count, 0
// until then) and take every sound at once.
class StampingOutput : public SoundOutput {
public:
    using Clock = std::chrono::steady_clock;

    explicit StampingOutput(std::atomic<Clock::rep>& started)
        : m_started(started)
    {
    }
    // Called on the sound thread.
    bool open(const SoundFormat&) override
    {
        Clock::rep none = 0;
        m_started.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
        return true;
    }
    bool write(const void*, qint64) override { return true; }
    void drain() override { }
    void close() override { }

private:
    std::atomic<Clock::rep>& m_started;
};
