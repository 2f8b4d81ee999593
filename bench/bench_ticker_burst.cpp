// A burst of ticker messages followed by a station alarm, through the whole road: a dispatch
// computer on 127.0.0.1:4750 sends to the real monitor program, whose link, receiver and window
// take the frames. Measured: how long after the last byte of the burst the station alarm is
// handled (its last.dat written, which follows the labels being filled and painted).
//
// The program re-runs itself in a network namespace of its own, so that port 4750 there belongs
// to this benchmark alone and the monitor hears from nothing else.
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "config/StationSettings.h"
#include "link/MessageReceiver.h"
#include "settings/SettingsFile.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kStartMs = 30000;
// A bound for one run; a monitor that has not handled the alarm by then is reported as failed.
constexpr int kRunMs = 600000;

QString tickerMessage(int i)
{
    static const char* const bodies[]
        = { "Fahrzeug zurueck am Standort", "Lage unklar<CR>Nachalarmierung Drehleiter<CR>Einsatzleitung vor Ort",
              "Brand in Lagerhalle, mehrere Personen vermisst, Atemschutz erforderlich", "Status 2" };
    return QStringLiteral("WACHALARM_TICKER\tILS Nord\x07"
                          "EA %1\x07"
                          "06.12.2026\x07"
                          "%2:%3:%4\x07%5\x07%6\x07%7")
        .arg(i % 90 + 10)
        .arg(i % 24, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg((i * 7) % 60, 2, 10, QLatin1Char('0'))
        .arg(i % 2 ? QStringLiteral("Disponent %1").arg(i % 17) : QString(),
            i % 3 ? QString() : QStringLiteral("Meldung %1").arg(i), QLatin1String(bodies[i % 4]));
}

const QString kAlarm = QStringLiteral("WACHALARM\tBrand\tB3 Y\tWohnungsbrand\tB3\t44135\tDortmund\tKampstrasse\t12\t"
                                      "Zufahrt Hof\tInnenstadt\tStadthaus\t3. OG\t\tELW 1\x07"
                                      "HLF 20\x07\t1\t51.5\t7.4\t"
                                      "Herr Meier");

// Writes everything given and waits until the system has taken the last byte.
bool sendAll(QTcpSocket& peer, const QByteArray& bytes, const QDeadlineTimer& deadline)
{
    peer.write(bytes);
    while (peer.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !peer.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 1000))))
            if (deadline.hasExpired() || peer.state() != QAbstractSocket::ConnectedState)
                return false;
    }
    return true;
}

// A data home whose settings point the monitor at 127.0.0.1, with sound and speech off, and its map
// service at a closed local port.
bool prepareHome(const QTemporaryDir& home, QString& dataFolder)
{
    dataFolder = home.filePath(QStringLiteral("Torvelle"));
    StationSettings record;
    record.ServerAddress = QStringLiteral("127.0.0.1");
    QFile settings(dataFolder + QStringLiteral("/settings.dat"));
    QFile map(dataFolder + QStringLiteral("/map.ini"));
    if (!QDir().mkpath(dataFolder + QStringLiteral("/Ablage")) || !settings.open(QIODevice::WriteOnly)
        || !map.open(QIODevice::WriteOnly))
        return false;
    settings.write(SettingsFileBytes(record));
    map.write("host=http://127.0.0.1:9\r\nkey=\r\n");
    return true;
}

qint64 lineCount(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
}

void BM_StationAlarmAfterTickerBurst(benchmark::State& state)
{
    const int burst = int(state.range(0));
    QByteArray frames;
    for (int i = 1; i <= burst; ++i)
        frames += MessageReceiver::frame(tickerMessage(i));

    for (auto _ : state) {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 4750)) {
            state.SkipWithError("cannot listen on 127.0.0.1:4750");
            return;
        }
        QTemporaryDir home;
        QString dataFolder;
        if (!home.isValid() || !prepareHome(home, dataFolder)) {
            state.SkipWithError("cannot write the data folder");
            return;
        }
        QProcess monitor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        monitor.start(QStringLiteral(KESSVENN_MONITOR), {});

        QDeadlineTimer started(kStartMs);
        QTcpSocket* peer = nullptr;
        QByteArray registration;
        if (monitor.waitForStarted() && server.waitForNewConnection(kStartMs)) {
            peer = server.nextPendingConnection();
            while (!registration.contains("HIER_MEIN_NAME") && !started.hasExpired()
                && peer->waitForReadyRead(int(started.remainingTime())))
                registration += peer->readAll();
        }
        if (!peer || !registration.contains("HIER_MEIN_NAME")) {
            state.SkipWithError("the monitor did not register");
            monitor.kill();
            monitor.waitForFinished();
            return;
        }

        const QString lastAlarm = dataFolder + QStringLiteral("/last.dat");
        const QDeadlineTimer deadline(kRunMs);
        const double cpuBefore = processCpuSeconds(monitor.processId());
        QElapsedTimer clock;
        clock.start();
        const bool sent = sendAll(*peer, frames, deadline);
        const double burstSent = double(clock.nsecsElapsed()) / 1e9;
        const bool alarmSent = sent && sendAll(*peer, MessageReceiver::frame(kAlarm), deadline);
        const double alarmWritten = double(clock.nsecsElapsed()) / 1e9;
        // Polled: the monitor is another process, and this one has nothing else to do.
        while (alarmSent && !QFileInfo::exists(lastAlarm) && !deadline.hasExpired())
            QThread::msleep(2);
        const double stored = double(clock.nsecsElapsed()) / 1e9;
        const double monitorCpu = processCpuSeconds(monitor.processId()) - cpuBefore;
        const qint64 lines = lineCount(dataFolder + QStringLiteral("/ticker.dat"));

        monitor.terminate();
        if (!monitor.waitForFinished(5000)) {
            monitor.kill();
            monitor.waitForFinished();
        }
        if (!QFileInfo::exists(lastAlarm)) {
            state.SkipWithError("the station alarm was not handled in time");
            return;
        }
        state.SetIterationTime(stored);
        state.counters["burst_sent_s"] = burstSent;
        state.counters["alarm_sent_s"] = alarmWritten;
        state.counters["alarm_handled_after_burst_s"] = stored - burstSent;
        state.counters["ticker_lines"] = double(lines);
        // The monitor's own CPU time from the first ticker byte to the alarm: what the burst costs it,
        // whatever else the machine is doing.
        state.counters["monitor_cpu_s"] = monitorCpu;
        if (lines != burst)
            state.SkipWithError("not every ticker message was stored");
    }
}
BENCHMARK(BM_StationAlarmAfterTickerBurst)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (const int failed = runInOwnNetwork(argc, argv))
        return failed;
    return runBenchmarks<QCoreApplication>(argc, argv);
}
