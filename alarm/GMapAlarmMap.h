#pragma once

#include "alarm/AlarmMap.h"

class ucGMap;

// The station alarm's map: the window's map control.
class GMapAlarmMap : public AlarmMap {
    Q_OBJECT

public:
    explicit GMapAlarmMap(ucGMap& map, QObject* parent = nullptr);

    void setGPoint(const QString& coordinates) override;
    void DelMarker() override;
    void AddMarker(const QString& position, int colour, const QString& markerChar) override;
    void setRoute(const QList<QPointF>& points) override;
    void Refresh() override;

private:
    ucGMap& m_map;
};
