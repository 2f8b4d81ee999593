#include "alarm/GMapAlarmMap.h"

#include "map/ucGMap.h"

GMapAlarmMap::GMapAlarmMap(ucGMap& map, QObject* parent)
    : AlarmMap(parent)
    , m_map(map)
{
    connect(&m_map, &ucGMap::locationLookupFinished, this, &AlarmMap::locationLookupFinished);
}

void GMapAlarmMap::setGPoint(const QString& coordinates)
{
    m_map.setGPoint(coordinates);
}

void GMapAlarmMap::SetCenterToTextLocation(const QString& address)
{
    m_map.SetCenterToTextLocation(address);
}

double GMapAlarmMap::Lat() const
{
    return m_map.Lat();
}

double GMapAlarmMap::Lng() const
{
    return m_map.Lng();
}

void GMapAlarmMap::DelMarker()
{
    m_map.DelMarker();
}

void GMapAlarmMap::AddMarker(const QString& position, int colour, const QString& markerChar)
{
    m_map.AddMarker(position, colour, markerChar);
}

void GMapAlarmMap::Refresh()
{
    m_map.Refresh();
}
