#include "alarm/Incident.h"

#include "alarm/AlarmCore.h"
#include "common/GeoPoint.h"
#include "map/Geocoder.h"
#include "map/MapViewState.h"
#include "route/RoutePlanner.h"

Incident::Incident(Geocoder& geocoder, QObject* parent)
    : QObject(parent)
    , m_geocoder(geocoder)
{
    connect(&m_geocoder, &Geocoder::answered, this, [this](quint64 id, const std::optional<QString>& found) {
        if (id == m_lookup)
            place(m_number, found);
    });
}

void Incident::follow(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarm, this, &Incident::open);
    connect(&core, &AlarmCore::stationAlarmMerged, this, &Incident::merge);
}

void Incident::setPlanner(RoutePlanner* planner)
{
    if (m_planner)
        disconnect(m_planner, nullptr, this, nullptr);
    m_planner = planner;
    if (!planner)
        return;
    connect(planner, &RoutePlanner::routeFound, this, [this](const Route& route) { takeRoute(route); });
    connect(planner, &RoutePlanner::routeFailed, this, [this] { takeRoute(std::nullopt); });
}

double Incident::routeFactor() const
{
    return m_planner ? m_planner->settings().factor : 1.0;
}

bool Incident::awaitsRoute() const
{
    return m_stage == Stage::Placed && m_position && m_planner;
}

void Incident::open(const StationAlarmPlan& plan, bool replay)
{
    const quint64 number = forget(Stage::Opened);
    m_replay = replay;
    m_sequence = replay ? 0 : ++m_liveAlarms;
    m_plan = plan;
    emit opened(plan, replay);
    placeOrLookUp(number);
}

void Incident::merge(const StationAlarmPlan& plan, quint64 sequence)
{
    if (!m_plan || m_replay || sequence == 0 || sequence != m_sequence)
        return;
    // Placed before at the alarm's own coordinates, or at an address that was found: that stands.
    // An address that was not there or not found is looked up anew with what the copy brought.
    const bool placeNew = !m_position && (plan.coordinates != m_plan->coordinates || plan.address != m_plan->address)
        && (plan.coordinates || !plan.address.trimmed().isEmpty());
    m_plan = plan;
    emit merged(plan);
    if (placeNew)
        placeOrLookUp(forget(Stage::Opened));
}

void Incident::placeOrLookUp(quint64 number)
{
    const StationAlarmPlan& plan = *m_plan;
    if (plan.coordinates) {
        // Told through the event loop all the same, after the alarm's first sound has started.
        QMetaObject::invokeMethod(
            this, [this, number, at = *plan.coordinates] { place(number, at); }, Qt::QueuedConnection);
        return;
    }
    m_lookup = m_geocoder.lookUp(plan.address);
}

void Incident::close()
{
    m_plan.reset();
    forget(Stage::Closed);
    emit closed();
}

quint64 Incident::forget(Stage next)
{
    // Answers still under way carry the older number and are dropped when they come.
    m_lookup = 0;
    m_stage = next;
    m_position.reset();
    m_centreText.clear();
    m_markerText.clear();
    m_route.reset();
    if (m_planner)
        m_planner->cancel();
    return ++m_number;
}

void Incident::place(quint64 incident, const std::optional<QString>& centre)
{
    if (incident != m_number || m_stage != Stage::Opened || !m_plan)
        return;
    m_lookup = 0;
    m_stage = Stage::Placed;
    if (centre) {
        MapViewState at;
        if (at.setCentreText(*centre) == MapViewState::CentreChange::Moved || at.centreText() == *centre) {
            m_centreText = *centre;
            // The position keeps the text's own precision. The alarm's own coordinates stand as the
            // dispatch computer sent them; an answer's marker is set as the map sets it.
            const QStringList latLng = centre->split(QLatin1Char(','));
            m_position = QPointF(latLng.value(1).toDouble(), latLng.value(0).toDouble());
            m_markerText = m_plan->coordinates ? *centre : GeoPoint { float(at.lat()), float(at.lng()) }.text();
        }
    }
    emit placed(m_position);
    if (m_position && m_planner && incident == m_number) {
        m_routeFor = incident;
        m_planner->plan(*m_position);
    }
}

void Incident::takeRoute(const std::optional<Route>& route)
{
    if (m_routeFor != m_number || m_stage != Stage::Placed)
        return;
    m_stage = Stage::Routed;
    m_route = route;
    emit routed(route);
}
