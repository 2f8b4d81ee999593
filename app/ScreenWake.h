#pragma once

#include "app/DisplaySettings.h"

#include <QObject>
#include <QTimer>

#include <optional>

// Switches the station's screen on for an alarm and lets it sleep again afterwards.
//
// alarm() wakes the screen at once: with Wake::X11 the X server's screen saver is reset and DPMS
// forced on where the server has it; with Wake::Command the wake.on program is started and never
// waited on. For awakeMinutes after the latest alarm the screen saver is held off (the session's
// org.freedesktop.ScreenSaver inhibit over D-Bus, and on X11 a periodic reset); then the hold is
// released and, with Wake::Command, wake.off runs. Whatever is missing (an X display, DPMS, the
// D-Bus service, a program) is noted in the log; the alarm never waits for any of it.
struct _XDisplay;

class ScreenWake : public QObject {
    Q_OBJECT

public:
    explicit ScreenWake(QObject* parent = nullptr);
    ~ScreenWake() override;

    void configure(const DisplaySettings& settings);
    void alarm();

    // True from an alarm until the hold is released.
    [[nodiscard]] bool holding() const { return m_holdEnd.isActive(); }

private:
    void wakeX11();
    void runCommand(const QStringList& command, const char* what);
    void inhibit();
    void unInhibit();
    void release();

    DisplaySettings m_settings;
    QTimer m_holdEnd;
    QTimer m_x11Reset;
    // The X connection, opened at the first use.
    _XDisplay* m_display = nullptr;
    bool m_displayTried = false;
    bool m_dpmsWarned = false;
    // The inhibit's cookie while the session's screen saver grants one.
    std::optional<uint> m_cookie;
    bool m_inhibitPending = false;
};
