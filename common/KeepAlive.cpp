#include "common/KeepAlive.h"

#include <atomic>

namespace {
std::atomic<void (*)()> g_beat { nullptr };
} // namespace

void KeepAlive::setBeat(void (*beat)())
{
    g_beat = beat;
}

void KeepAlive::beat()
{
    if (const auto beat = g_beat.load())
        beat();
}
