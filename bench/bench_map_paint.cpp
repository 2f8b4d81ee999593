#include "bench/BenchMain.h"
#include "map/ucGMap.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

// A map-like 640 × 640 picture: streets on a tinted ground, so that smooth scaling has edges to blend.
QByteArray mapPicture()
{
    QImage image(640, 640, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xEF, 0xE9));
    QPainter p(&image);
    p.setPen(QPen(Qt::white, 9));
    for (int i = 0; i < 640; i += 37) {
        p.drawLine(i, 0, 640 - i, 640);
        p.drawLine(0, i, 640, (i * 7) % 640);
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (bytes.size() < 8000)
        bytes.append(8000 - bytes.size(), '\0');
    return bytes;
}

// One frame: the control paints its 640 × 640 image stretched over 1920 × 1080.
void BM_PaintStretched(benchmark::State& state)
{
    ucGMap map;
    map.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!map.LoadMapPicture(mapPicture())) {
        state.SkipWithError("picture not accepted");
        return;
    }
    QImage frame(map.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        map.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PaintStretched)->Args({ 1920, 1080 })->Args({ 640, 640 })->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
