// Several dispatch hosts: how soon a station alarm's frame, written by the dispatch hosts on
// loopback, is heard through the station's real links, with one host against two.
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "bench/BenchMain.h"
#include "bench/ShortSound.h"
#include "bench/StampingOutput.h"
#include "common/AppContext.h"
#include "link/MessageReceiver.h"
#include "link/ServerLink.h"
#include "station/Station.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>

namespace {

using Clock = StampingOutput::Clock;

// From the moment the frame is written to the socket of each host that sends it to the first
// sound. Argument 1: settings.dat's host alone; 2: a second host of alarmwege.ini connected too,
// and both send the alarm, the second right after the first.
void BM_FrameToFirstSound(benchmark::State& state)
{
    const int hosts = int(state.range(0));
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    AppContext ctx;
    ctx.ProgramFolder = dir.path();
    writeShortSound(dir.filePath(QStringLiteral("alarm.wav")));
    std::array<QTcpServer, 2> servers;
    std::array<QTcpSocket*, 2> clients {};
    for (int i = 0; i < 2; ++i) {
        if (!servers[i].listen(QHostAddress::LocalHost))
            return state.SkipWithError("no port on loopback");
        QObject::connect(&servers[i], &QTcpServer::newConnection,
            [&servers, &clients, i] { clients[i] = servers[i].nextPendingConnection(); });
    }
    const QString data = QDir(dir.path()).filePath(QStringLiteral("Torvelle"));
    QDir().mkpath(data);
    QFile paths(QDir(data).filePath(QStringLiteral("alarmwege.ini")));
    if (hosts == 2 && paths.open(QIODevice::WriteOnly))
        paths.write("dispatch=127.0.0.1:" + QByteArray::number(servers[1].serverPort()) + "\n");
    paths.close();

    std::atomic<Clock::rep> started { 0 };
    Announcer announcer(ctx, std::make_unique<StampingOutput>(started));
    Station station(ctx, Station::Link::Idle);
    station.setAnnouncementOutput(&announcer);
    station.load();
    station.settings().PlayAlarmWav = true;
    station.settings().ServerAddress = QStringLiteral("127.0.0.1");
    ctx.ServerPort = servers[0].serverPort();
    if (station.links().size() != hosts)
        return state.SkipWithError("the station does not hold the hosts' links");
    const auto setUp = Clock::now() + std::chrono::seconds(10);
    for (int tick = 0; tick < 2; ++tick) {
        for (ServerLink* link : station.links())
            link->superviseTick();
    }
    while ((!clients[0] || (hosts == 2 && !clients[1])) && Clock::now() < setUp)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!clients[0] || (hosts == 2 && !clients[1]))
        return state.SkipWithError("the links did not connect");

    int n = 0;
    for (auto _ : state) {
        const QByteArray frame
            = MessageReceiver::frame(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tB%1\t44135\t"
                                                    "Dortmund\tKampstraße\t12\t\t\t\t\t\tHLF 20\a\t1")
                                         .arg(++n));
        started = 0;
        const auto t0 = Clock::now();
        for (int i = 0; i < hosts; ++i) {
            clients[i]->write(frame);
            clients[i]->flush();
        }
        const std::optional<Clock::duration> took = waitForFirstSound(started, t0);
        if (!took)
            return state.SkipWithError("the alarm did not reach the loudspeakers");
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        const auto giveUp = t0 + std::chrono::seconds(5);
        while (station.announcements().busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}
BENCHMARK(BM_FrameToFirstSound)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv, BenchDisplay::Offscreen);
}
