#pragma once

#include <QList>
#include <QPointF>
#include <QString>

#include <optional>

// The way from the station to an incident, as a router found it.
struct Route {
    struct Step {
        QString street; // as the map data names it; empty for an unnamed road
        double meters = 0;
        bool operator==(const Step&) const = default;
    };

    QList<QPointF> points; // x longitude, y latitude; from the station to the incident
    double meters = 0;
    double seconds = 0;
    QList<Step> steps; // one per street, consecutive pieces of one street joined

    bool operator==(const Route&) const = default;
};

namespace RouteText {

// "Anfahrt 7 min · 4,2 km": the drive time times the factor, in whole minutes (at least 1), and the
// distance in kilometres with one decimal, written as Germans write them.
[[nodiscard]] QString summary(const Route& route, double factor);

// "Kampstraße 1,1 km" or "Hauptstraße 800 m"; an unnamed piece reads "Straße ohne Namen".
[[nodiscard]] QString step(const Route::Step& step);

// routino-router's --output-text-all table: every point with its segment's distance (km) and
// duration (min) and the highway's name. Nothing when it holds fewer than two points or a line
// that is not such a row.
[[nodiscard]] std::optional<Route> fromRoutino(const QByteArray& text);

// An OSRM /route/v1 answer with geometries=geojson and steps=true: the first route's line,
// distance, duration and the steps' names. Nothing for an answer whose code is not "Ok" or that
// lacks any of these.
[[nodiscard]] std::optional<Route> fromOsrm(const QByteArray& json);

} // namespace RouteText
