#pragma once

#include "crew/Strength.h"

#include <QString>
#include <QStringList>

class ConfigValues;

// How the station's wall screen is run: display.ini in the data folder, as the configuration read
// it. A missing file or key gives the default; a value that cannot be used is a warning and leaves
// the default too. The defaults are a plain window that leaves the screen alone.
struct DisplaySettings {
    static inline const QString FileName = QStringLiteral("display.ini");

    enum class Wake { Off, X11, Command };
    enum class Layout { Classic, Wall };

    // The window fills the screen without a frame.
    bool fullscreen = false;
    // How an alarm switches the screen on: the X server's screen saver and DPMS, or a command.
    Wake wake = Wake::Off;
    // With Wake::Command: program and arguments, split as a command line is (quotes group, no shell).
    QStringList wakeOn;
    QStringList wakeOff;
    // The screen stays on this long after an alarm, then may sleep; 0 leaves the screen alone.
    double awakeMinutes = 30;
    // At start-up the stored alarm is announced only when last.dat is younger; 0 announces always.
    double replayAnnounceMinutes = 0;
    // A link down this long is shown across the window; 0 shows nothing.
    int linkWarningSeconds = 0;
    // The design window, or the wall layout with its standby view between alarms.
    Layout layout = Layout::Classic;
    // In the wall layout an alarm stays on screen this long, then the standby view returns; 0 keeps
    // it until it is cleared.
    double standbyMinutes = 60;
    // The station's name on the standby view and in the head; empty: the monitor's name.
    QString stationName;
    // The station's appointments, an iCalendar file; empty: none.
    QString calendar;
    // The screen the window opens on, by the name Qt gives it or its number; empty: the primary.
    QString screen;
    // A hall view: no informant, remark, pager holders' names or history on screen.
    bool privacy = false;
    // strength.leaders and strength.show: words of mannschaft.csv's qualifications.
    Strength::Settings strength;

    bool operator==(const DisplaySettings&) const = default;

    // The values of display.ini.
    [[nodiscard]] static DisplaySettings from(const ConfigValues& values);
};
