#include "app/DisplaySettings.h"

#include "common/KeyValueFile.h"

#include <QProcess>

#include <cmath>
#include <optional>

namespace {

// A number from `low` to `high`, or nothing.
std::optional<double> number(const QString& value, double low, double high)
{
    bool ok = false;
    const double n = value.toDouble(&ok);
    if (!ok || !std::isfinite(n) || n < low || n > high)
        return std::nullopt;
    return n;
}

} // namespace

DisplaySettings DisplaySettings::parse(QStringView text)
{
    DisplaySettings s;
    for (const auto& [name, written] : KeyValueFile::parse(text)) {
        QString value = written;
        for (const QLatin1String blank : { QLatin1String(" #"), QLatin1String("\t#") }) {
            if (const qsizetype comment = value.indexOf(blank); comment >= 0)
                value.truncate(comment);
        }
        value = value.trimmed();
        if (name == QLatin1String("fullscreen")) {
            if (value == QLatin1String("0") || value == QLatin1String("1"))
                s.fullscreen = value == QLatin1String("1");
        } else if (name == QLatin1String("wake")) {
            const QString mode = value.toLower();
            s.wake = mode == QLatin1String("x11")  ? Wake::X11
                : mode == QLatin1String("command") ? Wake::Command
                                                   : Wake::Off;
        } else if (name == QLatin1String("wake.on")) {
            s.wakeOn = QProcess::splitCommand(value);
        } else if (name == QLatin1String("wake.off")) {
            s.wakeOff = QProcess::splitCommand(value);
        } else if (name == QLatin1String("awake_minutes")) {
            s.awakeMinutes = number(value, 0, 24 * 60).value_or(s.awakeMinutes);
        } else if (name == QLatin1String("replay_announce_minutes")) {
            s.replayAnnounceMinutes = number(value, 0, 365 * 24 * 60).value_or(s.replayAnnounceMinutes);
        } else if (name == QLatin1String("link_warning_seconds")) {
            if (const auto n = number(value, 0, 24 * 3600); n && *n == std::floor(*n))
                s.linkWarningSeconds = int(*n);
        }
    }
    return s;
}

DisplaySettings DisplaySettings::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, FileName));
}
