#include "settings/SettingsFile.h"

#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/NumberText.h"
#include "common/SafeFile.h"
#include "config/StationSettings.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <variant>

namespace {

constexpr int kLineCount = 27;

using Field = std::variant<QString StationSettings::*, bool StationSettings::*, quint16 StationSettings::*>;

// The fields in the order of their lines.
const Field kFields[kLineCount] = {
    &StationSettings::ServerAddress,
    &StationSettings::SpeechEnabled,
    &StationSettings::PlayAlarmWav,
    &StationSettings::SpeechProgramPath,
    &StationSettings::SpeechTextFile,
    &StationSettings::SpeechArgsBefore,
    &StationSettings::SpeechArgsAfter,
    &StationSettings::LeadText,
    &StationSettings::TrailText,
    &StationSettings::SpeakLeadText,
    &StationSettings::SpeakTrailText,
    &StationSettings::SpeakIncidentType,
    &StationSettings::SpeakKeyword,
    &StationSettings::SpeakTown,
    &StationSettings::SpeakStreet,
    &StationSettings::SpeakSupplement,
    &StationSettings::SpeakDistrict,
    &StationSettings::SpeakObject,
    &StationSettings::SpeakOutsideTown,
    &StationSettings::SpeakUnits,
    &StationSettings::PlayUnitWavs,
    &StationSettings::UseProxy,
    &StationSettings::ProxyServer,
    &StationSettings::ProxyPort,
    &StationSettings::ProxyAuthRequired,
    &StationSettings::ProxyLogin,
    &StationSettings::ProxyPassword,
};

// A flag's line: its leading number, rounded; exactly 1 is on, any other 16-bit number off.
// A port's line: its leading number, rounded, from 0 to 32767. Nothing for a number out of range.
template <typename T> std::optional<T> readNumber(const QString& text)
{
    if constexpr (std::is_same_v<T, bool>) {
        const std::optional<qint16> value = NumberText::readInt16(text);
        return value ? std::optional<bool>(*value == 1) : std::nullopt;
    } else {
        const double value = NumberText::roundHalfEven(NumberText::readLeadingNumber(text));
        return value >= 0 && value <= 32767 ? std::optional<quint16>(quint16(value)) : std::nullopt;
    }
}

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

void LoadSettings(const AppContext& ctx, StationSettings& s)
{
    const QString path = SettingsPath(ctx);
    if (FileExists(path)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            for (int line = 1; line <= kLineCount && !file.atEnd(); ++line) {
                QByteArray bytes = file.readLine();
                if (bytes.endsWith('\n'))
                    bytes.chop(1);
                if (bytes.endsWith('\r'))
                    bytes.chop(1);
                const QString text = CodePage::decode(bytes);
                std::visit(
                    [&](auto member) {
                        using T = std::remove_reference_t<decltype(s.*member)>;
                        if constexpr (std::is_same_v<T, QString>)
                            s.*member = text;
                        else if (const auto value = readNumber<T>(text))
                            s.*member = *value; // a value out of range keeps the field as it was
                    },
                    kFields[line - 1]);
            }
        }
        // Whatever line 5 held, and even when the file ends before it: the speech text goes to
        // the program folder's sabbel.txt after every start with a settings file.
        s.SpeechTextFile = DefaultSpeechTextFile(ctx);
    }
    if (s.ServerAddress.isEmpty())
        s.ServerAddress = QStringLiteral("localhost");
}

QByteArray SettingsFileBytes(const StationSettings& s)
{
    QByteArray out;
    for (const Field& field : kFields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(s.*member)>;
                if constexpr (std::is_same_v<T, QString>)
                    out += CodePage::encode(s.*member);
                else if constexpr (std::is_same_v<T, bool>)
                    out += s.*member ? "1" : "0";
                else
                    out += QByteArray::number(s.*member);
            },
            field);
        out += "\r\n";
    }
    return out;
}

bool SaveSettings(const AppContext& ctx, const StationSettings& settings)
{
    // The file holds the proxy password: readable by its owner only. A save that fails (a full
    // disk) leaves the old file as it was.
    return ReplaceFileWhole(
        SettingsPath(ctx), SettingsFileBytes(settings), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
