#pragma once

#include <QObject>

class QTimer;

// Tells systemd how the monitor is doing when it runs as a service of type "notify": READY=1 once
// the window is up and the start-up sequence has run, then WATCHDOG=1 from the event loop at half
// the watchdog interval, so a hung event loop is killed and restarted. Outside systemd (no
// NOTIFY_SOCKET, no WATCHDOG_USEC) nothing is sent and no timer runs. A sound that plays for long
// beats the watchdog from its own loop, so only a real hang is killed.
class ServiceManager : public QObject {
    Q_OBJECT
public:
    explicit ServiceManager(QObject* parent = nullptr);

    void notifyReady();

private:
    QTimer* m_watchdog = nullptr;
};
