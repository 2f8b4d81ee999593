#pragma once

#include "alarm/AlarmMap.h"

#include <QString>

// A map that notes its centre, its marker and the number of points of its route line.
struct RecordingMap final : AlarmMap {
    QString centre, marker;
    qsizetype routePoints = 0;
    void setGPoint(const QString& c) override { centre = c; }
    void DelMarker() override { marker.clear(); }
    void AddMarker(const QString& position, int, const QString&) override { marker = position; }
    void setRoute(const QList<QPointF>& points) override { routePoints = points.size(); }
    void Refresh() override { }
};
