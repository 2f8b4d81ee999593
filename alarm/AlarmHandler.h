#pragma once

#include <QObject>
#include <QStringList>
#include <QTime>

#include <array>
#include <functional>

class AlarmMap;
class AnnouncementQueue;
class AppContext;
class QLabel;
class QTableWidget;
struct StationAlarmPlan;

// The controls of the main window that the alarm messages write to.
struct AlarmControls {
    std::array<QLabel*, 9> label_einsatz {};
    std::array<QLabel*, 2> Label2 {};
    QLabel* Label4 = nullptr;
    QLabel* Image_Blau = nullptr;
    QLabel* Image2 = nullptr; // the indicator picture when field 15 is not 0
    QLabel* Image3 = nullptr; // the indicator picture when field 15 is 0
    QTableWidget* MSFlexGrid1 = nullptr;
    QTableWidget* Grid_Status = nullptr;
    QTableWidget* Grid_Melder = nullptr;
};

// Applies what each alarm message does (its plan) to the window's labels and grids, the map,
// last.dat and the announcements. Nothing here waits for a sound or the speech program: a newer
// alarm is shown the moment it arrives, whatever is being heard.
class AlarmHandler : public QObject {
    Q_OBJECT

public:
    // map and announcements may be null: no map, nothing heard. The controls, the map and the
    // announcements must outlive the handler.
    AlarmHandler(AppContext& ctx, const AlarmControls& controls, AlarmMap* map, AnnouncementQueue* announcements,
        QObject* parent = nullptr);

    void setMap(AlarmMap* map);
    void setAnnouncements(AnnouncementQueue* announcements) { m_announcements = announcements; }

    // Headings, widths and alignments of the three grids; no selection, focus or editing on any.
    void InitAlarmGrids();

    // Grid_Status and Grid_Melder keep this many rows, the newest; the oldest goes for a new one.
    static constexpr int kMostGridRows = 1000;

    // "WACHALARM": replay 0 for a live alarm (stored in last.dat), 1 for the start-up replay.
    void HandleStationAlarm(const QString& message, int replay);
    // "WACHALARM_EM"
    void HandleUnitAlarm(const QString& message);
    // "WACHALARM_STATUS", "WACHALARM_MELDER", "WACHALARM_RM"
    void InsertStatusRow(const QString& message);
    void InsertPagerRow(const QString& message);
    void HandleFeedback(const QString& message);

    // Shows and announces the alarm of last.dat again, without rewriting the file.
    void ReplayLastAlarm();

    // The time of day of a status row.
    std::function<QTime()> clock = [] { return QTime::currentTime(); };

private:
    void showUnits(const QStringList& units);
    void placeIncident(const StationAlarmPlan& plan);
    void onLookupFinished(bool found);
    void paintNow();

    AppContext& m_ctx;
    AlarmControls m_controls;
    AlarmMap* m_map = nullptr;
    AnnouncementQueue* m_announcements = nullptr;

    // The alarm on screen waits for its address lookup: its answer places the marker and centres
    // the map, whatever happened on the map meanwhile. Only a newer alarm clears it.
    bool m_awaitingLookup = false;
    // The centre of the latest alarm when it came with coordinates; a late answer to an older
    // lookup must not move the map away from it.
    QString m_latestCoordinates;
};
