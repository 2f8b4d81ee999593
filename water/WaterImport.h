#pragma once

#include <QString>

#include <functional>

// `kessvenn --import-water`: reads the water sources of an OpenStreetMap extract (.osm.pbf or .osm)
// into the index. Nodes count at their place, ways and areas at the centre of their nodes. The
// index is written to a temporary file in the same folder and renamed over the old one only when
// complete, so that the running monitor never reads a half-written index and a failed import
// leaves the old one as it was.
namespace WaterImport {

struct Result {
    bool ok = false;
    qint64 nodesRead = 0;
    qint64 sources = 0;
    QString error;
};

// Told now and then while the nodes are read, and once at the end of each pass.
using Progress = std::function<void(qint64 nodesRead, qint64 sourcesFound)>;

[[nodiscard]] Result run(const QString& extract, const QString& indexPath, const Progress& progress = {});

} // namespace WaterImport
