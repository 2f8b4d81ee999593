// The ticker with a file of 100,000 entries: one message appended and shown, the window's start-up,
// and the monitor's peak memory; the memory one entry costs, read at start-up or received.
#include "app/Form1.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "log/DocumentationList.h"
#include "log/TickerModel.h"
#include "station/Station.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>

#include <memory>

#include <malloc.h>

namespace {

constexpr int kEntries = 100000;

QString entry(int i)
{
    static const char* const senders[] = { "ILS Nord", "ILS Sued", "FEZ Kreis", "Leitstelle" };
    static const char* const bodies[]
        = { "Fahrzeug zurueck am Standort", "Lage unklar<CR>Nachalarmierung Drehleiter<CR>Einsatzleitung vor Ort",
              "Brand in Lagerhalle, mehrere Personen vermisst, Atemschutz erforderlich", "Status 2" };
    const QString headline = i % 3 == 0 ? QStringLiteral("Meldung %1").arg(i) : QString();
    const QString from = i % 2 == 0 ? QStringLiteral("Disponent %1").arg(i % 17) : QString();
    return QStringLiteral("WACHALARM_TICKER\t%1\x07"
                          "EA %2\x07"
                          "%3.%4.2026\x07"
                          "%5:%6:%7\x07%8\x07%9\x07%10")
        .arg(QLatin1String(senders[i % 4]))
        .arg(i % 90 + 10)
        .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
        .arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
        .arg(i % 24, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg((i * 7) % 60, 2, 10, QLatin1Char('0'))
        .arg(from, headline, QLatin1String(bodies[i % 4]));
}

// Two data homes: one whose ticker holds 100,000 entries, one without a ticker.
struct DataHomes {
    QTemporaryDir full;
    QTemporaryDir empty;
    qint64 tickerBytes = 0;

    DataHomes()
    {
        for (QTemporaryDir* home : { &full, &empty })
            QDir().mkpath(home->path() + QStringLiteral("/Torvelle/Ablage"));
        QByteArray bytes;
        for (int i = 1; i <= kEntries; ++i)
            bytes += CodePage::encode(entry(i)) + "\r\n";
        tickerBytes = bytes.size();
        QFile file(tickerPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QString dataFolder() const { return full.path() + QStringLiteral("/Torvelle"); }
    QString tickerPath() const { return dataFolder() + QStringLiteral("/ticker.dat"); }
};

DataHomes* homes = nullptr;

// A message arrives: the line is appended to the file, its row takes its place in the list, the
// rows in view are measured and the list is painted. Argument 1: the list is ordered by "Zeit", so
// the new row is placed by its time.
void BM_TickerMessageAndRebuild(benchmark::State& state)
{
    AppContext ctx;
    ctx.DataFolder = homes->dataFolder();
    ctx.TickerPath = homes->tickerPath();
    QTableView view;
    view.resize(641, 248);
    DocumentationList list(ctx, &view);
    view.show();
    list.lese_ticker();
    if (state.range(0) == 1)
        list.model()->sort(TickerCells::Zeit, Qt::DescendingOrder);
    list.fitVisibleRows();
    view.viewport()->repaint();
    int i = kEntries;
    for (auto _ : state) {
        list.HandleTickerMessage(entry(++i));
        list.fitVisibleRows();
        view.viewport()->repaint();
    }
    state.counters["rows"] = list.model()->rowCount();
    // Take the appended lines out again, so that every run starts from 100,000 entries.
    QFile file(homes->tickerPath());
    if (file.open(QIODevice::ReadWrite))
        file.resize(homes->tickerBytes);
}
BENCHMARK(BM_TickerMessageAndRebuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

// A click on "Zeit": the 100,000 rows ordered by their time (and back to "Nr", which costs nothing).
void BM_SortByZeit(benchmark::State& state)
{
    TickerModel model;
    model.setLines(TickerFile::read(homes->tickerPath()));
    for (auto _ : state) {
        model.sort(TickerCells::Zeit, Qt::DescendingOrder);
        model.sort(TickerCells::Nr, Qt::DescendingOrder);
    }
    state.counters["rows"] = model.rowCount();
}
BENCHMARK(BM_SortByZeit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Start-up of the window with the data home of the argument (0: no ticker, 1: 100,000 entries),
// as the program does it: the window is made and shown, start-up loads, and the window is painted
// with the list filled.
void BM_StartupUntilShown(benchmark::State& state)
{
    const bool full = state.range(0) == 1;
    qputenv("XDG_DATA_HOME", (full ? homes->full.path() : homes->empty.path()).toLocal8Bit());
    int rows = 0;
    for (auto _ : state) {
        AppContext ctx;
        ctx.ProgramFolder = QCoreApplication::applicationDirPath();
        Station station(ctx, Station::Link::Idle);
        Form1 window(station);
        window.show();
        window.load();
        QCoreApplication::processEvents();
        window.repaint();
        if (const auto* list = window.findChild<QTableView*>(QStringLiteral("List_Doku")))
            rows = list->model()->rowCount();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_StartupUntilShown)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Bytes the heap holds now: the small blocks in use and the large ones mapped on their own.
double heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// What one entry costs in memory for good. Argument 0: a ticker of 2,000 entries read at start-up.
// Argument 1: 2,000 messages received one by one while the list is shown, each row sized and
// painted as it comes, after 2,000 others (so that what is built once or held only for the rows in
// view is not counted).
void BM_MemoryPerEntry(benchmark::State& state)
{
    constexpr int kMeasured = 2000;
    const bool live = state.range(0) == 1;
    double perEntry = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        AppContext ctx;
        ctx.DataFolder = home.path();
        QTableView view;
        view.resize(641, 248);
        DocumentationList list(ctx, &view);
        view.show();
        const auto receive = [&](int first, int count) {
            for (int i = first; i < first + count; ++i) {
                list.HandleTickerMessage(entry(i));
                QCoreApplication::processEvents();
            }
        };
        // The fonts and glyphs that painting caches for the whole program, with a ticker of its own.
        ctx.TickerPath = home.filePath(QStringLiteral("first.dat"));
        receive(1, 100);
        list.lese_ticker();
        ctx.TickerPath = home.filePath(QStringLiteral("ticker.dat"));
        list.lese_ticker();
        if (live) {
            receive(1, kMeasured);
        } else {
            QFile file(ctx.TickerPath);
            if (!file.open(QIODevice::WriteOnly)) {
                state.SkipWithError("the ticker could not be written");
                break;
            }
            for (int i = 1; i <= kMeasured; ++i)
                file.write(CodePage::encode(entry(i)) + "\r\n");
            file.close();
        }
        QCoreApplication::processEvents();
        const double before = heapBytes();
        if (live) {
            receive(kMeasured + 1, kMeasured);
        } else {
            list.lese_ticker();
            QCoreApplication::processEvents();
        }
        perEntry = (heapBytes() - before) / kMeasured;
        if (list.model()->rowCount() != kMeasured * (live ? 2 : 1))
            state.SkipWithError("rows are missing");
    }
    state.counters["bytes_per_entry"] = perEntry;
    state.SetLabel(live ? "live messages" : "read at start-up");
}
BENCHMARK(BM_MemoryPerEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Whether a program can be run in a network namespace of its own (root, or a user namespace).
bool ownNetwork()
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"), { QStringLiteral("-n"), QStringLiteral("true") });
    return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

// The real monitor started with the data home of the argument; its peak resident memory after it
// has loaded and shown the list (it runs for three seconds, then it is ended).
void BM_MonitorPeakMemory(benchmark::State& state)
{
    const bool full = state.range(0) == 1;
    double peakMB = 0;
    for (auto _ : state) {
        QProcess monitor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), full ? homes->full.path() : homes->empty.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // In a network namespace of its own the monitor's link finds no server, and no dispatch
        // simulator or test that listens on this machine hears from it. unshare executes the
        // monitor in its own place, so the process measured is the monitor.
        if (ownNetwork())
            monitor.start(QStringLiteral("unshare"), { QStringLiteral("-n"), QStringLiteral(KESSVENN_BINARY) });
        else
            monitor.start(QStringLiteral(KESSVENN_BINARY), {});
        if (!monitor.waitForStarted(5000)) {
            state.SkipWithError("the monitor did not start");
            break;
        }
        monitor.waitForFinished(3000);
        QFile status(QStringLiteral("/proc/%1/status").arg(monitor.processId()));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("VmHWM:"))
                    peakMB = line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
            }
        }
        monitor.kill();
        monitor.waitForFinished(5000);
    }
    state.counters["peak_rss_MB"] = peakMB;
    state.SetLabel(ownNetwork() ? "own network namespace" : "shared network");
}
BENCHMARK(BM_MonitorPeakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DataHomes data;
    homes = &data;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    homes = nullptr;
    return 0;
}
