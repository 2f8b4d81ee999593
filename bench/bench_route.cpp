// The way to the incident with routino on a map of a district's size: a grid of 700 × 700
// junctions 100 m apart (70 km × 70 km, 490,000 nodes, 1,400 named streets, every tenth a main road),
// prepared once by planetsplitter, then routes from the station at one corner to incidents spread
// over the district.
#include "app/Form1.h"
#include "bench/BenchDistrict.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "route/RoutePlanner.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

constexpr int kSide = 700;
constexpr double kStep = 0.0009; // about 100 m of latitude

void BM_RoutinoDistrict(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString data = prepareDistrict(dir, kSide, kStep);
    if (data.isEmpty())
        return state.SkipWithError("planetsplitter could not prepare the district (is routino installed?)");
    RouteSettings settings;
    settings.engine = RouteSettings::Engine::Routino;
    settings.station = QPointF(7.3, 51.4);
    settings.data = data;
    RoutePlanner planner(settings);
    int n = 0;
    double km = 0;
    for (auto _ : state) {
        ++n;
        // Incidents from near the station to the far corner.
        const double share = double(n % 10 + 1) / 10;
        const QPointF incident(7.3 + share * (kSide - 1) * kStep * 1.6, 51.4 + share * (kSide - 1) * kStep * 0.7);
        QEventLoop loop;
        std::optional<Route> found;
        QObject::connect(&planner, &RoutePlanner::routeFound, &loop, [&](const Route& route) {
            found = route;
            loop.quit();
        });
        QObject::connect(&planner, &RoutePlanner::routeFailed, &loop, &QEventLoop::quit);
        const auto t0 = std::chrono::steady_clock::now();
        planner.plan(incident);
        loop.exec();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (!found)
            return state.SkipWithError("no route");
        km += found->meters / 1000;
    }
    state.counters["route_km"] = benchmark::Counter(km / double(state.iterations()));
}
BENCHMARK(BM_RoutinoDistrict)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The whole way in the monitor: from a station alarm with coordinates reaching the window to the
// drive time in its top bar, the route computed on the district after the alarm's announcement.
void BM_AlarmToDriveTimeOnScreen(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString data = prepareDistrict(dir, kSide, kStep);
    if (data.isEmpty())
        return state.SkipWithError("planetsplitter could not prepare the district (is routino installed?)");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    QDir().mkpath(dir.filePath(QStringLiteral("home/Torvelle")));
    QFile ini(dir.filePath(QStringLiteral("home/Torvelle/map.ini")));
    if (!ini.open(QIODevice::WriteOnly)
        || ini.write("station=51.4,7.3\nroute=routino\nroute.data=" + QFile::encodeName(data) + "\n") < 0)
        return state.SkipWithError("cannot write map.ini");
    ini.close();
    AppContext ctx;
    ctx.ProgramFolder = dir.path();
    Form1 form(ctx, Form1::LinkTimer::Stopped);
    form.load();
    auto* drive = form.findChild<QLabel*>(QStringLiteral("lbl_Anfahrt"));
    int n = 0;
    for (auto _ : state) {
        ++n;
        const double share = double(n % 10 + 1) / 10;
        const QString lat = QString::number(51.4 + share * (kSide - 1) * kStep * 0.7, 'f', 6).replace('.', ',');
        const QString lon = QString::number(7.3 + share * (kSide - 1) * kStep * 1.6, 'f', 6).replace('.', ',');
        const QString message = QStringLiteral("WACHALARM\tBrand\tEinsatz %1\tFeuer\tB3\t44135\tDortmund\t"
                                               "Kampstraße\t12\t\t\t\t\t\tHLF 20\a\t1\t%2\t%3")
                                    .arg(n)
                                    .arg(lat, lon);
        const auto t0 = std::chrono::steady_clock::now();
        form.HandleStationAlarm(message, 0);
        const auto giveUp = t0 + std::chrono::seconds(30);
        while (drive->text().isEmpty() && std::chrono::steady_clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (drive->text().isEmpty())
            return state.SkipWithError("no drive time on screen");
    }
    state.SetLabel(drive->text().toStdString());
}
BENCHMARK(BM_AlarmToDriveTimeOnScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
