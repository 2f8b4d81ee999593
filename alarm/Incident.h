#pragma once

#include "alarm/AlarmPlan.h"
#include "route/Route.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

#include <optional>

class AlarmCore;
class Geocoder;
class RoutePlanner;

// The live station alarm as one incident: opened with its plan, then placed (the alarm's own
// coordinates, the address lookup's answer, or no place), then routed (the way from the station,
// or its failure) when a route planner is set and there is a place. Each step is told once per
// incident and always from the event loop, after the alarm's first sound has started. An answer
// that belongs to an older incident is dropped here, and only here. An alarm shown again from the
// history is no incident and never comes here.
class Incident : public QObject {
    Q_OBJECT

public:
    enum class Stage { Closed, Opened, Placed, Routed };

    // The geocoder must outlive the incident.
    explicit Incident(Geocoder& geocoder, QObject* parent = nullptr);

    // Opens an incident for every station alarm of the core (the start-up replay too).
    void follow(AlarmCore& core);
    // Where the way comes from; null: no route. Must outlive the incident or be set anew.
    void setPlanner(RoutePlanner* planner);
    // The drive time's factor of the route's settings; 1 without a planner.
    [[nodiscard]] double routeFactor() const;

    void open(const StationAlarmPlan& plan, bool replay);
    // A later copy filled fields of live station alarm `sequence` (AlarmCore::liveStationAlarms()):
    // when it is this incident's alarm, its plan becomes the merged one (merged()), and a place that
    // was unknown is looked up or taken from the copy's coordinates (placed, then routed again).
    void merge(const StationAlarmPlan& plan, quint64 sequence);
    // The alarm has left the screen (Ctrl+C): answers still under way are dropped.
    void close();

    [[nodiscard]] bool isPlaced() const { return m_stage == Stage::Placed || m_stage == Stage::Routed; }
    // Placed at a position and a route is asked for, but not known yet.
    [[nodiscard]] bool awaitsRoute() const;
    // The start-up replay of last.dat, no new alarm.
    [[nodiscard]] bool isReplay() const { return m_replay; }
    [[nodiscard]] const std::optional<StationAlarmPlan>& plan() const { return m_plan; }
    // x longitude, y latitude; nothing before placing or when no place was found.
    [[nodiscard]] const std::optional<QPointF>& position() const { return m_position; }
    // The map's centre and the marker's place as texts ("lat,lng"); empty without a position.
    [[nodiscard]] const QString& centreText() const { return m_centreText; }
    [[nodiscard]] const QString& markerText() const { return m_markerText; }
    [[nodiscard]] const std::optional<Route>& route() const { return m_route; }

signals:
    void opened(const StationAlarmPlan& plan, bool replay);
    // The incident's alarm with what a later copy filled in.
    void merged(const StationAlarmPlan& plan);
    void placed(const std::optional<QPointF>& position);
    // The way to the incident, or nothing when the planner failed.
    void routed(const std::optional<Route>& route);
    void closed();

private:
    // Leaves the followed alarm's place and way behind and numbers the next; returns that number.
    quint64 forget(Stage next);
    // The alarm's coordinates, or the lookup of its address.
    void placeOrLookUp(quint64 number);
    void place(quint64 incident, const std::optional<QString>& centre);
    void takeRoute(const std::optional<Route>& route);

    Geocoder& m_geocoder;
    QPointer<RoutePlanner> m_planner;
    // Counts the incidents: every answer carries the number of the one it was asked for.
    quint64 m_number = 0;
    quint64 m_lookup = 0;
    quint64 m_routeFor = 0;
    Stage m_stage = Stage::Closed;
    bool m_replay = false;
    // The live station alarms opened, and the one this incident follows (0: the replay, or none).
    quint64 m_liveAlarms = 0;
    quint64 m_sequence = 0;
    std::optional<StationAlarmPlan> m_plan;
    std::optional<QPointF> m_position;
    QString m_centreText;
    QString m_markerText;
    std::optional<Route> m_route;
};
