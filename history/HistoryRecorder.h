#pragma once

#include "crew/Strength.h"
#include "route/Route.h"

#include "history/HistorySettings.h"
#include "water/WaterSource.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QThread>

#include <chrono>
#include <functional>
#include <optional>

class AlarmCore;
struct AlarmCopies;
class CrewWatch;
class Incident;
struct PrintResult;
struct StationAlarmPlan;
struct UnitAlarmPlan;

// Keeps every live alarm in history.sqlite. The core's alarms reach it after their announcement
// has started; the writing happens on a thread of its own, so that a slow, locked or full disk
// never holds the thread that takes alarms. What cannot be written yet waits in memory, in order,
// and is written with the next write or a few seconds later, the file opened anew: one warning in
// the journal when the writing stops, one line when it goes on.
class HistoryRecorder : public QObject {
    Q_OBJECT

public:
    // path: history.sqlite; lastAlarmPath: last.dat, taken over once into a new history.
    HistoryRecorder(QString path, QString lastAlarmPath, HistorySettings settings, QObject* parent = nullptr);
    ~HistoryRecorder() override;

    // The time of every record and of the retention; tests set it before start(). In UTC: a burst
    // of thousands of answers is timed and written without asking the time zone for each one (the
    // C library looks at /etc/localtime on every conversion), on either thread.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };

    // Opens the file, takes last.dat over into a new one, clears and deletes what is due, and from
    // then on does so once a day. last.dat is read at once, so start() comes before the link
    // opens; an alarm recorded before it already replaced last.dat, which is then not taken over.
    void start();
    // Records the core's live alarms, pager rows and feedback.
    void watch(AlarmCore& core);
    // Records the looked-up place and the route of each live incident with its alarm.
    void follow(Incident& incident);
    // The crew file's names: an answer keeps the name its holder has there, as the strength shows
    // it; else the one of the pager row. The crew must outlive the recorder, or be null.
    void setCrew(const CrewWatch* crew) { m_crew = crew; }

    void recordStationAlarm(const StationAlarmPlan& plan, bool replay);
    void recordUnitAlarm(const UnitAlarmPlan& plan);
    // A station alarm's copies: their merged fields and the paths that brought them, into its row.
    void recordCopies(const AlarmCopies& copies);
    void recordPagerRow(const QString& message);
    void recordFeedback(const QString& message);
    // The water sources around the live incident, once looked up: their line as shown.
    void recordWater(const WaterNearby& nearby);
    // The crew's strength for the live alarm on screen, whenever it changes.
    void recordStrength(const Strength::Count& count, const Strength::Settings& settings);
    // The live station alarm's printout: the file name of its kept copy goes with the alarm.
    void recordPrintout(const PrintResult& result);
    // Clears and deletes what is due now.
    void runRetention();
    // history.ini read anew: the retention runs at once with the new days.
    void setSettings(const HistorySettings& settings);
    // For a monitor that is ending: returns once every write asked for so far is done, or at
    // `bound` (a file locked by another program); false then.
    bool waitForWrites(std::chrono::milliseconds bound);

signals:
    // From the writing thread, after each alarm, feedback or position: kept, or failed (the
    // warning's text; a failed retention, too).
    void written();
    void failed(const QString& reason);
    // start() is done: the file is open, or not.
    void started(bool open);

private:
    QString m_lastAlarmPath;
    QThread m_thread;
    class HistoryWorker* m_worker = nullptr;
    // Pager id → holder, from the pager rows.
    QHash<QString, QString> m_pagerHolders;
    // The live station alarms, counted from 1 in the order they came, and the times of the latest.
    qint64 m_stationAlarms = 0;
    QHash<qint64, QDateTime> m_received;
    QPointer<Incident> m_incident;
    const CrewWatch* m_crew = nullptr;
};
