// The water sources of a large district: importing an extract of one million sources with the real
// program (time and peak memory), and the look-up of the nearest sources around an incident.
#include "bench/BenchMain.h"
#include "water/WaterIndex.h"

#include <osmium/builder/attr.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>
#include <osmium/memory/buffer.hpp>

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int kNodeSources = 990'000;
constexpr int kPonds = 10'000; // ways of four nodes each
constexpr int kPlainNodes = 2'000'000; // streets, buildings: read and passed over
// A square of about 100 km: a hundred sources a square kilometre, as in a town.
constexpr double kSouth = 51.0, kWest = 7.0, kSpan = 0.9;

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// A PBF extract written once with libosmium: hydrants of every kind, ponds as areas, plain nodes.
const QString& extract()
{
    static const QString path = folder().filePath(QStringLiteral("district.osm.pbf"));
    static bool written = false;
    if (written)
        return path;
    written = true;
    using namespace osmium::builder::attr;
    QRandomGenerator random(4750);
    const auto place = [&random] {
        return osmium::Location(
            kWest + random.generateDouble() * kSpan * 1.6, kSouth + random.generateDouble() * kSpan);
    };
    osmium::io::Writer writer(QFile::encodeName(path).toStdString(), osmium::io::overwrite::allow);
    const char* const types[] = { "underground", "pillar", "wall", "pipe" };
    const char* const diameters[] = { "80", "100", "DN 150", "unbekannt" };
    osmium::object_id_type id = 0;
    osmium::memory::Buffer buffer(1 << 20, osmium::memory::Buffer::auto_grow::yes);
    const auto flush = [&] {
        if (buffer.committed() > (8 << 20)) {
            writer(std::move(buffer));
            buffer = osmium::memory::Buffer(1 << 20, osmium::memory::Buffer::auto_grow::yes);
        }
    };
    for (int i = 0; i < kNodeSources + kPlainNodes + 4 * kPonds; ++i) {
        ++id;
        if (i < kNodeSources) {
            osmium::builder::add_node(buffer, _id(id), _version(1), _location(place()),
                _tag("emergency", i % 50 == 0 ? "water_tank" : "fire_hydrant"), _tag("fire_hydrant:type", types[i % 4]),
                _tag("fire_hydrant:diameter", diameters[i % 4]), _tag("ref", std::to_string(i)));
        } else {
            osmium::builder::add_node(buffer, _id(id), _version(1), _location(place()));
        }
        flush();
    }
    const osmium::object_id_type firstPondNode = kNodeSources + kPlainNodes + 1;
    for (int i = 0; i < kPonds; ++i) {
        const osmium::object_id_type n = firstPondNode + 4 * i;
        osmium::builder::add_way(buffer, _id(i + 1), _version(1), _nodes({ n, n + 1, n + 2, n + 3, n }),
            _tag("emergency", "fire_water_pond"));
        flush();
    }
    writer(std::move(buffer));
    writer.close();
    return path;
}

const QString& index()
{
    static const QString path = folder().filePath(QStringLiteral("water.sqlite"));
    return path;
}

// The real program's import, as the station runs it; the child's peak memory from the kernel.
void BM_ImportMillionSources(benchmark::State& state)
{
    const QString& input = extract();
    qint64 sources = 0;
    for (auto _ : state) {
        QProcess program;
        program.start(QStringLiteral(KESSVENN_MONITOR), { QStringLiteral("--import-water"), input, index() });
        program.waitForFinished(-1);
        if (program.exitCode() != 0) {
            state.SkipWithError("the import failed");
            return;
        }
        const QList<QByteArray> last = program.readAllStandardOutput().trimmed().split('\n');
        sources = last.last().split(' ').first().toLongLong();
    }
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["sources"] = double(sources);
    state.counters["peak_rss_MiB"] = double(usage.ru_maxrss) / 1024;
    state.counters["cpu_s"] = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
BENCHMARK(BM_ImportMillionSources)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The nearest sources around an incident anywhere in the district, the index opened for each
// look-up as the monitor does.
void BM_NearestThree(benchmark::State& state)
{
    if (!QFile::exists(index()))
        BM_ImportMillionSources(state);
    QRandomGenerator random(112);
    qint64 found = 0;
    for (auto _ : state) {
        const QPointF incident(kWest + 0.1 + random.generateDouble() * (kSpan * 1.6 - 0.2),
            kSouth + 0.1 + random.generateDouble() * (kSpan - 0.2));
        const WaterIndex::Answer answer = WaterIndex::nearby(index(), incident);
        if (answer.state != WaterIndex::State::Read) {
            state.SkipWithError("the index could not be read");
            return;
        }
        found += answer.nearby.sources.size();
        benchmark::DoNotOptimize(answer.nearby.line());
    }
    state.counters["sources_within_500m"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_NearestThree)->Unit(benchmark::kMillisecond)->Iterations(500);

// The same look-up in an index of five sources: what opening the file and asking costs by itself.
void BM_NearestInTinyIndex(benchmark::State& state)
{
    const QString path = folder().filePath(QStringLiteral("tiny.sqlite"));
    std::vector<WaterSource> few;
    for (int i = 0; i < 5; ++i)
        few.push_back({ WaterKind::Underground, 100, {}, 'n', i + 1, 51.5 + i * 0.001, 7.4 });
    if (!QFile::exists(path) && !WaterIndex::write(path, few, nullptr)) {
        state.SkipWithError("the index could not be written");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(WaterIndex::nearby(path, QPointF(7.4, 51.5)).nearby.line());
}
BENCHMARK(BM_NearestInTinyIndex)->Unit(benchmark::kMillisecond)->Iterations(500);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
