#pragma once

#include "alarm/AlarmPlan.h"
#include "app/WallLayout.h"
#include "paths/PathStates.h"
#include "settings/DisplaySettings.h"

#include <QDateTime>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class AlarmCore;
class AppContext;
class CalendarWatch;
class CrewWatch;
class FittingLabel;
class QAbstractItemModel;
class QScreen;
class VehicleBoard;
class VehicleBoardView;
class ucGMap;
namespace Strength {
struct Count;
}

// The station's wall screen (display.ini layout=wall): the alarm in type that reads across the
// hall with the map beside it, and between alarms the standby view. It covers the window it lies
// in; the window's own controls go on taking every message beneath it, so the commands, the
// printout and the history work as in the design layout. Everything on it follows the screen's
// size (WallLayout). With privacy=1 it holds neither the informant nor the remark.
class WallScreen : public QWidget {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    WallScreen(AppContext& ctx, const DisplaySettings& settings, QWidget* parent);
    ~WallScreen() override;

    // Where the alarms come from.
    void watch(AlarmCore& core);
    // The crew's strength for the alarm on screen; on a hall screen without the names.
    void setCrew(CrewWatch* crew);
    // The vehicles' board, on the standby view and beside the alarm once it has a tile.
    void setVehicles(VehicleBoard* vehicles);
    // The map, which the wall screen then places; the standby view centres it on the station, and
    // without a station shows none.
    void setMap(ucGMap* map, std::optional<QPointF> station);
    // The ticker's rows, newest first.
    void setTicker(QAbstractItemModel* model);
    // Reads the calendar from the next turn of the event loop on, off the window's thread; called
    // once the window is built and the link opened.
    void readCalendar();
    // The bar of buttons that a movement of the pointer shows for a while.
    void setButtonBar(QWidget* bar);

    // The time of day; the system clock unless a test sets another, which may run `speed` times
    // as fast as the system's.
    void setClock(Clock clock, int speed = 1);

    void showAlarm(const StationAlarmPlan& plan, const QDateTime& received);
    void showStandby();
    [[nodiscard]] bool standbyShown() const { return m_standby; }
    void setDriveTime(const QString& text);
    // The nearest water sources around the incident, as the classic window's line; empty clears.
    void setWater(const QString& line);
    void linkStatus(bool connected);
    // The paths' states: the standby view lists them when there are several, and the head names
    // each path that is down or silent.
    void setPaths(const QList<PathStates::Path>& paths);
    void pointerMoved();
    // Brings every text of the time up to the clock, returns to standby when the alarm is old
    // enough, and sets the timer for the next change.
    void refresh();

    // The screen display.ini names, by Qt's name or number; a warning and the primary one when it
    // is not there.
    [[nodiscard]] static QScreen* chooseScreen(const QString& wanted);

    // The labels by the names of their boxes ("keyword", "since", "clock"...), for the pictures.
    [[nodiscard]] FittingLabel* label(const QString& name) const;
    [[nodiscard]] VehicleBoardView* board() const { return m_board; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The alarm's keyword, picture, address, remark and informant.
    void showFields(const StationAlarmPlan& plan);
    FittingLabel* makeLabel(QWidget* page, const char* name, Qt::Alignment alignment, const QColor& colour);
    void place();
    void showPage();
    void showStrength(const Strength::Count& count);
    [[nodiscard]] bool boardShown() const;
    void fillStandby();
    void countThisYear();
    void fillTicker();
    void fillAppointments();
    void placeMap();
    void centreOnStation();

    AppContext& m_ctx;
    DisplaySettings m_settings;
    Clock m_clock;
    int m_speed = 1;
    QWidget* m_alarmPage = nullptr;
    QWidget* m_standbyPage = nullptr;
    std::vector<std::pair<FittingLabel*, WallBox WallAlarmGeometry::*>> m_alarmBoxes;
    std::vector<std::pair<FittingLabel*, WallBox WallStandbyGeometry::*>> m_standbyBoxes;
    FittingLabel* m_head = nullptr;
    FittingLabel* m_headClock = nullptr;
    FittingLabel* m_keyword = nullptr;
    FittingLabel* m_picture = nullptr;
    FittingLabel* m_address = nullptr;
    FittingLabel* m_since = nullptr;
    FittingLabel* m_units = nullptr;
    FittingLabel* m_remark = nullptr; // none on a hall screen
    FittingLabel* m_informant = nullptr; // none on a hall screen
    FittingLabel* m_driveTime = nullptr;
    FittingLabel* m_water = nullptr;
    FittingLabel* m_answers = nullptr;
    FittingLabel* m_names = nullptr; // none on a hall screen
    FittingLabel* m_clockLabel = nullptr;
    FittingLabel* m_date = nullptr;
    FittingLabel* m_stationName = nullptr;
    FittingLabel* m_lastAlarm = nullptr;
    FittingLabel* m_status = nullptr;
    FittingLabel* m_appointments = nullptr;
    FittingLabel* m_ticker = nullptr;
    QPointer<ucGMap> m_map;
    std::optional<QPointF> m_station;
    QPointer<QAbstractItemModel> m_tickerModel;
    QPointer<CrewWatch> m_crew;
    VehicleBoardView* m_board = nullptr;
    QPointer<QWidget> m_bar;
    std::unique_ptr<CalendarWatch> m_calendar;
    QTimer m_tick;
    QTimer m_barShown;
    bool m_showsTest = false; // a test alarm ("Probealarm") is on the wall
    bool m_standby = true;
    bool m_linkUp = false;
    QList<PathStates::Path> m_paths;
    QString m_name; // the station's, in the head
    QString m_alarmClock; // the dispatch computer's time of the alarm, "19:42"
    QString m_lastKeyword;
    QDateTime m_received;
    int m_yearCount = 0;
    int m_countYear = 0;
};
