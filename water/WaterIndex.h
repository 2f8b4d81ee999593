#pragma once

#include "water/WaterSource.h"

#include <QString>

#include <memory>
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

// An index opened for reading, as the file is at that moment. Its pages are read, never mapped: a
// file copied over in place (truncated, then written) while it is open is a broken index for the
// look-up that meets it, never a read beyond the file's end.
class Reader {
public:
    explicit Reader(const QString& path);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    [[nodiscard]] Answer nearby(QPointF incident, double radius = WaterNearby::Radius, int limit = 200);

private:
    struct Open;
    std::unique_ptr<Open> m_open;
    Answer m_failure; // why the file could not be opened, when it could not
};

// Writes the sources into a new index file at `path` (which must not exist yet); false with the
// reason in `error` when that failed.
[[nodiscard]] bool write(const QString& path, const std::vector<WaterSource>& sources, QString* error);

} // namespace WaterIndex
