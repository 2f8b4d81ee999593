#pragma once

#include "announce/SoundOutput.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <optional>

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

// Runs the event loop until the first sound has started, at most 5 s after `t0`: the time from `t0`
// to it, or none when no sound started.
inline std::optional<StampingOutput::Clock::duration> waitForFirstSound(
    const std::atomic<StampingOutput::Clock::rep>& started, StampingOutput::Clock::time_point t0)
{
    using Clock = StampingOutput::Clock;
    const auto giveUp = t0 + std::chrono::seconds(5);
    while (started == 0 && Clock::now() < giveUp)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (started == 0)
        return std::nullopt;
    return Clock::time_point(Clock::duration(started.load())) - t0;
}
