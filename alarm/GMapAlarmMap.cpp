#include "alarm/GMapAlarmMap.h"

#include "map/ucGMap.h"

GMapAlarmMap::GMapAlarmMap(ucGMap& map, QObject* parent)
    : AlarmMap(parent)
    , m_map(map)
{
}

void GMapAlarmMap::setGPoint(const QString& coordinates)
{
    m_map.setGPoint(coordinates);
}

void GMapAlarmMap::DelMarker()
{
    m_map.DelMarker();
}

void GMapAlarmMap::AddMarker(const QString& position, int colour, const QString& markerChar)
{
    m_map.AddMarker(position, colour, markerChar);
}

void GMapAlarmMap::setRoute(const QList<QPointF>& points)
{
    m_map.setRoute(points);
}

void GMapAlarmMap::Refresh()
{
    m_map.Refresh();
}
