// How soon the alarm is on paper: from the last byte of a station-alarm frame to its job in the
// queue of a private CUPS scheduler, with the map tiles of the incident in the disk cache already
// (a local tile server filled it before the measured alarms). Each alarm gets a fresh printout,
// so the tiles come from the disk, not from memory.
#include "alarm/AlarmCore.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "config/Configuration.h"
#include "config/StationSettings.h"
#include "link/MessageReceiver.h"
#include "print/Printout.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/PrivateCups.h"

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray tilePng()
{
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(200, 220, 190));
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    tile.save(&bytes, "PNG");
    return bytes.data();
}

void BM_AlarmFrameToCupsJob(benchmark::State& state)
{
    PrivateCups cups;
    if (!cups.started() || !cups.addQueue(QStringLiteral("Bench")))
        return state.SkipWithError("no private CUPS scheduler");
    const QByteArray png = tilePng();
    HttpResponder tiles([&](const HttpResponder::Request&) {
        HttpResponder::Response answer;
        answer.body = png;
        return answer;
    });
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    AppContext ctx;
    StationSettings record;
    ctx.DataFolder = dir.path();
    ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
    QFile printIni(dir.filePath(QStringLiteral("print.ini")));
    QFile mapIni(dir.filePath(QStringLiteral("map.ini")));
    if (!printIni.open(QIODevice::WriteOnly) || !mapIni.open(QIODevice::WriteOnly))
        return state.SkipWithError("cannot write the station's files");
    printIni.write("printer=Bench\ncopies=1\nwait_seconds=60\n");
    mapIni.write("provider=osm\ntiles=" + tiles.base() + "/{z}/{x}/{y}.png\n");
    printIni.close();
    mapIni.close();
    // The station's configuration, as the Station hands it to its printout.
    Configuration config;
    config.load(dir.path());
    const MapConfig map = MapConfig::from(config.values(ConfigFile::Map));
    const std::optional<PrintSettings> settings = PrintSettings::from(config.values(ConfigFile::Print));
    AlarmCore core(ctx, record);
    MessageReceiver receiver(core);
    const QString message
        = QStringLiteral("WACHALARM\tAlarm\tZug 1\tFeuer\tB3 Wohnungsbrand\t58095\tHagen\tElberfelder "
                         "Straße\t12\tRauch\tMitte\tHaus\t\t\tELW 1\aHLF 20\a\t1\t51,3594\t7,4738\tMeier");
    const QByteArray frame = MessageReceiver::frame(message);

    // One alarm through a fresh printout; the time from the frame's last byte to its job.
    const auto printOnce = [&]() -> std::optional<double> {
        Printout printout(ctx, record);
        printout.setMapConfig([map] { return map; });
        printout.setSettings(settings);
        printout.watch(core);
        std::optional<PrintResult> result;
        QObject::connect(&printout, &Printout::printed, [&](const PrintResult& r) { result = r; });
        receiver.ReceiveChunk(QByteArrayView(frame).first(frame.size() - 1));
        const auto t0 = Clock::now();
        receiver.ReceiveChunk(QByteArrayView(frame).last(1));
        const auto giveUp = t0 + std::chrono::seconds(60);
        while (!result && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!result || result->jobId <= 0 || !result->warnings.isEmpty())
            return std::nullopt;
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    // The first alarm fills the disk cache; it is not counted.
    if (!printOnce())
        return state.SkipWithError("the first printout did not reach the queue whole");
    const qsizetype warmRequests = tiles.requests().size();
    for (auto _ : state) {
        const std::optional<double> seconds = printOnce();
        if (!seconds) {
            state.SkipWithError("the printout did not reach the queue whole");
            break;
        }
        state.SetIterationTime(*seconds);
    }
    state.counters["tile_requests_after_warm_up"] = double(tiles.requests().size() - warmRequests);
}
BENCHMARK(BM_AlarmFrameToCupsJob)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
