// The radio pager path: from a message line in the decoder's output to the first sound, through the
// whole station without a window, its history kept (the decoder a `cat` of a FIFO the benchmark
// writes into); the mean and the slowest of 100 alarms.
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "bench/BenchMain.h"
#include "bench/ShortSound.h"
#include "bench/StampingOutput.h"
#include "common/AppContext.h"
#include "paths/RadioPath.h"
#include "station/Station.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = StampingOutput::Clock;

void BM_DecoderLineToFirstSound(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    AppContext ctx;
    ctx.ProgramFolder = dir.path();
    writeShortSound(dir.filePath(QStringLiteral("alarm.wav")));
    const QByteArray fifoPath = QFile::encodeName(dir.filePath(QStringLiteral("decoder")));
    const int fifo = ::mkfifo(fifoPath.constData(), 0600) == 0 ? ::open(fifoPath.constData(), O_RDWR) : -1;
    if (fifo < 0)
        return state.SkipWithError("no FIFO for the decoder's output");
    std::atomic<Clock::rep> started { 0 };
    Announcer announcer(ctx, std::make_unique<StampingOutput>(started));
    Station station(ctx, Station::Link::Idle);
    station.setAnnouncementOutput(&announcer);
    station.load();
    station.settings().PlayAlarmWav = true;
    // A RIC of its own for each alarm: the same RIC within the merge window is the same alarm.
    constexpr int kRics = 1000;
    QList<StationRic> rics;
    for (int i = 0; i < kRics; ++i)
        rics.append({ QString::number(1230000 + i), {}, QStringLiteral("Alarm Löschzug %1").arg(i) });
    station.setRadio(RadioSettings { QStringLiteral("exec cat '%1'").arg(QFile::decodeName(fifoPath)), rics, {}, 0 });
    int n = 0;
    double worstMs = 0;
    for (auto _ : state) {
        const int ric = 1230000 + (n++ % kRics);
        const QByteArray line
            = QStringLiteral("POCSAG1200: Address: %1  Function: 3  Alpha:   B3 Brand<EOT>\n").arg(ric).toUtf8();
        started = 0;
        const auto t0 = Clock::now();
        if (::write(fifo, line.constData(), size_t(line.size())) != line.size())
            return state.SkipWithError("the line could not be written");
        const std::optional<Clock::duration> took = waitForFirstSound(started, t0);
        if (!took)
            return state.SkipWithError("the radio alarm did not reach the loudspeakers");
        worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(*took).count());
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        const auto giveUp = t0 + std::chrono::seconds(5);
        while (station.announcements().busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ::close(fifo);
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_DecoderLineToFirstSound)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
