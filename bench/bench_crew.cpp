// The crew's strength and the vehicles' board under load: 5,000 status messages and 2,000 pager
// answers in one burst from the dispatch computer with a station alarm among them. Argument 0: the
// grids alone; argument 1: the strength and the board (shown) follow the burst as well.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "bench/BenchMain.h"
#include "bench/ShortSound.h"
#include "bench/StampingOutput.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "crew/CrewWatch.h"
#include "crew/VehicleBoard.h"
#include "crew/VehicleBoardView.h"
#include "link/MessageReceiver.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace {

using Clock = StampingOutput::Clock;

// The burst: status messages of 40 call names and answers of 400 holders, the alarm after the
// first half.
QByteArray burst(int n, QByteArray* alarmFrame)
{
    QByteArray before, after;
    for (int i = 0; i < 7000; ++i) {
        const QString m = i % 7 < 5 ? QStringLiteral("WACHALARM_STATUS\tFlorian Hagen 1-%1\t%2").arg(i % 40).arg(i % 10)
            : i % 7 == 5 ? QStringLiteral("WACHALARM_MELDER\tPerson %1\t%2").arg(i % 400).arg(10000 + i % 400)
                         : QStringLiteral("WACHALARM_RM\t%1\t%2").arg(10000 + i % 400).arg(i % 3);
        (i < 3500 ? before : after) += MessageReceiver::frame(m);
    }
    const QChar bell(7);
    *alarmFrame
        = MessageReceiver::frame(QStringLiteral("WACHALARM\tBrand\tB3 Y\tWohnungsbrand\tB%1\t44135\tDortmund"
                                                "\tKampstraße\t1\t\tHof\tInnenstadt\tStadthaus\t3. OG\t\tHLF 20")
                                     .arg(n)
            + bell + QStringLiteral("\t1\t51,5\t7,4\tHerr Meier"));
    return before + *alarmFrame + after;
}

void BM_BurstWithAlarm(benchmark::State& state)
{
    const bool crew = state.range(0) == 1;
    QTemporaryDir dir;
    AppContext ctx;
    StationSettings record;
    ctx.DataFolder = dir.path();
    ctx.ProgramFolder = dir.path();
    ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
    record.PlayAlarmWav = true;
    writeShortSound(dir.filePath(QStringLiteral("alarm.wav")));
    QFile crewFile(dir.filePath(QStringLiteral("mannschaft.csv")));
    if (!crewFile.open(QIODevice::WriteOnly))
        return state.SkipWithError("cannot write mannschaft.csv");
    crewFile.write("id;name;q\n");
    for (int i = 0; i < 400; ++i)
        crewFile.write(
            QStringLiteral("%1;Person %2;%3\n").arg(10000 + i).arg(i).arg(i % 10 ? "AGT Ma" : "GF C").toUtf8());
    crewFile.close();

    std::atomic<Clock::rep> started { 0 };
    QWidget window;
    window.resize(1280, 1024);
    AlarmControls controls;
    for (int i = 0; i < 9; ++i)
        controls.label_einsatz[i] = new QLabel(&window);
    controls.MSFlexGrid1 = new QTableWidget(&window);
    controls.Grid_Status = new QTableWidget(&window);
    controls.Grid_Status->setGeometry(700, 600, 250, 400);
    controls.Grid_Melder = new QTableWidget(&window);
    Announcer announcer(ctx, std::make_unique<StampingOutput>(started));
    AnnouncementQueue announcements(ctx, announcer);
    AlarmCore core(ctx, record);
    core.setAnnouncements(&announcements);
    AlarmHandler handler(controls, nullptr);
    handler.InitAlarmGrids();
    handler.watch(core);
    MessageReceiver receiver(core);
    std::unique_ptr<CrewWatch> watch;
    std::unique_ptr<VehicleBoard> board;
    QLabel line(&window);
    if (crew) {
        watch = std::make_unique<CrewWatch>(crewFile.fileName(), ctx.LastAlarmPath, Strength::Settings());
        watch->watch(core);
        QObject::connect(watch.get(), &CrewWatch::strengthChanged, &line,
            [&](const Strength::Count& c) { line.setText(c.strengthText()); });
        board = std::make_unique<VehicleBoard>(ctx.DataFolder);
        board->watch(core);
        auto* view = new VehicleBoardView(*board, &window);
        view->setGeometry(controls.Grid_Status->geometry());
    }
    window.show();
    QCoreApplication::processEvents();

    double firstSoundMs = 0;
    double perMessageUs = 0;
    int n = 0;
    for (auto _ : state) {
        QByteArray alarm;
        const QByteArray bytes = burst(++n, &alarm);
        started = 0;
        const auto t0 = Clock::now();
        receiver.ReceiveChunk(bytes);
        // What the burst left for the event loop: the strength counted, the board drawn anew.
        QCoreApplication::processEvents();
        const auto t1 = Clock::now();
        const auto giveUp = t1 + std::chrono::seconds(5);
        // The strength is shown from its timer, a moment after the burst.
        while ((started == 0 || (crew && line.text().isEmpty())) && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (started == 0 || (crew && line.text() == QString()))
            return state.SkipWithError("the alarm or the strength did not come through");
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        perMessageUs += std::chrono::duration<double, std::micro>(t1 - t0).count() / 7001;
        // The first sound measured from the alarm frame's place in the burst: the half before it
        // is taken first, as it came.
        firstSoundMs
            += std::chrono::duration<double, std::milli>(Clock::time_point(Clock::duration(started.load())) - t0)
                   .count();
        while (announcements.busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    state.counters["first_sound_ms"] = benchmark::Counter(firstSoundMs / double(state.iterations()));
    state.counters["per_message_us"] = benchmark::Counter(perMessageUs / double(state.iterations()));
}
BENCHMARK(BM_BurstWithAlarm)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
