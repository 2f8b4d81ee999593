#include "settings/DisplaySettings.h"

#include "common/KeyValueFile.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
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

const QStringList DisplaySettings::Keys
    = { QStringLiteral("fullscreen"), QStringLiteral("wake"), QStringLiteral("wake.on"), QStringLiteral("wake.off"),
          QStringLiteral("awake_minutes"), QStringLiteral("replay_announce_minutes"),
          QStringLiteral("link_warning_seconds"), QStringLiteral("layout"), QStringLiteral("standby_minutes"),
          QStringLiteral("station_name"), QStringLiteral("calendar"), QStringLiteral("screen"),
          QStringLiteral("privacy"), QStringLiteral("strength.leaders"), QStringLiteral("strength.show") };

DisplaySettings DisplaySettings::parse(const KeyValueFile& file)
{
    DisplaySettings s;
    for (const KeyValueFile::Entry& entry : file.entries()) {
        const QString& name = entry.name;
        const QString& value = entry.value;
        const auto setNumber = [&](double& to, double high, const char* expected) {
            if (const auto n = number(value, 0, high))
                to = *n;
            else
                file.unusable(entry, QLatin1String(expected));
        };
        const auto setFlag = [&](bool& to) {
            if (value == QLatin1String("0") || value == QLatin1String("1"))
                to = value == QLatin1String("1");
            else
                file.unusable(entry, QStringLiteral("0 or 1"));
        };
        // A name or path may be quoted to keep a '#' or blanks at its ends.
        const QString text = value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')
            ? value.mid(1, value.size() - 2)
            : value;
        if (name == QLatin1String("fullscreen")) {
            setFlag(s.fullscreen);
        } else if (name == QLatin1String("privacy")) {
            setFlag(s.privacy);
        } else if (name == QLatin1String("layout")) {
            const QString layout = value.toLower();
            if (layout == QLatin1String("classic") || layout == QLatin1String("wall"))
                s.layout = layout == QLatin1String("wall") ? Layout::Wall : Layout::Classic;
            else
                file.unusable(entry, QStringLiteral("classic or wall"));
        } else if (name == QLatin1String("standby_minutes")) {
            setNumber(s.standbyMinutes, 7 * 24 * 60, "minutes from 0 to 10080");
        } else if (name == QLatin1String("station_name") || name == QLatin1String("calendar")
            || name == QLatin1String("screen")) {
            // A control character would garble the screen or the path.
            if (text.isEmpty()
                || std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
                file.unusable(entry, QStringLiteral("a text without control characters"));
            else
                (name == QLatin1String("station_name")      ? s.stationName
                        : name == QLatin1String("calendar") ? s.calendar
                                                            : s.screen)
                    = text;
        } else if (name == QLatin1String("wake")) {
            const QString mode = value.toLower();
            if (mode == QLatin1String("x11") || mode == QLatin1String("command") || mode == QLatin1String("off"))
                s.wake = mode == QLatin1String("x11")  ? Wake::X11
                    : mode == QLatin1String("command") ? Wake::Command
                                                       : Wake::Off;
            else
                file.unusable(entry, QStringLiteral("x11, command or off"));
        } else if (name == QLatin1String("wake.on") || name == QLatin1String("wake.off")) {
            // Split as a command line is, so a quoted argument keeps its blanks and its '#'.
            const QStringList command = QProcess::splitCommand(value);
            if (command.isEmpty())
                file.unusable(entry, QStringLiteral("a program"));
            else
                (name == QLatin1String("wake.on") ? s.wakeOn : s.wakeOff) = command;
        } else if (name == QLatin1String("awake_minutes")) {
            setNumber(s.awakeMinutes, 24 * 60, "minutes from 0 to 1440");
        } else if (name == QLatin1String("replay_announce_minutes")) {
            setNumber(s.replayAnnounceMinutes, 365 * 24 * 60, "minutes from 0 to 525600");
        } else if (name == QLatin1String("link_warning_seconds")) {
            if (const auto n = number(value, 0, 24 * 3600); n && *n == std::floor(*n))
                s.linkWarningSeconds = int(*n);
            else
                file.unusable(entry, QStringLiteral("whole seconds from 0 to 86400"));
        } else if (name == QLatin1String("strength.leaders") || name == QLatin1String("strength.show")) {
            static const QRegularExpression gap(QStringLiteral("[\\s,]+"));
            (name == QLatin1String("strength.leaders") ? s.strength.leaders : s.strength.shown)
                = value.split(gap, Qt::SkipEmptyParts);
        }
    }
    return s;
}

DisplaySettings DisplaySettings::parse(QByteArrayView bytes)
{
    return parse(KeyValueFile::parse(bytes, FileName, Keys));
}

DisplaySettings DisplaySettings::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, FileName, Keys));
}
