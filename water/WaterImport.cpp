#include "water/WaterImport.h"

#include "water/WaterIndex.h"

#include <osmium/handler.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/way.hpp>
#include <osmium/visitor.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <tuple>
#include <vector>

#include <unistd.h>

namespace {

constexpr qint64 kProgressEvery = 1 << 20;

// The diameter keys in the order they are asked; the first usable value counts.
constexpr const char* kDiameterKeys[] = { "fire_hydrant:diameter", "diameter", "fire_hydrant:diameter:mm" };

std::optional<WaterSource> sourceOf(const osmium::OSMObject& object)
{
    const osmium::TagList& tags = object.tags();
    const auto tag = [&tags](const char* key) {
        const char* value = tags.get_value_by_key(key);
        return std::string_view(value ? value : "");
    };
    const std::optional<WaterKind> kind
        = Water::classify(tag("emergency"), tag("fire_hydrant:type"), tag("amenity"), tag("water_source"));
    if (!kind)
        return std::nullopt;
    WaterSource source;
    source.kind = *kind;
    for (const char* key : kDiameterKeys) {
        if (const char* value = tags.get_value_by_key(key)) {
            source.diameterMm = Water::diameterFromText(value);
            break;
        }
    }
    source.ref = QString::fromUtf8(tag("ref"));
    source.osmId = object.id();
    return source;
}

// The first pass: the ways that are water sources, and the nodes they need.
struct WayPass : osmium::handler::Handler {
    std::vector<WaterSource> ways;
    std::vector<std::vector<osmium::object_id_type>> wayNodes;
    std::vector<osmium::object_id_type> wanted;

    void way(const osmium::Way& way)
    {
        std::optional<WaterSource> source = sourceOf(way);
        if (!source)
            return;
        source->osmType = 'w';
        std::vector<osmium::object_id_type> ids;
        for (const osmium::NodeRef& ref : way.nodes())
            ids.push_back(ref.ref());
        // An area's ring ends where it began; its first node counts once.
        if (ids.size() > 1 && ids.front() == ids.back())
            ids.pop_back();
        wanted.insert(wanted.end(), ids.begin(), ids.end());
        ways.push_back(*source);
        wayNodes.push_back(std::move(ids));
    }
};

// The second pass: the nodes that are water sources, and the places of the ways' nodes.
struct NodePass : osmium::handler::Handler {
    const std::vector<osmium::object_id_type>& wanted; // sorted, unique
    std::vector<osmium::Location> places; // parallel to wanted
    std::vector<WaterSource>& sources;
    const WaterImport::Progress& progress;
    qint64 nodesRead = 0;

    NodePass(const std::vector<osmium::object_id_type>& w, std::vector<WaterSource>& s, const WaterImport::Progress& p)
        : wanted(w)
        , places(w.size())
        , sources(s)
        , progress(p)
    {
    }

    void node(const osmium::Node& node)
    {
        if (++nodesRead % kProgressEvery == 0 && progress)
            progress(nodesRead, qint64(sources.size()));
        const osmium::Location location = node.location();
        if (!location.valid())
            return;
        const auto at = std::lower_bound(wanted.begin(), wanted.end(), node.id());
        if (at != wanted.end() && *at == node.id())
            places[std::size_t(at - wanted.begin())] = location;
        if (node.tags().empty())
            return;
        if (std::optional<WaterSource> source = sourceOf(node)) {
            source->lat = location.lat();
            source->lon = location.lon();
            sources.push_back(*source);
        }
    }
};

} // namespace

namespace WaterImport {

Result run(const QString& extract, const QString& indexPath, const Progress& progress)
{
    Result result;
    const QFileInfo target(indexPath);
    if (!QDir().mkpath(target.absolutePath())) {
        result.error = QStringLiteral("the folder %1 cannot be made").arg(target.absolutePath());
        return result;
    }
    if (!QFileInfo(extract).isReadable()) {
        result.error = QStringLiteral("%1 cannot be read").arg(extract);
        return result;
    }
    std::vector<WaterSource> sources;
    try {
        const osmium::io::File file(QFile::encodeName(extract).toStdString());
        WayPass ways;
        {
            osmium::io::Reader reader(file, osmium::osm_entity_bits::way);
            osmium::apply(reader, ways);
            reader.close();
        }
        std::vector<osmium::object_id_type> wanted = ways.wanted;
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        NodePass nodes(wanted, sources, progress);
        {
            osmium::io::Reader reader(file, osmium::osm_entity_bits::node);
            osmium::apply(reader, nodes);
            reader.close();
        }
        result.nodesRead = nodes.nodesRead;
        // A way stands at the centre of its nodes' places; one whose nodes are all outside the
        // extract is left out.
        for (std::size_t i = 0; i < ways.ways.size(); ++i) {
            double lat = 0, lon = 0;
            int counted = 0;
            for (const osmium::object_id_type id : ways.wayNodes[i]) {
                const auto at = std::lower_bound(wanted.begin(), wanted.end(), id);
                const osmium::Location& place = nodes.places[std::size_t(at - wanted.begin())];
                if (!place.valid())
                    continue;
                lat += place.lat();
                lon += place.lon();
                ++counted;
            }
            if (counted == 0)
                continue;
            WaterSource source = ways.ways[i];
            source.lat = lat / counted;
            source.lon = lon / counted;
            sources.push_back(source);
        }
    } catch (const std::exception& e) {
        result.error = QStringLiteral("%1 could not be read: %2").arg(extract, QString::fromLocal8Bit(e.what()));
        return result;
    }
    // Neighbours on the same pages of the file: a look-up then reads a few pages, not one per source.
    const auto cell
        = [](const WaterSource& s) { return std::pair(int(std::floor(s.lat * 50)), int(std::floor(s.lon * 50))); };
    std::sort(sources.begin(), sources.end(), [&cell](const WaterSource& a, const WaterSource& b) {
        return std::tuple(cell(a), a.lat, a.lon) < std::tuple(cell(b), b.lat, b.lon);
    });
    result.sources = qint64(sources.size());
    if (progress)
        progress(result.nodesRead, result.sources);

    const QString temporary
        = target.absoluteFilePath() + QStringLiteral(".new-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    QString error;
    if (!WaterIndex::write(temporary, sources, &error)) {
        QFile::remove(temporary);
        result.error = QStringLiteral("%1 could not be written: %2").arg(temporary, error);
        return result;
    }
    // On disk before it takes the old index's place, so that a power cut leaves one or the other.
    {
        QFile written(temporary);
        if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0) {
            QFile::remove(temporary);
            result.error = QStringLiteral("%1 could not be synced").arg(temporary);
            return result;
        }
    }
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target.absoluteFilePath()).constData())
        != 0) {
        QFile::remove(temporary);
        result.error = QStringLiteral("%1 could not be replaced").arg(target.absoluteFilePath());
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace WaterImport
