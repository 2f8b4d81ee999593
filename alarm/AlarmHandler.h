#pragma once

#include "common/CoarseClock.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QTime>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class AlarmMap;
class AlarmCore;
class Geocoder;
class Incident;
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

// Shows what each alarm message does (its plan) in the window's labels and grids, and the live
// incident's place and route on the map. Nothing here waits for a sound or the speech program: a
// newer alarm is shown the moment it arrives, whatever is being heard. An alarm shown again from
// the history is shown here alone: the incident never hears of it. Status, pager and feedback
// messages are kept as they come; the status and pager grids show them at most every kGridMs,
// from a timer, so that a burst of them never stands before an alarm's first sound.
class AlarmHandler : public QObject {
    Q_OBJECT

public:
    // map may be null: no map. The controls and the map must outlive the handler.
    AlarmHandler(const AlarmControls& controls, AlarmMap* map, QObject* parent = nullptr);

    void setMap(AlarmMap* map);
    // A hall screen (display.ini privacy=1), which passers-by can read: from now on neither the
    // remark nor the informant is put into a control, nor the holders' names of the pager messages
    // watched. Set before the first alarm is shown.
    void setPrivacy(bool privacy) { m_privacy = privacy; }

    // Shows every alarm and grid message that the core hands on.
    void watch(AlarmCore& core);
    // Puts the live incident's place and route on the map; a cleared incident clears the display.
    void follow(Incident& incident);
    // Looks up the place of an alarm shown again; null: such an alarm without coordinates gets none.
    void setGeocoder(Geocoder* geocoder);

    // Headings, widths and alignments of the three grids; no selection, focus or editing on any.
    void InitAlarmGrids();

    // Grid_Status and Grid_Melder keep this many rows, the newest; the oldest goes for a new one.
    static constexpr int kMostGridRows = 1000;
    // The grids show what came at most this often.
    static constexpr int kGridMs = 200;
    // A label shows at most this many characters of its field, then "…": more never fits, and
    // laying out a remark of megabytes would hold the alarm's first sound. The plan keeps it whole.
    static constexpr qsizetype kMostLabelCharacters = 2000;

    void ShowStationAlarm(const StationAlarmPlan& plan);
    // An alarm taken from the history: shown with its own place, looked up here when it has no
    // coordinates. No new incident.
    void ShowAlarmAgain(const StationAlarmPlan& plan);
    // The live incident as it stands after an alarm of the history; an empty display without one.
    void showLive();
    // Empties the incident display: labels, units, pagers (unless kept), marker and route line.
    void clearIncident(bool keepPagers = false);
    void ShowUnitAlarm(const UnitAlarmPlan& plan);
    // "WACHALARM_STATUS", "WACHALARM_MELDER", "WACHALARM_RM"
    void InsertStatusRow(const QString& message);
    void InsertPagerRow(const QString& message);
    void HandleFeedback(const QString& message);

    // The time of day of a status row.
    std::function<QTime()> clock = [now = CoarseClock()] { return now().time(); };

signals:
    // The status and pager grids show every message that came before.
    void rowsShown();

private:
    // The newest rows of a grid as the messages left them, numbered as they came.
    struct GridRows {
        struct Row {
            std::array<QString, 3> cells;
            int colour = -1; // of the feedback cell; -1: none given
        };
        std::deque<Row> rows; // oldest first, at most kMostGridRows
        quint64 first = 0; // the number of rows.front()
        qsizetype added = 0; // rows come since the grid last showed them
        std::vector<quint64> answered; // rows whose feedback came since, by number
        QHash<QString, quint64> newestById; // pager id → number of the newest row with it
        void add(const std::array<QString, 3>& cells, bool keyed);
        void clear();
    };
    void rowsCame();
    void showRows();
    void showRows(QTableWidget* grid, GridRows& rows);

    void showUnits(const QStringList& units);
    void show(const StationAlarmPlan& plan, bool units = true);
    // The marker at `marker`, the map centred on `centre`; no marker for an empty text.
    void showPlace(const QString& centre, const QString& marker, const QList<QPointF>& route = {});
    void showIncidentPlace();
    void paintNow();

    AlarmControls m_controls;
    AlarmMap* m_map = nullptr;
    QPointer<Incident> m_incident;
    QPointer<Geocoder> m_geocoder;
    // The display shows the live incident, not an alarm of the history.
    bool m_showsLive = true;
    bool m_privacy = false;
    // The units of the live station alarm as it was shown.
    QStringList m_liveUnits;
    // The lookup of the alarm shown again; 0: none.
    quint64 m_lookup = 0;
    GridRows m_statusRows;
    GridRows m_pagerRows;
    QTimer m_gridTimer;
};
