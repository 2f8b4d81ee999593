#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (what systemctl stop, kill and Ctrl+C send) as a request through the event
// loop, so that they end the monitor as "Programmende" does instead of by the signal's default
// action. The handler only writes the signal's number into a pipe, which is all a signal handler
// may safely do; received() follows from the event loop, nested loops included. One instance at a
// time; the default actions are back once it is gone.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether the handlers are in place (a pipe could be had).
    [[nodiscard]] bool installed() const { return m_notifier != nullptr; }

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};
