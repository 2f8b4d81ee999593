// What an alarm costs the monitor: how soon a station alarm is on the screen and the first sound
// starts, and how a burst of status and pager messages is taken.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/GMapAlarmMap.h"
#include "alarm/Incident.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "app/FittingLabel.h"
#include "app/Form1.h"
#include "bench/BenchMain.h"
#include "bench/ShortSound.h"
#include "bench/StampingOutput.h"
#include "common/AppContext.h"
#include "config/Configuration.h"
#include "config/StationSettings.h"
#include "history/HistoryRecorder.h"
#include "link/MessageReceiver.h"
#include "map/Geocoder.h"
#include "map/ucGMap.h"
#include "paths/AlarmInbox.h"
#include "print/Printout.h"
#include "station/Station.h"
#include "tests/support/PrivateCups.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <optional>

namespace {

using Clock = StampingOutput::Clock;

// The controls of an alarm display in one shown window, as the main window has them: incident
// labels that fit their text, the remark's (7) wrapped.
struct AlarmWindow {
    QWidget window;
    AlarmControls controls;
    ucGMap* map = nullptr;

    AlarmWindow(AppContext& ctx, const StationSettings& settings)
    {
        window.resize(1280, 1024);
        for (int i = 0; i < 9; ++i) {
            auto* label = new FittingLabel(QString(), &window);
            label->setGeometry(700, 40 * i, 609, i == 7 ? 89 : 41);
            QFont font(QStringLiteral("Arial"));
            font.setPointSizeF(26.25);
            label->setFont(font);
            label->setWordWrap(i == 7);
            label->setAlignment(i == 7 ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignCenter);
            controls.label_einsatz[i] = label;
        }
        controls.Label2 = { new QLabel(&window), new QLabel(&window) };
        controls.Label4 = new QLabel(&window);
        controls.MSFlexGrid1 = new QTableWidget(&window);
        controls.MSFlexGrid1->setGeometry(700, 400, 500, 200);
        controls.Grid_Status = new QTableWidget(&window);
        controls.Grid_Status->setGeometry(700, 600, 250, 400);
        controls.Grid_Melder = new QTableWidget(&window);
        controls.Grid_Melder->setGeometry(950, 600, 250, 400);
        map = new ucGMap(&window);
        map->setContext(&ctx, &settings);
        map->setGeometry(0, 0, 640, 640);
        window.show();
        QCoreApplication::processEvents();
    }
};

// 500 status and 500 pager messages in a row into a shown window, then what the station does with
// the grids afterwards: a feedback for the oldest pager (the longest search) and a full repaint.
void BM_StatusAndPagerBurst(benchmark::State& state)
{
    QTemporaryDir dir;
    AppContext ctx;
    ctx.DataFolder = dir.path();
    ctx.ProgramFolder = dir.path();
    ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
    const StationSettings settings;
    double feedbackMs = 0;
    double repaintMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<AlarmWindow>(ctx, settings);
        AlarmHandler handler(form->controls, nullptr);
        handler.InitAlarmGrids();
        QStringList messages;
        for (int i = 0; i < 500; ++i) {
            messages << QStringLiteral("WACHALARM_STATUS\tHLF %1\t%2").arg(i).arg(i % 9);
            messages << QStringLiteral("WACHALARM_MELDER\tPerson %1\t%2").arg(i).arg(10000 + i);
        }
        state.ResumeTiming();

        for (const QString& m : messages) {
            if (m.startsWith(QLatin1String("WACHALARM_STATUS")))
                handler.InsertStatusRow(m);
            else
                handler.InsertPagerRow(m);
        }
        QCoreApplication::processEvents();

        state.PauseTiming();
        auto t0 = Clock::now();
        handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t10000\t1"));
        auto t1 = Clock::now();
        form->window.repaint();
        auto t2 = Clock::now();
        feedbackMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        repaintMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        if (form->controls.Grid_Melder->rowCount() != 500 || form->controls.Grid_Status->rowCount() != 500
            || form->controls.Grid_Melder->item(499, 1)->text() != QStringLiteral("kommt"))
            state.SkipWithError("the burst did not arrive whole");
        form.reset();
        state.ResumeTiming();
    }
    state.counters["feedback_after_ms"] = benchmark::Counter(feedbackMs / double(state.iterations()));
    state.counters["repaint_after_ms"] = benchmark::Counter(repaintMs / double(state.iterations()));
}
BENCHMARK(BM_StatusAndPagerBurst)->Unit(benchmark::kMillisecond)->Iterations(10);

// From the last byte of a station-alarm frame reaching the receiver to the first sound starting,
// with the labels set and painted, the map asked, last.dat written in between. The map service
// is a local server that accepts and never answers. Every other alarm carries no coordinates and
// starts an address lookup, which stays unanswered. Argument 1: the printout is on; each alarm
// waits for maps that never come, so the next alarm sends the older one to a private CUPS scheduler
// at once and its page is rendered and submitted while the new alarm's sound starts. Argument 2:
// the history keeps every alarm, as in the program. Argument 3: every alarm carries a remark of
// 900 KB. Argument 4: as 0, through the inbox of two dispatch paths (below).
void BM_StationAlarmToFirstSound(benchmark::State& state)
{
    const bool printing = state.range(0) == 1;
    std::unique_ptr<PrivateCups> cups;
    if (printing) {
        cups = std::make_unique<PrivateCups>();
        if (!cups->started() || !cups->addQueue(QStringLiteral("Bench")))
            return state.SkipWithError("no private CUPS scheduler");
    }
    QTemporaryDir dir;
    AppContext ctx;
    StationSettings record;
    ctx.DataFolder = dir.path();
    ctx.ProgramFolder = dir.path();
    ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
    record.PlayAlarmWav = true;
    writeShortSound(dir.filePath(QStringLiteral("alarm.wav")));

    QTcpServer silentMap;
    QList<QTcpSocket*> peers;
    if (!silentMap.listen(QHostAddress::LocalHost, 0))
        return state.SkipWithError("no local port for the map service");
    QObject::connect(&silentMap, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* peer = silentMap.nextPendingConnection())
            peers << peer;
    });
    QFile ini(dir.filePath(QStringLiteral("map.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return state.SkipWithError("cannot write map.ini");
    ini.write(QStringLiteral("host=http://127.0.0.1:%1\r\nkey=bench\r\n").arg(silentMap.serverPort()).toLatin1());
    ini.close();
    QFile printIni(dir.filePath(QStringLiteral("print.ini")));
    if (printing && (!printIni.open(QIODevice::WriteOnly) || printIni.write("printer=Bench\nwait_seconds=60\n") < 0))
        return state.SkipWithError("cannot write print.ini");
    printIni.close();

    std::atomic<Clock::rep> started { 0 };
    AlarmWindow form(ctx, record);
    Announcer announcer(ctx, std::make_unique<StampingOutput>(started));
    AnnouncementQueue announcements(ctx, announcer);
    GMapAlarmMap map(*form.map);
    AlarmCore core(ctx, record);
    core.setAnnouncements(&announcements);
    Geocoder geocoder(ctx, record);
    Configuration config;
    config.load(ctx.DataFolder);
    const MapConfig mapConfig = MapConfig::from(config.values(ConfigFile::Map));
    geocoder.setConfig(mapConfig);
    form.map->setConfig(mapConfig);
    Incident incident(geocoder);
    incident.follow(core);
    AlarmHandler handler(form.controls, &map);
    handler.InitAlarmGrids();
    handler.watch(core);
    handler.follow(incident);
    // Argument 4: the frame through the inbox of two dispatch paths, as the station takes it, the
    // copies' state kept in the data folder after each alarm.
    AlarmInbox inbox(ctx, core);
    if (state.range(0) == 4) {
        (void)inbox.dispatchPath(1);
        inbox.setStateFile(dir.filePath(QString::fromLatin1(AlarmInbox::kStateFileName)));
    }
    MessageReceiver receiver(state.range(0) == 4 ? inbox.dispatchPath(0) : static_cast<MessageHandlers&>(core));
    Printout printout(ctx, record);
    printout.setMapConfig([mapConfig] { return mapConfig; });
    printout.setSettings(PrintSettings::from(config.values(ConfigFile::Print)));
    int printed = 0;
    if (printing) {
        printout.watch(core);
        printout.follow(incident);
        QObject::connect(&printout, &Printout::printed, [&](const PrintResult& r) { printed += r.jobId > 0; });
    }
    std::optional<HistoryRecorder> history;
    if (state.range(0) == 2) {
        history.emplace(dir.filePath(QStringLiteral("history.sqlite")), ctx.LastAlarmPath, HistorySettings {});
        history->start();
        history->watch(core);
        history->follow(incident);
    }

    const QChar bell(7);
    const QString remark = state.range(0) == 3 ? QStringLiteral("Zufahrt über den Hof ").repeated(45'000)
                                               : QStringLiteral("Zufahrt\r\nHof");
    int n = 0;
    for (auto _ : state) {
        ++n;
        const QString keyword = QStringLiteral("B%1").arg(n);
        const QString coordinates = n % 2 ? QStringLiteral("51,5\t7,4") : QStringLiteral("\t");
        const QString message = QStringLiteral("WACHALARM\tBrand\tB3 Y\tWohnungsbrand\t") + keyword
            + QStringLiteral("\t44135\tDortmund\tKampstraße\t%1\t").arg(n) + remark
            + QStringLiteral("\tInnenstadt\tStadthaus\t3. OG\t\t") + QStringLiteral("ELW 1") + bell
            + QStringLiteral("HLF 20(A)") + bell + QStringLiteral("RTW 1") + bell + QStringLiteral("\t1\t")
            + coordinates + QStringLiteral("\tHerr Meier");
        const QByteArray frame = MessageReceiver::frame(message);
        receiver.ReceiveChunk(QByteArrayView(frame).first(frame.size() - 1));
        started = 0;

        const auto t0 = Clock::now();
        receiver.ReceiveChunk(QByteArrayView(frame).last(1));
        // The sound starts on its own thread; the alarm's thread goes back to its events.
        const auto giveUp = t0 + std::chrono::seconds(30);
        while (started == 0 && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (started == 0 || form.controls.label_einsatz[1]->text() != keyword) {
            state.SkipWithError("the alarm did not reach the labels and the loudspeakers");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(Clock::time_point(Clock::duration(started.load())) - t0).count());
        // The short sound ends and the map's requests go out between alarms.
        while (announcements.busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    state.counters["map_connections"] = double(peers.size());
    state.counters["printed"] = double(printed);
}
BENCHMARK(BM_StationAlarmToFirstSound)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100);
BENCHMARK(BM_StationAlarmToFirstSound)->Arg(3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// What the inbox adds before the core takes the first copy of a station alarm: its fingerprint
// and the search among the window's alarms, here always full (1000 alarms, none of them the same).
// Argument 0: the message to the core directly; 1: through the inbox of two dispatch paths, the
// alarms coming by either in turn. The core has no consumers and no loudspeakers, so the time is
// the way's own.
void BM_InboxBeforeTheCore(benchmark::State& state)
{
    AppContext ctx;
    StationSettings record;
    AlarmCore core(ctx, record);
    AlarmInbox inbox(ctx, core);
    const bool throughInbox = state.range(0) == 1;
    MessageHandlers* paths[2] = { &core, &core };
    if (throughInbox)
        paths[0] = &inbox.dispatchPath(0), paths[1] = &inbox.dispatchPath(1);
    const auto message = [](int n) {
        return QStringLiteral("WACHALARM\tBrand\tB3 Y\tWohnungsbrand\tB%1\t44135\tDortmund\tKampstraße\t12\t"
                              "Zufahrt über den Hof\tInnenstadt\tStadthaus\t3. OG\t\tELW 1\a\t1")
            .arg(n);
    };
    int n = 0;
    for (; throughInbox && n < 1000; ++n)
        paths[n % 2]->HandleStationAlarm(message(n), 0);
    for (auto _ : state) {
        paths[n % 2]->HandleStationAlarm(message(n), 0);
        ++n;
    }
    state.counters["alarms_shown"] = double(core.liveStationAlarms());
}
BENCHMARK(BM_InboxBeforeTheCore)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The whole station as the program runs it, its history and printout set up: from the last byte
// of a station-alarm frame at its receiver to the first sound. Argument 0: without a window (the
// headless mode); 1: with the window shown.
void BM_StationFirstSound(benchmark::State& state)
{
    const bool windowed = state.range(0) == 1;
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    AppContext ctx;
    ctx.ProgramFolder = dir.path();
    writeShortSound(dir.filePath(QStringLiteral("alarm.wav")));
    std::atomic<Clock::rep> started { 0 };
    Announcer announcer(ctx, std::make_unique<StampingOutput>(started));
    Station station(ctx, Station::Link::Idle);
    station.setAnnouncementOutput(&announcer);
    std::unique_ptr<Form1> form;
    if (windowed) {
        form = std::make_unique<Form1>(station);
        form->show();
        form->load();
    } else {
        station.load();
        station.replayLastAlarm();
    }
    station.settings().PlayAlarmWav = true;
    MessageReceiver receiver(station.core());
    int n = 0;
    for (auto _ : state) {
        const QByteArray frame
            = MessageReceiver::frame(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tB%1\t44135\t"
                                                    "Dortmund\tKampstraße\t12\t\t\t\t\t\tHLF 20\a\t1")
                                         .arg(++n));
        receiver.ReceiveChunk(QByteArrayView(frame).first(frame.size() - 1));
        started = 0;
        const auto t0 = Clock::now();
        receiver.ReceiveChunk(QByteArrayView(frame).last(1));
        const std::optional<Clock::duration> took = waitForFirstSound(started, t0);
        if (!took)
            return state.SkipWithError("the alarm did not reach the loudspeakers");
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        const auto giveUp = t0 + std::chrono::seconds(5);
        while (station.announcements().busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}
BENCHMARK(BM_StationFirstSound)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
