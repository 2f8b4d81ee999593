#include "settings/SettingsFile.h"

#include "common/AppContext.h"
#include "common/SafeFile.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"

#include <QFileInfo>

#include <algorithm>
#include <variant>

namespace {

using Field = std::variant<QString StationSettings::*, bool StationSettings::*, quint16 StationSettings::*>;

struct Line {
    const char* key;
    Field field;
};

// The fields under the schema's names of the file's lines, in their order.
const Line kLines[] = {
    { "server", &StationSettings::ServerAddress },
    { "speech", &StationSettings::SpeechEnabled },
    { "alarm_wav", &StationSettings::PlayAlarmWav },
    { "speech_program", &StationSettings::SpeechProgramPath },
    { "speech_text", &StationSettings::SpeechTextFile },
    { "speech_args_before", &StationSettings::SpeechArgsBefore },
    { "speech_args_after", &StationSettings::SpeechArgsAfter },
    { "lead_text", &StationSettings::LeadText },
    { "trail_text", &StationSettings::TrailText },
    { "speak_lead_text", &StationSettings::SpeakLeadText },
    { "speak_trail_text", &StationSettings::SpeakTrailText },
    { "speak_type", &StationSettings::SpeakIncidentType },
    { "speak_keyword", &StationSettings::SpeakKeyword },
    { "speak_town", &StationSettings::SpeakTown },
    { "speak_street", &StationSettings::SpeakStreet },
    { "speak_supplement", &StationSettings::SpeakSupplement },
    { "speak_district", &StationSettings::SpeakDistrict },
    { "speak_object", &StationSettings::SpeakObject },
    { "speak_outside_town", &StationSettings::SpeakOutsideTown },
    { "speak_units", &StationSettings::SpeakUnits },
    { "unit_wavs", &StationSettings::PlayUnitWavs },
    { "proxy", &StationSettings::UseProxy },
    { "proxy_server", &StationSettings::ProxyServer },
    { "proxy_port", &StationSettings::ProxyPort },
    { "proxy_auth", &StationSettings::ProxyAuthRequired },
    { "proxy_login", &StationSettings::ProxyLogin },
    { "proxy_password", &StationSettings::ProxyPassword },
};

} // namespace

QString SettingsPath(const AppContext& ctx)
{
    return ctx.dataFile(QStringLiteral("settings.dat"));
}

QString DefaultSpeechTextFile(const AppContext& ctx)
{
    const QFileInfo programFolder(ctx.ProgramFolder);
    const bool writable = programFolder.isDir() && programFolder.isWritable();
    return (writable ? ctx.programFile(QStringLiteral("sabbel.txt")) : ctx.dataFile(QStringLiteral("sabbel.txt")));
}

QString SpeechTextPath(const AppContext& ctx, const QString& name)
{
    return QFileInfo(name).isAbsolute() ? name : ctx.dataFile(QStringLiteral("sabbel.txt"));
}

StationSettings LoadSettings(const AppContext& ctx, const ConfigValues& values)
{
    // A flag's line that is not 0 or 1 and a port out of 0 to 32767 have their defaults (off, 0)
    // from the reading.
    StationSettings s;
    for (const auto& [key, field] : kLines) {
        const QString name = QString::fromLatin1(key);
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(s.*member)>;
                if constexpr (std::is_same_v<T, QString>)
                    s.*member = values.text(name);
                else if constexpr (std::is_same_v<T, bool>)
                    s.*member = values.flag(name);
                else
                    s.*member = quint16(std::clamp(values.whole(name), 0, 32767));
            },
            field);
    }
    // Whatever line 5 held, and even when the file ends before it: the speech text goes to the
    // program folder's sabbel.txt after every start with a settings file.
    if (values.present())
        s.SpeechTextFile = DefaultSpeechTextFile(ctx);
    if (s.ServerAddress.isEmpty())
        s.ServerAddress = QStringLiteral("localhost");
    return s;
}

QList<std::pair<QString, QString>> SettingsLines(const StationSettings& s)
{
    QList<std::pair<QString, QString>> lines;
    for (const auto& [key, field] : kLines) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(s.*member)>;
                QString text;
                if constexpr (std::is_same_v<T, QString>)
                    text = s.*member;
                else if constexpr (std::is_same_v<T, bool>)
                    text = s.*member ? QStringLiteral("1") : QStringLiteral("0");
                else
                    text = QString::number(s.*member);
                lines.append({ QString::fromLatin1(key), text });
            },
            field);
    }
    return lines;
}

QByteArray SettingsFileBytes(const StationSettings& s)
{
    return rewriteConfig(ConfigFile::Settings, {}, SettingsLines(s));
}

bool SaveSettings(const AppContext& ctx, const StationSettings& settings)
{
    // The file holds the proxy password: readable by its owner only. A save that fails (a full
    // disk) leaves the old file as it was.
    return ReplaceFileWhole(
        SettingsPath(ctx), SettingsFileBytes(settings), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
