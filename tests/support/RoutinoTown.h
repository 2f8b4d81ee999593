#pragma once

#include <QPointF>
#include <QString>

// A small town for the real routino: Hauptstraße (primary) runs east from the station to
// Kampstraße (residential), which runs north to the incident; a track would be shorter but is no
// road for a fire engine. The quickest way: Hauptstraße 1.4 km, Kampstraße 2.2 km, about 4 min.
namespace RoutinoTown {

inline const QPointF Station(7.40, 51.50); // x longitude, y latitude
inline const QPointF Incident(7.42, 51.52);

// Writes the town's OpenStreetMap file into the folder and prepares it with planetsplitter; the
// folder of the routing data, or empty when routino is missing or failed.
[[nodiscard]] QString prepare(const QString& folder);

} // namespace RoutinoTown
