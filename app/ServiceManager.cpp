#include "app/ServiceManager.h"

#include "common/KeepAlive.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

#include <systemd/sd-daemon.h>

namespace {

// A sound that plays for long blocks the event loop but is no hang: it beats the watchdog itself,
// at most once a second.
void beatDuringLongStep()
{
    using Clock = std::chrono::steady_clock;
    static Clock::time_point last;
    const Clock::time_point now = Clock::now();
    if (now - last < std::chrono::seconds(1))
        return;
    last = now;
    sd_notify(0, "WATCHDOG=1");
}

} // namespace

ServiceManager::ServiceManager(QObject* parent)
    : QObject(parent)
{
}

void ServiceManager::notifyReady()
{
    sd_notify(0, "READY=1");
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0 || m_watchdog)
        return;
    m_watchdog = new QTimer(this);
    // The timer fires only while the event loop runs: a hung loop stops the keep-alive.
    m_watchdog->setInterval(int(std::clamp<uint64_t>(usec / 2000, 1, 3600 * 1000)));
    connect(m_watchdog, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
    m_watchdog->start();
    KeepAlive::setBeat(beatDuringLongStep);
}
