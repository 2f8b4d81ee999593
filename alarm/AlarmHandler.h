#pragma once

#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QTime>

#include <array>
#include <functional>
#include <optional>

class AlarmMap;
class AlarmCore;
class QLabel;
class QTableWidget;
struct StationAlarmPlan;
struct UnitAlarmPlan;

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

// Shows what each alarm message does (its plan) in the window's labels and grids and on the map.
// Nothing here waits for a sound or the speech program: a newer alarm is shown the moment it
// arrives, whatever is being heard.
class AlarmHandler : public QObject {
    Q_OBJECT

public:
    // map may be null: no map. The controls and the map must outlive the handler.
    AlarmHandler(const AlarmControls& controls, AlarmMap* map, QObject* parent = nullptr);

    void setMap(AlarmMap* map);

    // Shows every alarm and grid message that the core hands on.
    void watch(AlarmCore& core);

    // Headings, widths and alignments of the three grids; no selection, focus or editing on any.
    void InitAlarmGrids();

    // Grid_Status and Grid_Melder keep this many rows, the newest; the oldest goes for a new one.
    static constexpr int kMostGridRows = 1000;
    // A label shows at most this many characters of its field, then "…": more never fits, and
    // laying out a remark of megabytes would hold the alarm's first sound. The plan keeps it whole.
    static constexpr qsizetype kMostLabelCharacters = 2000;

    void ShowStationAlarm(const StationAlarmPlan& plan);
    // The same for an alarm taken from the history, or the live alarm shown again after it: its
    // place tells nobody (incidentPlaced stays silent), as it is no new incident.
    void ShowAlarmAgain(const StationAlarmPlan& plan);
    void ShowUnitAlarm(const UnitAlarmPlan& plan);
    // "WACHALARM_STATUS", "WACHALARM_MELDER", "WACHALARM_RM"
    void InsertStatusRow(const QString& message);
    void InsertPagerRow(const QString& message);
    void HandleFeedback(const QString& message);

    // The time of day of a status row.
    std::function<QTime()> clock = [] { return QTime::currentTime(); };

signals:
    // Once per station alarm shown with a map: where its marker was set (x longitude, y latitude),
    // from the alarm's own coordinates or from the address lookup's answer; nothing when the lookup
    // found no place. Always through the event loop, so that it reaches the route, the printout and
    // the history after they have taken the alarm it belongs to.
    void incidentPlaced(std::optional<QPointF> position);

private:
    void showUnits(const QStringList& units);
    void placeIncident(const StationAlarmPlan& plan);
    void onLookupFinished(bool found);
    void show(const StationAlarmPlan& plan);
    void placed(std::optional<QPointF> position);
    void paintNow();

    AlarmControls m_controls;
    AlarmMap* m_map = nullptr;

    // The alarm on screen waits for its address lookup: its answer places the marker and centres
    // the map, whatever happened on the map meanwhile. Only a newer alarm clears it.
    bool m_awaitingLookup = false;
    // The alarm on screen is shown again: its place is not news.
    bool m_quietPlacement = false;
    // The centre of the latest alarm when it came with coordinates; a late answer to an older
    // lookup must not move the map away from it.
    QString m_latestCoordinates;
    // Counts the station alarms shown: a place told through the event loop is dropped when a newer
    // alarm has come meanwhile, as it is no longer the place of the alarm its consumers hold.
    quint64 m_shownAlarms = 0;
};
