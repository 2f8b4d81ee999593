#pragma once

#include "alarm/AlarmPlan.h"
#include "map/MapConfig.h"
#include "print/CupsQueue.h"
#include "print/PrintSettings.h"
#include "route/Route.h"
#include "water/WaterSource.h"

#include <QDateTime>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class AlarmCore;
class AppContext;
struct StationSettings;
class Incident;
class PrintMaps;

// What became of one printout.
struct PrintResult {
    QString pdfPath; // the kept copy; empty when it could not be written
    QString queue;
    int jobId = 0; // CUPS's job id; 0 when CUPS did not take it
    int copies = 0; // 0: kept only, not sent
    QStringList warnings; // each also went to the journal once
    // The live station alarm whose page it is: its time of receipt and its place among the live
    // station alarms since start (1, 2, …); 0 for any other page.
    QDateTime alarmTime;
    quint64 alarmSequence = 0;
};

// The alarm on paper. For each live station alarm (and unit alarm when print.ini asks for it) it
// waits for the incident's place, its route and the maps, at most wait_seconds, then renders the page
// once into a PDF and keeps it in Ausdrucke/ on one worker thread, and hands it to CUPS on
// another, one printout after the other on each, so that neither the alarm's thread nor its sound
// ever waits for paper, and a printer that hangs never holds up the PDF copies. A newer alarm
// during the wait sends the older one at once with what it has. Each job gets at most
// cupsTimeLimit; at most kMostWaiting printouts wait for CUPS behind the one it is taking, and a
// further one drops the oldest of them (the newest alarm matters most; its PDF stays kept).
// Every fault is one warning in the journal (kessvenn.print) and nothing else.
class Printout : public QObject {
    Q_OBJECT

public:
    // The settings are the Station's record (the maps' proxy).
    Printout(AppContext& ctx, const StationSettings& settings, QObject* parent = nullptr);
    ~Printout() override;

    // Prints what the core has announced; also deletes old copies now and once a day.
    void watch(AlarmCore& core);
    // Takes the live alarm's place and route from its incident; a cleared incident sends its
    // waiting printout at once.
    void follow(Incident& incident);

    // The maps' configuration as the map control has read it.
    void setMapConfig(std::function<MapConfig()> source);
    // print.ini as the station's configuration holds it; none: nothing is printed. A printout
    // already waiting keeps the values its alarm found.
    void setSettings(std::optional<PrintSettings> settings) { m_current = std::move(settings); }
    [[nodiscard]] const std::optional<PrintSettings>& settings() const { return m_current; }

    // Ctrl+P: the alarm on screen, one copy, at once with what there is. Nothing without print.ini.
    void printNow();

    // An alarm of the history printed again: one copy, at once, from its fields as received, with
    // the maps of its coordinates when it carried them. Nothing without print.ini.
    // keptCopy: the PDF of its printout as the history keeps its name; when there is none, a new page.
    void printAgain(const QStringList& fields, const QDateTime& received, const QString& keptCopy = {});

    // Whether the water sources around each incident are looked up; the printout then waits for
    // them too (within wait_seconds). Their list goes under the detail map, their signs onto it.
    void setWaterExpected(bool expected) { m_waterExpected = expected; }
    // The monitor is a hall view (display.ini privacy=1): unless print.ini's informant=1 says
    // otherwise, neither the informant nor the remark goes on the paper.
    void setHallView(bool hallView) { m_hallView = hallView; }
    void waterFound(const WaterNearby& nearby);

    void onStationAlarm(const StationAlarmPlan& plan, bool replay);
    void onUnitAlarm(const UnitAlarmPlan& plan);
    // A later copy filled fields of live station alarm `sequence`: its page, if not yet printed,
    // shows them.
    void onStationAlarmMerged(const StationAlarmPlan& plan, quint64 sequence);

    // Deletes copies older than keep_days (on the worker thread).
    void pruneArchive();

    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // How long one job may talk to CUPS; taken when a printout is handed over.
    std::chrono::milliseconds cupsTimeLimit = CupsQueue::kTimeLimit;
    static constexpr int kMostWaiting = 3;

signals:
    void printed(const PrintResult& result);

private:
    struct Alarm {
        QStringList fields;
        QDateTime time;
        std::optional<QPointF> position;
        int decimals = 5; // the position's precision: the address lookup's, or as the alarm sent it
        std::optional<Route> route;
        std::optional<WaterNearby> water;
        quint64 sequence = 0; // of a live station alarm
    };
    struct Waiting {
        int copies = 0;
        bool mapsIn = false;
        bool waterIn = false;
        bool dataIn = true; // a radio alarm's dispatch data
    };

    void onPlaced(const std::optional<QPointF>& position);
    void onRouted(const std::optional<Route>& route);
    [[nodiscard]] bool placed() const;
    void checkWaiting();
    void finishWaiting();
    // A real alarm came: a test alarm's printout that still waits is not printed.
    void dropWaitingTest();
    void send(const Alarm& alarm, const PrintSettings& settings, int copies, const std::optional<QStringList>& units,
        const QString& title);
    // A rendered (or kept) page for CUPS, on the main thread.
    struct Sending {
        QString what; // title and keyword, or the kept file's name
        QDateTime alarmTime;
        QString printer;
        int copies = 0;
        QByteArray pdf; // empty: read from result.pdfPath
        bool again = false;
        std::chrono::milliseconds timeLimit { 0 };
        PrintResult result;
    };
    void queueSending(Sending sending);
    void sendNext();

    AppContext& m_ctx;
    const StationSettings& m_stationSettings;
    PrintMaps* m_maps = nullptr;
    std::optional<Alarm> m_alarm; // the latest alarm
    bool m_onScreen = false;
    quint64 m_liveAlarms = 0;
    std::optional<Waiting> m_waiting; // its automatic printout, while it waits
    std::optional<PrintSettings> m_current; // print.ini as it is in force
    std::optional<PrintSettings> m_settings; // print.ini as the latest alarm found it
    QPointer<Incident> m_incident;
    bool m_waterExpected = false;
    bool m_hallView = false;
    QTimer m_deadline;
    QTimer m_firstPrune;
    QTimer m_daily;
    QThreadPool m_pool; // renders and keeps the pages; prunes
    QThreadPool m_cups; // hands them to CUPS
    std::deque<Sending> m_toSend; // waiting behind the one CUPS is taking
    bool m_sending = false;
    std::shared_ptr<std::atomic_bool> m_ending = std::make_shared<std::atomic_bool>(false);
};
