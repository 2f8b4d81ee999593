#pragma once

#include "water/WaterSource.h"

#include <QString>

#include <vector>

// The index file of the water sources: an SQLite database with one row per source and an R*Tree
// over their positions. Written whole by the import, only read by the monitor.
namespace WaterIndex {

constexpr int SchemaVersion = 1;
inline const QString DefaultPath = QStringLiteral("/var/lib/kessvenn/water.sqlite");

// How far an index could be read.
enum class State { Missing, Unreadable, Broken, Read };

struct Answer {
    State state = State::Missing;
    QString error; // why a broken index could not be read
    WaterNearby nearby;
};

// The sources within `radius` metres of the incident (x longitude, y latitude), nearest first, at
// most `limit`. The file is opened read-only for this one question, so that an index renamed over
// the old one counts from the next alarm on. Safe on any thread.
[[nodiscard]] Answer nearby(
    const QString& path, QPointF incident, double radius = WaterNearby::Radius, int limit = 200);

// Writes the sources into a new index file at `path` (which must not exist yet); false with the
// reason in `error` when that failed.
[[nodiscard]] bool write(const QString& path, const std::vector<WaterSource>& sources, QString* error);

} // namespace WaterIndex
