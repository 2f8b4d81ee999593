#include "app/DisplaySettings.h"

#include "common/KeyValueFile.h"

#include <QProcess>
#include <QRegularExpression>

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
          QStringLiteral("link_warning_seconds"), QStringLiteral("strength.leaders"), QStringLiteral("strength.show") };

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
        if (name == QLatin1String("fullscreen")) {
            if (value == QLatin1String("0") || value == QLatin1String("1"))
                s.fullscreen = value == QLatin1String("1");
            else
                file.unusable(entry, QStringLiteral("0 or 1"));
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
