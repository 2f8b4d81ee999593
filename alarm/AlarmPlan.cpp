#include "alarm/AlarmPlan.h"

#include "alarm/LastAlarmStore.h"
#include "alarm/StationAlarm.h"
#include "alarm/UnitList.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "paths/RadioAlarm.h"
#include "settings/DataFolders.h"

#include <QDir>

#include <algorithm>

namespace {

Announcement soundsOf(const QStringList& units, const AppContext& ctx, const StationSettings& settings)
{
    Announcement announcement;
    if (settings.PlayAlarmWav)
        announcement.alarmSound = ctx.programFile(QStringLiteral("alarm.wav"));
    if (settings.PlayUnitWavs)
        announcement.unitSounds = UnitList::soundFiles({ SoundsFolder(ctx), ctx.ProgramFolder }, units);
    return announcement;
}

} // namespace

std::optional<StationAlarmPlan> PlanStationAlarm(
    const QString& message, bool replay, const AppContext& ctx, const StationSettings& s)
{
    const std::optional<StationAlarm> alarm = StationAlarm::parse(message);
    if (!alarm)
        return std::nullopt;

    StationAlarmPlan plan;
    plan.header = alarm->header();
    plan.firstWord = alarm->firstWord();
    plan.secondWord = alarm->secondWord();
    plan.labels = alarm->incidentLabels();
    plan.units = alarm->units();
    plan.indicatorOn = alarm->indicatorOn();
    plan.coordinates = alarm->coordinates();
    plan.address = alarm->address();
    plan.fields = alarm->fields();
    if (!replay)
        plan.lastAlarm = LastAlarmStore::bytes(alarm->fields());

    plan.announcement = soundsOf(plan.units, ctx, s);
    if (s.SpeechEnabled && !s.SpeechProgramPath.isEmpty())
        plan.announcement.speech = Announcement::Speech { s.SpeechProgramPath, s.SpeechTextFile, s.SpeechArgsBefore,
            s.SpeechArgsAfter, alarm->speechText(s) };
    plan.announcement.name = QStringLiteral("station alarm ")
        + QStringList { plan.header, plan.firstWord, plan.secondWord }.join(QLatin1Char(' ')).simplified();
    return plan;
}

StationAlarmPlan PlanRadioAlarm(const RadioAlarm& alarm, const AppContext& ctx, const StationSettings& s)
{
    StationAlarmPlan plan;
    plan.source = AlarmSource::Radio;
    const QString text = alarm.label.isEmpty() ? alarm.text : alarm.label;
    plan.header = QStringLiteral("Alarm über Funkmeldeempfänger: %1 – Einsatzdaten folgen").arg(text);
    plan.fields = RadioAlarmFields(alarm);
    plan.announcement = soundsOf({}, ctx, s);
    if (s.SpeechEnabled && !s.SpeechProgramPath.isEmpty())
        plan.announcement.speech = Announcement::Speech { s.SpeechProgramPath, s.SpeechTextFile, s.SpeechArgsBefore,
            s.SpeechArgsAfter, text };
    plan.announcement.name = QStringLiteral("radio alarm ") + alarm.ric + alarm.subAddress;
    return plan;
}

StationAlarmPlan PlanTestAlarm(const AppContext& ctx, const StationSettings& s)
{
    const QString test = QStringLiteral("Probealarm");
    QStringList units;
    if (const QString folder = SoundsFolder(ctx); !folder.isEmpty()) {
        const QStringList sounds
            = QDir(folder).entryList({ QStringLiteral("*.wav") }, QDir::Files | QDir::Readable, QDir::Name);
        // A name with a control character could never be a unit of the list (the character 7 ends one).
        for (const QString& sound : sounds) {
            if (units.size() < UnitList::kMostUnitSounds
                && std::ranges::none_of(sound, [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
                units << sound.chopped(4);
        }
    }
    QString unitField;
    for (const QString& unit : units)
        unitField += unit + QChar(7);
    QStringList fields(19);
    fields[0] = StationAlarm::TestType;
    fields[1] = test;
    fields[2] = test;
    fields[3] = QStringLiteral("Probealarm – kein Einsatz");
    fields[4] = test;
    fields[14] = unitField;
    // Planned as a stored alarm is, so that nothing of it goes to last.dat.
    StationAlarmPlan plan = *PlanStationAlarm(fields.join(QChar(9)), true, ctx, s);
    plan.source = AlarmSource::Test;
    if (plan.announcement.speech)
        plan.announcement.speech->text = test;
    plan.announcement.name = QStringLiteral("test alarm");
    plan.announcement.test = true;
    return plan;
}

QStringList RadioAlarmFields(const RadioAlarm& alarm)
{
    QStringList fields(19);
    fields[0] = QStringLiteral("WACHALARM");
    fields[1] = QStringLiteral("Alarm über Funkmeldeempfänger");
    fields[4] = alarm.label.isEmpty() ? alarm.text : alarm.label;
    fields[9] = alarm.text;
    return fields;
}

UnitAlarmPlan PlanUnitAlarm(const QString& message, const AppContext& ctx, const StationSettings& settings)
{
    UnitAlarmPlan plan;
    plan.units = UnitList::split(message.section(QChar(9), 1, 1));
    if (!plan.units.isEmpty()) {
        plan.announcement = soundsOf(plan.units, ctx, settings);
        plan.announcement.name = QStringLiteral("unit alarm ") + plan.units.join(QStringLiteral(", "));
    }
    return plan;
}
