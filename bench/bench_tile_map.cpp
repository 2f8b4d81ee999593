#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "map/MapTiles.h"
#include "map/TileLoader.h"
#include "map/ucGMap.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QNetworkDiskCache>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Nothing listens there: every tile must come from the disk cache, which holds them fresh.
const QString kTiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
const QString kCentre = QStringLiteral("48.1,11.5");
constexpr int kZoom = 16;

// A map-like tile: streets on a tinted ground, as a PNG of typical size.
QByteArray tilePng(int seed)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xEF, 0xE9));
    QPainter p(&image);
    p.setPen(QPen(Qt::white, 7));
    for (int i = seed % 31; i < 256; i += 31) {
        p.drawLine(i, 0, 256 - i, 256);
        p.drawLine(0, i, 256, (i * 7) % 256);
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The user's cache folder in a temporary place, filled with the tiles of the view as the tile
// server would have left them there: fresh for a week.
struct Station {
    QTemporaryDir cache, data;
    AppContext ctx;

    explicit Station(QSize size)
    {
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        ctx.DataFolder = data.path();
        QFile ini(data.filePath(QStringLiteral("map.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("provider=osm\ntiles=" + kTiles.toUtf8() + "\n");
        ini.close();
        ucGMap probe; // the view's pixel centre
        probe.setGZoom(kZoom);
        probe.setGPoint(kCentre);
        QNetworkDiskCache disk;
        disk.setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/tiles");
        for (const MapTiles::Placement& t : MapTiles::cover(probe.GCenterPxlX(), probe.GCenterPxlY(), kZoom, size)) {
            QNetworkCacheMetaData meta;
            meta.setUrl(QUrl(MapTiles::tileUrl(kTiles, t.z, t.x, t.y)));
            meta.setSaveToDisk(true);
            meta.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(7));
            meta.setRawHeaders({ { "Content-Type", "image/png" } });
            meta.setAttributes({ { QNetworkRequest::HttpStatusCodeAttribute, 200 },
                { QNetworkRequest::HttpReasonPhraseAttribute, QByteArray("OK") } });
            QIODevice* device = disk.prepare(meta);
            device->write(tilePng(t.x + t.y));
            disk.insert(device);
        }
    }
};

// Shows the view in a new control (nothing in memory) and waits until every tile has come.
bool showView(ucGMap& map, AppContext& ctx, QSize size)
{
    map.resize(size);
    map.setGZoom(kZoom);
    map.setGPoint(kCentre);
    map.setContext(&ctx, nullptr);
    map.setConfig(MapConfig::from(ConfigValues::read(ctx.DataFolder, ConfigFile::Map)));
    map.Refresh();
    const QDeadlineTimer deadline(20000);
    while (map.tileLoader()->running() > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return map.tileLoader()->running() == 0;
}

// One frame of a full-screen tile view whose tiles are all in memory.
void BM_PaintTilesFromMemory(benchmark::State& state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    Station station(size);
    ucGMap map;
    if (!showView(map, station.ctx, size)) {
        state.SkipWithError("tiles did not come");
        return;
    }
    QImage frame(size, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        map.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    if (QColor(frame.pixel(size.width() / 2, size.height() / 2)) == QColor(0xE0, 0xDF, 0xDB))
        state.SkipWithError("the middle tile is missing");
}
BENCHMARK(BM_PaintTilesFromMemory)->Args({ 1920, 1080 })->UseRealTime()->Unit(benchmark::kMillisecond);

// A new view of the station's area with the network down: every tile read from the disk cache,
// decoded and painted.
void BM_ShowTilesFromDiskCache(benchmark::State& state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    Station station(size);
    QImage frame(size, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        ucGMap map;
        if (!showView(map, station.ctx, size)) {
            state.SkipWithError("tiles did not come");
            return;
        }
        map.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    if (QColor(frame.pixel(size.width() / 2, size.height() / 2)) == QColor(0xE0, 0xDF, 0xDB))
        state.SkipWithError("the middle tile is missing");
}
BENCHMARK(BM_ShowTilesFromDiskCache)->Args({ 1920, 1080 })->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
