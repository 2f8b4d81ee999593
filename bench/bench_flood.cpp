// A flood from the dispatch computer right before a station alarm, through the whole station as the
// program runs it: how long after the alarm frame's arrival its first sound starts. The frame
// arrives at a chosen time after the flood's last frame (0 to 400 ms, one offset per iteration),
// so that it meets whatever the flood left for the event loop: the strength, the grids, the
// board, the names on the wall. Measured from the moment the frame is due to the first sound.
//
// Views: 0 the classic window, 1 the hall view (privacy=1), 2 the wall layout, 3 without a window.
// Floods: 10,000 pager answers (each a pager row and its answer, ids not in mannschaft.csv);
// 100,000 status messages of distinct call names; 1,000 status messages with a fahrzeuge.ini of
// 100,000 lines; a mannschaft.csv of 100,000 rows rewritten every second (alarms while it is);
// 4: none, the alarm alone for comparison.
//
// BM_AlarmBehindFlood: the same floods and the alarm in one TCP stream through the link as the
// program has it, the alarm's frame sent right behind the flood's last: from the moment the alarm's
// frame is handed to the network to its first sound (p50_ms, max_ms), and to its showing in its
// turn after the flood (shown_p50_ms).
//
// BM_WallCpu: the wall layout's processor time at 28 messages a second with a station alarm, over
// 30 s, scaled to a minute.
#include "alarm/AlarmCore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "app/Form1.h"
#include "bench/BenchMain.h"
#include "bench/ShortSound.h"
#include "bench/StampingOutput.h"
#include "common/AppContext.h"
#include "link/MessageReceiver.h"
#include "link/ServerLink.h"
#include "station/Station.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = StampingOutput::Clock;

enum class View { Classic, Hall, Wall, Headless };
enum class Flood { Answers, Statuses, VehicleList, CrewRewritten, None };

constexpr int kOffsets = 9; // 0, 50, ... 400 ms after the flood
constexpr qsizetype kChunk = 64 * 1024; // what one read of the socket hands on

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray crewRows(int rows, int round)
{
    QByteArray bytes("Melder;Name;Qualifikation\n");
    for (int i = 0; i < rows; ++i)
        bytes += QByteArray::number(100000 + i) + ";Person " + QByteArray::number(i) + " " + QByteArray::number(round)
            + ";" + (i % 10 ? "AGT Ma" : "GF AGT") + "\n";
    return bytes;
}

double ownCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The station with its window (or none) in a data folder of its own, its link idle, the first
// sound stamped.
struct Monitor {
    QTemporaryDir home;
    AppContext ctx;
    std::atomic<Clock::rep> started { 0 };
    std::unique_ptr<Announcer> announcer;
    std::unique_ptr<Station> station;
    std::unique_ptr<Form1> form;
    std::unique_ptr<MessageReceiver> receiver;
    QString data;

    Monitor(View view, const QByteArray& extraDisplay, const QList<std::pair<QString, QByteArray>>& files)
    {
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        ctx.ProgramFolder = home.path();
        data = QDir(home.path()).filePath(QStringLiteral("Torvelle"));
        QDir().mkpath(data);
        writeShortSound(QDir(home.path()).filePath(QStringLiteral("alarm.wav")));
        QByteArray display = extraDisplay;
        if (view == View::Hall)
            display += "privacy=1\n";
        if (view == View::Wall)
            display += "layout=wall\nstandby_minutes=60\n";
        writeFile(QDir(data).filePath(QStringLiteral("display.ini")), display);
        writeFile(QDir(data).filePath(QStringLiteral("map.ini")), "host=http://127.0.0.1:9\r\nkey=\r\n");
        for (const auto& [name, bytes] : files)
            writeFile(QDir(data).filePath(name), bytes);
        announcer = std::make_unique<Announcer>(ctx, std::make_unique<StampingOutput>(started));
        station = std::make_unique<Station>(ctx, Station::Link::Idle);
        station->setAnnouncementOutput(announcer.get());
        if (view != View::Headless) {
            form = std::make_unique<Form1>(*station);
            form->resize(view == View::Wall ? QSize(1920, 1080) : QSize(1264, 936));
            form->show();
            form->load();
        } else {
            station->load();
            station->replayLastAlarm();
        }
        station->settings().PlayAlarmWav = true;
        receiver = std::make_unique<MessageReceiver>(station->core());
        runFor(300);
    }
    ~Monitor()
    {
        form.reset();
        receiver.reset();
        station.reset();
    }

    // The bytes as the socket hands them on, the event loop turning between reads.
    void receive(const QByteArray& bytes)
    {
        for (qsizetype at = 0; at < bytes.size(); at += kChunk) {
            receiver->ReceiveChunk(QByteArrayView(bytes).sliced(at, std::min(kChunk, bytes.size() - at)));
            QCoreApplication::processEvents();
        }
    }

    // The station alarm's frame arriving `offsetMs` after now: the seconds from then to its first
    // sound; negative when none came.
    double alarmAfter(int offsetMs, int n)
    {
        const QByteArray frame
            = MessageReceiver::frame(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tB%1\t44135\tDortmund\tKampstraße"
                                                    "\t12\tHof\tInnenstadt\tStadthaus\t3. OG\t\tHLF 20\a\t1\t51,5\t7,4")
                                         .arg(n));
        started = 0;
        const Clock::time_point due = Clock::now() + std::chrono::milliseconds(offsetMs);
        QTimer arrival;
        arrival.setSingleShot(true);
        arrival.setTimerType(Qt::PreciseTimer);
        QObject::connect(&arrival, &QTimer::timeout, [&] { receiver->ReceiveChunk(frame); });
        arrival.start(offsetMs);
        const Clock::time_point giveUp = due + std::chrono::seconds(10);
        while (started == 0 && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (started == 0)
            return -1;
        const double seconds
            = std::chrono::duration<double>(Clock::time_point(Clock::duration(started.load())) - due).count();
        while (station->announcements().busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return seconds;
    }
};

QByteArray floodBytes(Flood flood, int round)
{
    QByteArray bytes;
    switch (flood) {
    case Flood::Answers:
        for (int i = 0; i < 10000; ++i) {
            const int id = 500000 + (round * 10000 + i) % 1000000;
            bytes += MessageReceiver::frame(QStringLiteral("WACHALARM_MELDER\tPerson %1\t%1").arg(id));
            bytes += MessageReceiver::frame(QStringLiteral("WACHALARM_RM\t%1\t%2").arg(id).arg(i % 3));
        }
        break;
    case Flood::Statuses:
        for (int i = 0; i < 100000; ++i)
            bytes += MessageReceiver::frame(
                QStringLiteral("WACHALARM_STATUS\tFlorian %1-%2\t%3").arg(round).arg(i).arg(i % 10));
        break;
    case Flood::VehicleList:
        for (int i = 0; i < 1000; ++i)
            bytes += MessageReceiver::frame(QStringLiteral("WACHALARM_STATUS\tFlorian %1\t%2").arg(i * 97).arg(i % 10));
        break;
    case Flood::CrewRewritten:
        for (int i = 0; i < 200; ++i)
            bytes += MessageReceiver::frame(QStringLiteral("WACHALARM_RM\t%1\t1").arg(100000 + i * 13));
        break;
    case Flood::None:
        break;
    }
    return bytes;
}

QList<std::pair<QString, QByteArray>> filesFor(Flood flood)
{
    QList<std::pair<QString, QByteArray>> files { { QStringLiteral("mannschaft.csv"), crewRows(20, 0) } };
    if (flood == Flood::VehicleList) {
        QByteArray list;
        for (int i = 0; i < 100000; ++i)
            list += "Florian " + QByteArray::number(i) + " = F " + QByteArray::number(i) + "\n";
        files << std::pair { QStringLiteral("fahrzeuge.ini"), list };
    }
    if (flood == Flood::CrewRewritten)
        files = { { QStringLiteral("mannschaft.csv"), crewRows(100000, 0) } };
    return files;
}

// Another program that rewrites mannschaft.csv every second while it lives; its processor time is
// not the monitor's.
class CrewRewriter {
public:
    explicit CrewRewriter(const QString& path)
        : m_thread([this, path] {
            for (int round = 1; !m_stop; ++round) {
                const auto next = Clock::now() + std::chrono::seconds(1);
                const double before = threadCpuSeconds();
                writeFile(path, crewRows(100000, round));
                m_cpuNs += (long long)((threadCpuSeconds() - before) * 1e9);
                while (!m_stop && Clock::now() < next)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        })
    {
    }
    ~CrewRewriter()
    {
        m_stop = true;
        m_thread.join();
    }
    [[nodiscard]] double cpuSeconds() const { return double(m_cpuNs) / 1e9; }

private:
    std::atomic<bool> m_stop { false };
    std::atomic<long long> m_cpuNs { 0 };
    std::thread m_thread;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_AlarmAfterFlood(benchmark::State& state)
{
    const auto view = View(state.range(0));
    const auto flood = Flood(state.range(1));
    Monitor m(view, {}, filesFor(flood));
    std::unique_ptr<CrewRewriter> writer;
    if (flood == Flood::CrewRewritten)
        writer = std::make_unique<CrewRewriter>(QDir(m.data).filePath(QStringLiteral("mannschaft.csv")));
    double between = 0, betweenSeconds = 0;
    m.alarmAfter(0, 0); // an alarm on screen for the answers to count against

    std::vector<double> delays;
    int n = 0;
    for (auto _ : state) {
        ++n;
        m.receive(floodBytes(flood, n));
        const double seconds = m.alarmAfter((n - 1) % kOffsets * 50, n);
        if (seconds < 0)
            return state.SkipWithError("the alarm did not reach the loudspeakers");
        state.SetIterationTime(seconds);
        delays.push_back(seconds * 1000);
        if (flood == Flood::CrewRewritten) {
            // The file goes on being rewritten between alarms.
            const double cpu = ownCpuSeconds() - writer->cpuSeconds();
            const Clock::time_point from = Clock::now();
            runFor(2500);
            between += ownCpuSeconds() - writer->cpuSeconds() - cpu;
            betweenSeconds += std::chrono::duration<double>(Clock::now() - from).count();
        }
    }
    state.counters["max_ms"] = *std::max_element(delays.begin(), delays.end());
    state.counters["first_ms"] = delays.front();
    if (flood == Flood::CrewRewritten)
        state.counters["cpu_s_per_30s"] = between / betweenSeconds * 30;
}
BENCHMARK(BM_AlarmAfterFlood)
    ->ArgsProduct({ { 0, 1, 2, 3 }, { 0, 1, 2, 3, 4 } })
    ->ArgNames({ "view", "flood" })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kOffsets);

// Sends everything on a blocking socket; false when the connection failed.
bool sendAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t sent = ::send(fd, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes = bytes.sliced(sent);
    }
    return true;
}

// The dispatch computer on 127.0.0.1, as plain blocking sockets: accepts the link of the monitor.
struct Dispatch {
    int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    int peer = -1;

    Dispatch()
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listening, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listening, 1) != 0
            || ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            qFatal("cannot listen on 127.0.0.1");
        port = ntohs(address.sin_port);
    }
    ~Dispatch()
    {
        if (peer >= 0)
            ::close(peer);
        ::close(listening);
    }
    quint16 port = 0;
};

void BM_AlarmBehindFlood(benchmark::State& state)
{
    const auto view = View(state.range(0));
    const auto flood = Flood(state.range(1));
    Monitor m(view, {}, filesFor(flood));
    std::unique_ptr<CrewRewriter> writer;
    if (flood == Flood::CrewRewritten)
        writer = std::make_unique<CrewRewriter>(QDir(m.data).filePath(QStringLiteral("mannschaft.csv")));
    m.alarmAfter(0, 0);

    Dispatch dispatch;
    m.station->settings().ServerAddress = QStringLiteral("127.0.0.1");
    m.ctx.ServerPort = dispatch.port;
    ServerLink link(m.ctx, m.station->settings(), m.station->core());
    link.superviseTick();
    dispatch.peer = ::accept(dispatch.listening, nullptr, nullptr);
    if (link.LinkState() != ServerLink::State::Connected || dispatch.peer < 0)
        return state.SkipWithError("no link");
    std::atomic<Clock::rep> shown { 0 };
    QObject::connect(
        &m.station->core(), &AlarmCore::stationAlarm, &link, [&] { shown = Clock::now().time_since_epoch().count(); });

    std::vector<double> heard, seen;
    int n = 0;
    for (auto _ : state) {
        ++n;
        const QByteArray flooding = floodBytes(flood, n);
        const QByteArray alarm
            = MessageReceiver::frame(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tB%1\t44135\tDortmund\tKampstraße"
                                                    "\t12\tHof\tInnenstadt\tStadthaus\t3. OG\t\tHLF 20\a\t1\t51,5\t7,4")
                                         .arg(n));
        m.started = 0;
        shown = 0;
        std::atomic<Clock::rep> due { 0 };
        std::atomic<bool> sent { false };
        std::thread sender([&] {
            sent = sendAll(dispatch.peer, flooding);
            due = Clock::now().time_since_epoch().count();
            sent = sent && sendAll(dispatch.peer, alarm);
        });
        // The event loop waits for its events as the program's does, never spinning: a thread that
        // spins is the last to get a core back on a busy machine.
        const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(30);
        QTimer awake;
        awake.start(50);
        while ((m.started == 0 || shown == 0) && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        awake.stop();
        sender.join();
        if (!sent || m.started == 0 || shown == 0)
            return state.SkipWithError("the alarm did not reach the loudspeakers and the screen");
        const auto since
            = [&](Clock::rep at) { return std::chrono::duration<double>(Clock::duration(at - due.load())).count(); };
        state.SetIterationTime(since(m.started));
        heard.push_back(since(m.started) * 1000);
        seen.push_back(since(shown) * 1000);
        while (m.station->announcements().busy() && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        runFor(300);
    }
    state.counters["p50_ms"] = median(heard);
    state.counters["max_ms"] = *std::max_element(heard.begin(), heard.end());
    state.counters["shown_p50_ms"] = median(seen);
}
BENCHMARK(BM_AlarmBehindFlood)
    ->ArgsProduct({ { 0, 1, 2, 3 }, { 0, 1, 2, 3, 4 } })
    ->ArgNames({ "view", "flood" })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// 28 messages a second as a busy evening brings them: status messages, pager rows, answers and
// ticker lines, with a station alarm at the start; 30 s of it.
void BM_WallCpu(benchmark::State& state)
{
    QByteArray vehicles;
    for (int i = 0; i < 12; ++i)
        vehicles += "Florian Hagen 1-" + QByteArray::number(i) + " = F " + QByteArray::number(i) + "\n";
    Monitor m(View::Wall, {},
        { { QStringLiteral("mannschaft.csv"), crewRows(60, 0) }, { QStringLiteral("fahrzeuge.ini"), vehicles } });
    for (auto _ : state) {
        int i = 0;
        QTimer feed;
        feed.setTimerType(Qt::PreciseTimer);
        QObject::connect(&feed, &QTimer::timeout, [&] {
            ++i;
            QString message;
            switch (i % 14) {
            case 0:
                message = QStringLiteral("WACHALARM_TICKER\tILS Nord\aEA 7\a08.12.2026\a19:%1:00\a\a\aLage %2")
                              .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(i);
                break;
            case 1:
            case 2:
            case 3:
            case 4:
                message = QStringLiteral("WACHALARM_MELDER\tPerson %1\t%2").arg(i % 60).arg(100000 + i % 60);
                break;
            case 5:
            case 6:
            case 7:
            case 8:
                message = QStringLiteral("WACHALARM_RM\t%1\t%2").arg(100000 + i % 60).arg(i % 3);
                break;
            default:
                message = QStringLiteral("WACHALARM_STATUS\tFlorian Hagen 1-%1\t%2").arg(i % 12).arg(i % 9 + 1);
            }
            m.receiver->ReceiveChunk(MessageReceiver::frame(message));
        });
        const double before = ownCpuSeconds();
        m.alarmAfter(0, 1);
        feed.start(1000 / 28);
        runFor(30000);
        feed.stop();
        const double used = ownCpuSeconds() - before;
        state.counters["cpu_s_per_min"] = used * 2;
        state.counters["messages"] = i;
    }
}
BENCHMARK(BM_WallCpu)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
