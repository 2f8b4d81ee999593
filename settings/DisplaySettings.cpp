#include "settings/DisplaySettings.h"

#include "config/ConfigValues.h"

DisplaySettings DisplaySettings::from(const ConfigValues& v)
{
    DisplaySettings s;
    s.fullscreen = v.flag(u"fullscreen");
    const QString wake = v.text(u"wake");
    s.wake = wake == QLatin1String("x11") ? Wake::X11 : wake == QLatin1String("command") ? Wake::Command : Wake::Off;
    s.wakeOn = v.list(u"wake.on");
    s.wakeOff = v.list(u"wake.off");
    s.awakeMinutes = v.decimal(u"awake_minutes");
    s.replayAnnounceMinutes = v.decimal(u"replay_announce_minutes");
    s.linkWarningSeconds = v.whole(u"link_warning_seconds");
    s.layout = v.text(u"layout") == QLatin1String("wall") ? Layout::Wall : Layout::Classic;
    s.standbyMinutes = v.decimal(u"standby_minutes");
    s.stationName = v.text(u"station_name");
    s.calendar = v.text(u"calendar");
    s.screen = v.text(u"screen");
    s.privacy = v.flag(u"privacy");
    s.strength.leaders = v.list(u"strength.leaders");
    s.strength.shown = v.list(u"strength.show");
    return s;
}
