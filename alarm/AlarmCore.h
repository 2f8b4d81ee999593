#pragma once

#include "alarm/AlarmPlan.h"
#include "link/MessageHandlers.h"

#include <QList>
#include <QObject>

#include <optional>

class AnnouncementQueue;
class AppContext;
struct RadioAlarm;
struct StationSettings;

// The alarm's way, without a window: takes every message of the link, plans each alarm once and
// hands the plan on. A station alarm goes first to whatever shows it (stationAlarm), then is
// stored in last.dat and announced, and then goes to whatever keeps or prints it
// (stationAlarmAnnounced), so that nothing but the screen stands before its first sound. The
// other messages are handed on as they came. An alarm that the link announces ahead, as it waits
// behind other messages, is heard at once; it is shown, stored and kept in its turn, after the
// messages before it, and not heard a second time.
class AlarmCore : public QObject, public MessageHandlers {
    Q_OBJECT

public:
    // The settings are the Station's record, read at every alarm.
    AlarmCore(AppContext& ctx, const StationSettings& settings, QObject* parent = nullptr);

    [[nodiscard]] const StationSettings& settings() const { return m_settings; }

    // Where alarms are heard; null: nothing is heard. Must outlive the core.
    void setAnnouncements(AnnouncementQueue* announcements) { m_announcements = announcements; }

    // "WACHALARM": replay 0 for a live alarm (stored in last.dat), 1 for the start-up replay.
    void HandleStationAlarm(const QString& message, int replay) override;
    void HandleUnitAlarm(const QString& message) override;
    void HandleTickerMessage(const QString& message) override { emit tickerMessage(message); }
    void InsertStatusRow(const QString& message) override { emit statusMessage(message); }
    void InsertPagerRow(const QString& message) override { emit pagerMessage(message); }
    void DeleteTicker() override { emit tickerDeleted(); }
    void HandleFeedback(const QString& message) override { emit feedbackMessage(message); }
    // "WACHALARM" or "WACHALARM_EM" heard before its turn.
    void AnnounceAhead(const QString& message) override;
    // A radio alarm for one of the station's RICs: shown and heard as a station alarm that has no
    // dispatch data yet; never stored in last.dat.
    void HandleRadioAlarm(const RadioAlarm& alarm);
    // "Probealarm" (PlanTestAlarm): shown, heard, printed and kept as a station alarm, marked as a
    // test, never stored in last.dat. A test never cuts an alarm: false, and nothing happens,
    // while an announcement is under way or waiting. Any real alarm that follows stops its
    // announcement at once.
    bool HandleTestAlarm();

    // A later copy of live station alarm `sequence` (see liveStationAlarms()) has filled or
    // lengthened its fields: the merged plan goes to whatever shows, keeps or prints it
    // (stationAlarmMerged) and, for the alarm on screen, to last.dat. The alarm sound is never heard
    // again; with `announceDetails` (a radio alarm that now has its dispatch data) the speech and
    // the units' sounds follow what is being heard.
    void MergeStationAlarm(const StationAlarmPlan& plan, quint64 sequence, bool announceDetails);

    // The live station alarms of this run, counted from 1 as stationAlarm told them; the newest's
    // number.
    [[nodiscard]] quint64 liveStationAlarms() const { return m_liveStationAlarms; }

    // Shows the alarm of last.dat again without rewriting the file; heard only when `announce`.
    // last.dat has no field for the informant: `informant` is put in its place. False when there
    // is no stored alarm.
    bool ReplayLastAlarm(bool announce, const QString& informant = {});

signals:
    void stationAlarm(const StationAlarmPlan& plan, bool replay);
    void stationAlarmAnnounced(const StationAlarmPlan& plan, bool replay);
    // Live station alarm `sequence` with the fields a later copy filled; never heard again. The
    // crew's answers and the incident's place stand.
    void stationAlarmMerged(const StationAlarmPlan& plan, quint64 sequence);
    void unitAlarm(const UnitAlarmPlan& plan);
    void unitAlarmAnnounced(const UnitAlarmPlan& plan);
    void tickerMessage(const QString& message);
    void statusMessage(const QString& message);
    void pagerMessage(const QString& message);
    void tickerDeleted();
    void feedbackMessage(const QString& message);

private:
    // An alarm heard ahead, its plan kept for its turn.
    struct Ahead {
        QString message;
        std::optional<StationAlarmPlan> station;
        std::optional<UnitAlarmPlan> unit;
    };
    // The alarm heard ahead with this message, taken out; none when it was not heard ahead.
    std::optional<Ahead> takeAhead(const QString& message, bool station);

    AppContext& m_ctx;
    const StationSettings& m_settings;
    QList<Ahead> m_ahead; // in the order heard
    AnnouncementQueue* m_announcements = nullptr;
    bool m_silentReplay = false;
    quint64 m_liveStationAlarms = 0;
};
