#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

// What the alarm display asks of the map: a centre from a coordinate text, the incident marker and
// the route's line. The program puts the map control behind it.
class AlarmMap : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setGPoint(const QString& coordinates) = 0;
    virtual void DelMarker() = 0;
    virtual void AddMarker(const QString& position, int colour, const QString& markerChar) = 0;
    // x longitude, y latitude; an empty list takes the line away.
    virtual void setRoute(const QList<QPointF>& points) = 0;
    virtual void Refresh() = 0;
};
