#pragma once

#include "alarm/AlarmMap.h"

#include <QString>

// A map that answers a lookup with lat and lng when the test says so, centring itself as the map
// control does, and notes its centre and marker.
struct RecordingMap final : AlarmMap {
    QString centre, marker;
    double lat = 0, lng = 0;
    void setGPoint(const QString& c) override { centre = c; }
    void SetCenterToTextLocation(const QString&) override { }
    double Lat() const override { return lat; }
    double Lng() const override { return lng; }
    void DelMarker() override { marker.clear(); }
    void AddMarker(const QString& position, int, const QString&) override { marker = position; }
    void Refresh() override { }
};
