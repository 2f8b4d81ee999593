#pragma once

#include "announce/Announcement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class AppContext;
struct RadioAlarm;
struct StationSettings;

// Where a station alarm came from: a dispatch host's message, the radio pagers' network, or the
// station's own test alarm.
enum class AlarmSource { Dispatch, Radio, Test };

// What an alarm message does, decided before any control, file or loudspeaker is touched: what
// the window shows, where the map goes, what last.dat becomes and what the station hears.
struct StationAlarmPlan {
    QString header; // Label4
    QString firstWord; // Label2(0)
    QString secondWord; // Label2(1)
    std::array<QString, 9> labels; // label_einsatz(0) to (8)
    QStringList units; // MSFlexGrid1, every unit as sent
    bool indicatorOn = false; // Image_Blau shows Image2, else Image3
    // The map's centre and marker; without them the address is looked up and the marker follows.
    std::optional<QString> coordinates;
    QString address;
    std::optional<QByteArray> lastAlarm; // the new last.dat; none for the replay
    QStringList fields; // the message's fields as received
    Announcement announcement;
    AlarmSource source = AlarmSource::Dispatch;
};

// "WACHALARM"; empty for a message with fewer than seven fields, which is ignored.
[[nodiscard]] std::optional<StationAlarmPlan> PlanStationAlarm(
    const QString& message, bool replay, const AppContext& ctx, const StationSettings& settings);

// A radio alarm for one of the station's RICs: "Alarm über Funkmeldeempfänger: <text> – Einsatzdaten
// folgen", heard with the alarm sound and the station's text for the RIC.
[[nodiscard]] StationAlarmPlan PlanRadioAlarm(
    const RadioAlarm& alarm, const AppContext& ctx, const StationSettings& settings);
// The fields a radio alarm is kept and printed with until its dispatch data comes: field 1
// "Alarm über Funkmeldeempfänger", the keyword (4) the station's text for the RIC, the remark (9)
// the decoded message.
[[nodiscard]] QStringList RadioAlarmFields(const RadioAlarm& alarm);

// "Probealarm": the station's test alarm, the whole way of a station alarm and marked as a test
// wherever it shows: the header, the keyword and the incident type name it, its first field is
// "PROBEALARM" (never "WACHALARM"), and it has no last.dat. Heard with the alarm sound, the speech
// "Probealarm" and the sounds of the station's own units: every "<unit>.wav" of the data folder's
// Sounds/, in name order (at most UnitList::kMostUnitSounds), which are also its units on screen.
[[nodiscard]] StationAlarmPlan PlanTestAlarm(const AppContext& ctx, const StationSettings& settings);

struct UnitAlarmPlan {
    QStringList units; // MSFlexGrid1
    Announcement announcement; // alarm sound and unit sounds; nothing when there are no units
};

// "WACHALARM_EM"
[[nodiscard]] UnitAlarmPlan PlanUnitAlarm(
    const QString& message, const AppContext& ctx, const StationSettings& settings);
