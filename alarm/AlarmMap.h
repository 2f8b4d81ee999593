#pragma once

#include <QObject>
#include <QString>

// What the station alarm asks of the map: a centre from a coordinate text, an address lookup that
// answers later, and the incident marker. The program puts the map control behind it.
class AlarmMap : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setGPoint(const QString& coordinates) = 0;

    // Starts looking up the address and returns at once; locationLookupFinished follows. A newer
    // lookup replaces a running one, which then reports nothing.
    virtual void SetCenterToTextLocation(const QString& address) = 0;
    [[nodiscard]] virtual double Lat() const = 0;
    [[nodiscard]] virtual double Lng() const = 0;

    virtual void DelMarker() = 0;
    virtual void AddMarker(const QString& position, int colour, const QString& markerChar) = 0;
    virtual void Refresh() = 0;

signals:
    // found: the centre was set from the answer.
    void locationLookupFinished(bool found);
};
