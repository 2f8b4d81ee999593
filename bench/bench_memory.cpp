// Months without a restart: what a station alarm leaves behind in memory. The main window (or, with
// the second argument 1, the station without a window, as `kessvenn --headless` runs it) takes
// station alarms one after the other with everything on that keeps things per alarm: the tile map
// (a local tile server), the address search for the alarms without coordinates (the same server),
// the route (the real routino on a district of 14 × 22 km), the printout (a private CUPS
// scheduler) and the history. Each alarm waits for its printout, which waits for the maps and the
// route, and for the screen's tiles, so that what grows is what is kept, not what is queued. The
// incidents are spread over the district as a station's are, so that the map sees new places.
//
// The heap in use (after malloc_trim, so that the allocator's slack is not counted) and the
// resident set are taken after the first alarm, the 10th, the 50th and the last; the figure that counts is
// the growth per alarm after the first 50.
#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "announce/Announcer.h"
#include "announce/SoundOutput.h"
#include "app/Form1.h"
#include "bench/BenchDistrict.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "map/TileLoader.h"
#include "map/ucGMap.h"
#include "print/Printout.h"
#include "station/Station.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/PrivateCups.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSide = 40; // junctions a side, 550 m apart
constexpr double kStep = 0.005;
constexpr double kWest = 7.3, kSouth = 51.4;

// The loudspeakers: every sound taken at once.
class Silence : public SoundOutput {
public:
    bool open(const SoundFormat&) override { return true; }
    bool write(const void*, qint64) override { return true; }
    void drain() override { }
    void close() override { }
};

QByteArray tilePng(int shade)
{
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(200, 220 - shade % 40, 190));
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    tile.save(&bytes, "PNG");
    return bytes.data();
}

// Bytes the heap holds once the allocator has given back what it can: the small blocks in use and
// the large ones mapped on their own.
double heapBytes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

double residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    }
    return -1;
}

void BM_MemoryPerAlarm(benchmark::State& state)
{
    // KESSVENN_BENCH_ALARMS shortens the run, under a heap profiler for instance.
    const int alarms = qEnvironmentVariableIsSet("KESSVENN_BENCH_ALARMS")
        ? std::max(51, qEnvironmentVariableIntValue("KESSVENN_BENCH_ALARMS"))
        : int(state.range(0));
    const bool headless = state.range(1) != 0;
    constexpr int kSettled = 50;
    PrivateCups cups;
    if (!cups.started() || !cups.addQueue(QStringLiteral("Bench")))
        return state.SkipWithError("no private CUPS scheduler");
    QTemporaryDir dir;
    const QString data = prepareDistrict(dir, kSide, kStep, kWest, kSouth);
    if (data.isEmpty())
        return state.SkipWithError("planetsplitter could not prepare the district (is routino installed?)");
    // Tiles a little different from each other, as a server's are.
    QList<QByteArray> pngs;
    for (int i = 0; i < 8; ++i)
        pngs << tilePng(i * 5);
    QPointF searchAnswer;
    HttpResponder server([&](const HttpResponder::Request& request) {
        HttpResponder::Response answer;
        if (request.target.startsWith("/search")) {
            answer.contentType = "application/json";
            answer.body = QStringLiteral("[{\"lat\":\"%1\",\"lon\":\"%2\"}]")
                              .arg(searchAnswer.y(), 0, 'f', 6)
                              .arg(searchAnswer.x(), 0, 'f', 6)
                              .toUtf8();
        } else {
            answer.body = pngs.at(int(qHash(request.target) % 8));
            answer.extraHeaders.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=604800")));
        }
        return answer;
    });
    server.keepRequests = false;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString folder = dir.filePath(QStringLiteral("home/Torvelle"));
    QDir().mkpath(folder);
    QFile mapIni(folder + QStringLiteral("/map.ini"));
    QFile printIni(folder + QStringLiteral("/print.ini"));
    const QPointF station(kWest + kSide / 2 * kStep * 1.6, kSouth + kSide / 2 * kStep);
    if (!mapIni.open(QIODevice::WriteOnly) || !printIni.open(QIODevice::WriteOnly)
        || mapIni.write("provider=osm\ntiles=" + server.base() + "/{z}/{x}/{y}.png\nsearch=" + server.base()
               + QStringLiteral("\nstation=%1,%2\nroute=routino\nroute.data=")
                     .arg(station.y())
                     .arg(station.x())
                     .toUtf8()
               + QFile::encodeName(data) + "\n")
            < 0
        || printIni.write("printer=Bench\ncopies=1\nwait_seconds=30\n") < 0)
        return state.SkipWithError("cannot write the station's files");
    mapIni.close();
    printIni.close();

    AppContext ctx;
    ctx.ProgramFolder = dir.path();
    Station monitor(ctx, Station::Link::Idle);
    std::unique_ptr<Form1> form = headless ? nullptr : std::make_unique<Form1>(monitor);
    Announcer announcer(ctx, std::make_unique<Silence>());
    monitor.setAnnouncementOutput(&announcer);
    if (form) {
        form->show();
        form->load();
    } else {
        monitor.load();
    }
    int printed = 0, failed = 0, routes = 0;
    QObject::connect(&monitor.printout(), &Printout::printed, [&](const PrintResult& result) {
        ++printed;
        failed += result.jobId <= 0 || !result.warnings.isEmpty();
    });
    QObject::connect(&monitor.incident(), &Incident::routed,
        [&routes](const std::optional<Route>& route) { routes += route.has_value(); });
    auto* map = form ? form->findChild<ucGMap*>(QStringLiteral("ucGMap1")) : nullptr;

    quint32 seed = 4711;
    const auto next = [&seed](int below) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % quint32(below));
    };
    // One alarm to its end: printed, the route on screen or given up, the screen's tiles in.
    const auto alarm = [&](int n) {
        const QPointF incident(
            kWest + (1 + next(kSide - 2)) * kStep * 1.6 + 0.0003, kSouth + (1 + next(kSide - 2)) * kStep + 0.0002);
        // Every fourth alarm carries no coordinates: its address is looked up.
        const bool lookedUp = n % 4 == 0;
        searchAnswer = incident;
        const QString lat = lookedUp ? QString() : QString::number(incident.y(), 'f', 6).replace('.', ',');
        const QString lon = lookedUp ? QString() : QString::number(incident.x(), 'f', 6).replace('.', ',');
        const QString message = QStringLiteral("WACHALARM\tBrand\tEinsatz %1\tFeuer in Wohnung\tB3\t58095\tHagen\t"
                                               "Querstraße %2\t%1\tRauch aus Fenster\tMitte\tHaus\t3. OG\t\t"
                                               "ELW 1\aHLF 20\aDLK 23\a\t1\t%3\t%4\tHerr Meier")
                                    .arg(n)
                                    .arg(n % kSide)
                                    .arg(lat, lon);
        const int before = printed;
        monitor.core().HandleStationAlarm(message, 0);
        const auto giveUp = Clock::now() + std::chrono::seconds(60);
        const auto done
            = [&] { return printed > before && (!map || !map->tileLoader() || map->tileLoader()->running() == 0); };
        while (!done() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    };

    double heapFirst = 0, heapTenth = 0, heapSettled = 0, heapLast = 0, rssFirst = 0, rssTenth = 0, rssSettled = 0,
           rssLast = 0;
    const double heapStart = heapBytes(), rssStart = residentBytes();
    for (auto _ : state) {
        for (int n = 1; n <= alarms; ++n) {
            if (!alarm(n)) {
                state.SkipWithError("an alarm was not printed in time");
                return;
            }
            if (n == 1)
                heapFirst = heapBytes(), rssFirst = residentBytes();
            if (n == 10)
                heapTenth = heapBytes(), rssTenth = residentBytes();
            if (n == kSettled)
                heapSettled = heapBytes(), rssSettled = residentBytes();
        }
        heapLast = heapBytes(), rssLast = residentBytes();
    }
    // For a heap profiler: everything still held counts as left behind, nothing is torn down.
    if (qEnvironmentVariableIsSet("KESSVENN_BENCH_LEAVE")) {
        std::fprintf(stderr, "heap after 50 alarms %.0f, after %d alarms %.0f bytes\n", heapSettled, alarms, heapLast);
        cups.stop();
        _exit(0);
    }
    const double later = alarms - kSettled;
    state.counters["first_alarm_heap_MB"] = (heapFirst - heapStart) / 1e6;
    state.counters["first_alarm_rss_MB"] = (rssFirst - rssStart) / 1e6;
    state.counters["heap_after_50_MB"] = heapSettled / 1e6;
    state.counters["heap_at_end_MB"] = heapLast / 1e6;
    state.counters["rss_after_50_MB"] = rssSettled / 1e6;
    state.counters["rss_at_end_MB"] = rssLast / 1e6;
    // While the caches fill: from the 10th alarm to the 50th.
    state.counters["heap_KB_per_alarm_10_to_50"] = (heapSettled - heapTenth) / (kSettled - 10) / 1e3;
    state.counters["rss_KB_per_alarm_10_to_50"] = (rssSettled - rssTenth) / (kSettled - 10) / 1e3;
    state.counters["heap_KB_per_alarm_after_50"] = (heapLast - heapSettled) / later / 1e3;
    state.counters["rss_KB_per_alarm_after_50"] = (rssLast - rssSettled) / later / 1e3;
    state.counters["routes"] = routes;
    state.counters["printouts_with_warnings"] = failed;
}
BENCHMARK(BM_MemoryPerAlarm)
    ->ArgNames({ "alarms", "headless" })
    ->Args({ 500, 0 })
    ->Args({ 500, 1 })
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
