#pragma once

#include "settings/DisplaySettings.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <optional>

#include <sys/types.h>

class AppContext;
class Station;
class QProcess;

// Switches the station's screen on for an alarm and lets it sleep again afterwards.
//
// alarm() wakes the screen at once: with Wake::X11 the X server's screen saver is reset and DPMS
// forced on where the server has it; with Wake::Command the wake.on program is started and never
// waited on. A wake program runs with nothing to read and its output thrown away, in a process
// group of its own, one at a time: the one still running when the next starts, or at the time
// limit, or when the monitor ends, is ended with everything it started. For awakeMinutes after
// the latest alarm the screen saver is held off (the session's org.freedesktop.ScreenSaver inhibit
// over D-Bus, and on X11 a periodic reset); then the hold is released and, with Wake::Command,
// wake.off runs. Whatever is missing (an X display, DPMS, the D-Bus service, a program) is noted in
// the log; the alarm never waits for any of it.
struct _XDisplay;

class ScreenWake : public QObject {
    Q_OBJECT

public:
    // The longest a wake program may run, and how long an ended one may take after SIGTERM before
    // SIGKILL follows.
    static constexpr std::chrono::milliseconds kTimeLimit = std::chrono::seconds(30);
    static constexpr std::chrono::milliseconds kGracePeriod = std::chrono::seconds(5);

    explicit ScreenWake(AppContext& ctx, QObject* parent = nullptr);
    ~ScreenWake() override;

    void configure(const DisplaySettings& settings);
    void alarm();
    // Takes display.ini from the station whenever it is read, and wakes for every live alarm and
    // for the stored alarm replayed with its sound, before the first sound.
    void follow(Station& station);

    // True from an alarm until the hold is released.
    [[nodiscard]] bool holding() const { return m_holdEnd.isActive(); }

    // Shorter limits for tests.
    std::chrono::milliseconds timeLimit = kTimeLimit;
    std::chrono::milliseconds gracePeriod = kGracePeriod;

private:
    void wakeX11();
    void runCommand(const QStringList& command, const char* what);
    void endCommand(QProcess* process);
    // When the monitor ends: whatever still runs goes with it.
    void endCommandsNow();
    void inhibit();
    void unInhibit();
    void release();

    AppContext& m_ctx;
    DisplaySettings m_settings;
    QProcess* m_running = nullptr;
    // The groups sent SIGTERM whose grace period has not yet run out.
    QSet<pid_t> m_ending;
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
