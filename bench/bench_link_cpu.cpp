// What keeping the link up costs: CPU time in 30 s connected and idle, and in 30 s with the
// dispatch computer down (a connection attempt every second). Measured for the link alone in this
// process, and for the real monitor program against 127.0.0.1:4750 in a network namespace of its own.
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "link/MessageHandlers.h"
#include "link/ServerLink.h"
#include "settings/SettingsFile.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kMeasuredMs = 30000;

class NoHandlers : public MessageHandlers {
public:
    void HandleStationAlarm(const QString&, int) override { }
    void HandleUnitAlarm(const QString&) override { }
    void HandleTickerMessage(const QString&) override { }
    void InsertStatusRow(const QString&) override { }
    void InsertPagerRow(const QString&) override { }
    void DeleteTicker() override { }
    void HandleFeedback(const QString&) override { }
};

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double ownCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

enum class Dispatch { Up, Down, Silent };

// The link alone, driven by a one-second timer as the main window drives it.
void measureLink(benchmark::State& state, Dispatch dispatch)
{
    const bool serverUp = dispatch == Dispatch::Up;
    for (auto _ : state) {
        QTcpServer server;
        QList<QTcpSocket*> peers;
        quint16 port = closedPort();
        QTcpSocket queued;
        if (dispatch == Dispatch::Silent) {
            // A connect queue that is full and never accepted from: connections get no answer.
            server.setListenBacklogSize(0);
            server.setMaxPendingConnections(0);
            if (!server.listen(QHostAddress::LocalHost, 0)) {
                state.SkipWithError("cannot listen on 127.0.0.1");
                return;
            }
            port = server.serverPort();
            queued.connectToHost(QHostAddress::LocalHost, port);
            queued.waitForConnected(5000);
        }
        if (serverUp) {
            if (!server.listen(QHostAddress::LocalHost, 0)) {
                state.SkipWithError("cannot listen on 127.0.0.1");
                return;
            }
            port = server.serverPort();
            QObject::connect(
                &server, &QTcpServer::newConnection, [&] { peers.append(server.nextPendingConnection()); });
        }
        AppContext ctx;
        StationSettings record;
        record.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = port;
        ctx.MonitorName = QStringLiteral("bench");
        NoHandlers handlers;
        ServerLink link(ctx, record, handlers);
        int attempts = 0;
        QObject::connect(link.Winsock_Klein, &QAbstractSocket::stateChanged, [&](QAbstractSocket::SocketState s) {
            if (s == QAbstractSocket::ConnectingState)
                ++attempts;
        });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &link, &ServerLink::superviseTick);
        tick.start(1000);
        runFor(2500);
        attempts = 0;

        const double before = ownCpuSeconds();
        runFor(kMeasuredMs);
        const double used = ownCpuSeconds() - before;

        state.counters["cpu_s"] = used;
        state.counters["attempts"] = attempts;
        state.counters["connected"] = link.LinkStatus();
        if (serverUp && !link.LinkStatus())
            state.SkipWithError("the link did not come up");
    }
}

void BM_LinkConnectedIdle(benchmark::State& state)
{
    measureLink(state, Dispatch::Up);
}
BENCHMARK(BM_LinkConnectedIdle)->Iterations(1)->Unit(benchmark::kSecond);

void BM_LinkDispatchDown(benchmark::State& state)
{
    measureLink(state, Dispatch::Down);
}
BENCHMARK(BM_LinkDispatchDown)->Iterations(1)->Unit(benchmark::kSecond);

// The dispatch computer's host does not answer at all: attempts in 30 s show the length of a round.
void BM_LinkDispatchSilent(benchmark::State& state)
{
    measureLink(state, Dispatch::Silent);
}
BENCHMARK(BM_LinkDispatchSilent)->Iterations(1)->Unit(benchmark::kSecond);

// The whole monitor program, with a data folder of its own that points it at 127.0.0.1:4750 and
// its map service at a closed local port.
void measureMonitor(benchmark::State& state, bool serverUp)
{
    for (auto _ : state) {
        QTcpServer server;
        QList<QTcpSocket*> peers;
        QByteArray received;
        if (serverUp) {
            if (!server.listen(QHostAddress::LocalHost, 4750)) {
                state.SkipWithError("127.0.0.1:4750 is in use");
                return;
            }
            QObject::connect(&server, &QTcpServer::newConnection, [&] {
                QTcpSocket* peer = server.nextPendingConnection();
                peers.append(peer);
                QObject::connect(peer, &QTcpSocket::readyRead, [&received, peer] { received += peer->readAll(); });
            });
        } else {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, 4750);
            if (probe.waitForConnected(500)) {
                state.SkipWithError("something listens on 127.0.0.1:4750");
                return;
            }
        }

        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("Torvelle"));
        AppContext ctx;
        StationSettings record;
        ctx.DataFolder = home.filePath(QStringLiteral("Torvelle"));
        record.ServerAddress = QStringLiteral("127.0.0.1");
        QFile settings(ctx.dataFile(QStringLiteral("settings.dat")));
        QFile map(ctx.dataFile(QStringLiteral("map.ini")));
        if (!settings.open(QIODevice::WriteOnly) || !map.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the data folder");
            return;
        }
        settings.write(SettingsFileBytes(record));
        settings.close();
        map.write("host=http://127.0.0.1:9\r\nkey=\r\n");
        map.close();

        QProcess monitor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        monitor.start(QStringLiteral(KESSVENN_MONITOR), {});
        if (!monitor.waitForStarted()) {
            state.SkipWithError("the monitor did not start");
            return;
        }
        runFor(4000);

        const double before = processCpuSeconds(monitor.processId());
        runFor(kMeasuredMs);
        const double used = processCpuSeconds(monitor.processId()) - before;

        state.counters["cpu_s"] = used;
        state.counters["connections"] = static_cast<double>(peers.size());
        if (serverUp && !received.contains("HIER_MEIN_NAME"))
            state.SkipWithError("the monitor did not register");
        monitor.terminate();
        if (!monitor.waitForFinished(5000)) {
            monitor.kill();
            monitor.waitForFinished(5000);
        }
    }
}

void BM_MonitorConnectedIdle(benchmark::State& state)
{
    measureMonitor(state, true);
}
BENCHMARK(BM_MonitorConnectedIdle)->Iterations(1)->Unit(benchmark::kSecond);

void BM_MonitorDispatchDown(benchmark::State& state)
{
    measureMonitor(state, false);
}
BENCHMARK(BM_MonitorDispatchDown)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (const int failed = runInOwnNetwork(argc, argv))
        return failed;
    return runBenchmarks<QCoreApplication>(argc, argv);
}
