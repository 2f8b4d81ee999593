#include "app/ServiceManager.h"

#include <QTimer>

#include <algorithm>

#include <systemd/sd-daemon.h>

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
}
