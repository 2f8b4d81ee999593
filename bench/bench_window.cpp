// The main window's own costs: one full repaint with an alarm on screen, one layout run on a
// resize, and fitting a long text into an alarm label (done on every paint of that label).
#include "app/FittingLabel.h"
#include "app/Form1.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "station/Station.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QResizeEvent>
#include <QTableWidget>

#include <benchmark/benchmark.h>

namespace {

const QString kRemark = QStringLiteral(
    "Anrufer sieht Rauch aus dem Dachfenster, eine Person vermutlich noch in der Wohnung. Zufahrt über die "
    "Hofeinfahrt, Hydrant vor dem Haus, Schlüssel beim Hausmeister im Erdgeschoss links.");

QLabel* label(Form1& form, int index)
{
    return form.findChild<QLabel*>(QStringLiteral("label_einsatz(%1)").arg(index));
}

void showAlarm(Form1& form)
{
    label(form, 1)->setText(QStringLiteral("B 3 - Brand Wohnhaus mit Menschenleben in Gefahr"));
    label(form, 2)->setText(QStringLiteral("Hauptstraße 12"));
    label(form, 3)->setText(QStringLiteral("80331 München / Altstadt"));
    label(form, 7)->setText(kRemark);
    for (const char* name : { "MSFlexGrid1", "Grid_Melder", "Grid_Status" }) {
        auto* grid = form.findChild<QTableWidget*>(QString::fromLatin1(name));
        grid->setColumnCount(3);
        grid->setRowCount(12);
        for (int r = 0; r < 12; ++r)
            for (int c = 0; c < 3; ++c)
                grid->setItem(r, c, new QTableWidgetItem(QStringLiteral("Zeile %1").arg(r)));
    }
}

void BM_RepaintWindow(benchmark::State& state)
{
    AppContext ctx;
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    showAlarm(form);
    form.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    QImage frame(form.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        form.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_RepaintWindow)->Args({ 1264, 936 })->Args({ 1920, 1080 })->Unit(benchmark::kMillisecond);

void BM_LayoutOnResize(benchmark::State& state)
{
    AppContext ctx;
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    bool wide = false;
    for (auto _ : state) {
        const QSize size = wide ? QSize(1920, 1080) : QSize(1264, 936);
        QResizeEvent event(size, form.size());
        QApplication::sendEvent(&form, &event);
        wide = !wide;
    }
}
BENCHMARK(BM_LayoutOnResize)->Unit(benchmark::kMicrosecond);

// A new text each time: the label searches the size that fits.
void BM_FitNewRemark(benchmark::State& state)
{
    AppContext ctx;
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    auto* remark = qobject_cast<FittingLabel*>(label(form, 7));
    const QString texts[2] = { kRemark, kRemark + QStringLiteral(" Zweiter Zugang über die Garage.") };
    int i = 0;
    for (auto _ : state) {
        remark->setText(texts[i ^= 1]);
        benchmark::DoNotOptimize(remark->fitted());
    }
}
BENCHMARK(BM_FitNewRemark)->Unit(benchmark::kMicrosecond);

// The same text painted again: the fit is remembered.
void BM_FitSameRemark(benchmark::State& state)
{
    AppContext ctx;
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    auto* remark = qobject_cast<FittingLabel*>(label(form, 7));
    remark->setText(kRemark);
    for (auto _ : state)
        benchmark::DoNotOptimize(remark->fitted());
}
BENCHMARK(BM_FitSameRemark)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
