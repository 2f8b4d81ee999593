#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

class ConfigValues;

// The route's keys in map.ini: "station" (latitude,longitude in decimal degrees, where the crews
// leave from), "route" ("routino" for the offline router, an OSRM server's address, absent: no
// route), "route.data" (the folder that planetsplitter wrote), "route.profile" (routino's
// transport, OSRM's profile) and "route.factor" (the drive time is multiplied by it). A value that
// cannot be used is a warning naming the file and the line, and leaves the route off.
struct RouteSettings {
    enum class Engine { None, Routino, Osrm };

    Engine engine = Engine::None;
    std::optional<QPointF> station; // x longitude, y latitude
    QString osrm; // the server's address without a trailing slash
    QString data;
    QString profile; // empty: motorcar for routino, driving for OSRM
    double factor = 1.0;

    [[nodiscard]] bool active() const { return engine != Engine::None && station.has_value(); }
    bool operator==(const RouteSettings&) const = default;

    // The route's keys of map.ini's values. A problem with any of them leaves the route off.
    [[nodiscard]] static RouteSettings from(const ConfigValues& values);
};
