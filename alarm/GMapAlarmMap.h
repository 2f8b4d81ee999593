#pragma once

#include "alarm/AlarmMap.h"

class ucGMap;

// The station alarm's map: the window's map control.
class GMapAlarmMap : public AlarmMap {
    Q_OBJECT

public:
    explicit GMapAlarmMap(ucGMap& map, QObject* parent = nullptr);

    void setGPoint(const QString& coordinates) override;
    void SetCenterToTextLocation(const QString& address) override;
    [[nodiscard]] double Lat() const override;
    [[nodiscard]] double Lng() const override;
    void DelMarker() override;
    void AddMarker(const QString& position, int colour, const QString& markerChar) override;
    void Refresh() override;

private:
    ucGMap& m_map;
};
