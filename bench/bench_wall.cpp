// The wall layout on a 1920 x 1080 window: from the standby view to a station alarm on screen,
// what ten minutes of standby cost the processor, and what a hostile calendar costs the link and
// the first sound.
#include "alarm/AlarmCore.h"
#include "announce/AnnouncementOutput.h"
#include "app/Form1.h"
#include "app/WallScreen.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "link/MessageReceiver.h"
#include "link/ServerLink.h"
#include "station/Station.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/HostileCalendars.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

namespace {

// Hears nothing: every step ends at once, through the event loop as a real one would. Notes
// when the first wave of an alarm begins.
class SilentOutput : public AnnouncementOutput {
public:
    QElapsedTimer* firstSound = nullptr;
    qint64 heardAfterNs = -1;
    void PlayWave(const QString&) override
    {
        if (firstSound && heardAfterNs < 0)
            heardAfterNs = firstSound->nsecsElapsed();
        endStep();
    }
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override { endStep(); }
    void StopStep() override { endStep(); }

private:
    void endStep() { QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection); }
};

// A shown wall window in a data folder of its own, its link stopped, in standby.
struct WallWindow {
    QTemporaryDir home;
    AppContext ctx;
    SilentOutput output;
    std::unique_ptr<Station> station;
    std::unique_ptr<Form1> form;

    explicit WallWindow(const QByteArray& calendar = {})
    {
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        ctx.ProgramFolder = home.path();
        const QString folder = QDir(home.path()).filePath(QStringLiteral("Torvelle"));
        QDir().mkpath(folder);
        QFile ini(QDir(folder).filePath(QStringLiteral("display.ini")));
        const QByteArray calendarKey = calendar.isEmpty() ? QByteArray() : "calendar=termine.ics\n";
        if (!ini.open(QIODevice::WriteOnly) || ini.write("layout=wall\nstandby_minutes=60\n" + calendarKey) < 0)
            qFatal("cannot write display.ini");
        ini.close();
        QFile ics(QDir(folder).filePath(QStringLiteral("termine.ics")));
        if (!calendar.isEmpty() && (!ics.open(QIODevice::WriteOnly) || ics.write(calendar) != calendar.size()))
            qFatal("cannot write termine.ics");
        ics.close();
        station = std::make_unique<Station>(ctx, Station::Link::Idle);
        form = std::make_unique<Form1>(*station);
        station->setAnnouncementOutput(&output);
        form->resize(1920, 1080);
        form->show();
        form->load();
        QCoreApplication::processEvents();
    }
    ~WallWindow()
    {
        form.reset();
        station.reset();
    }
};

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// From the station alarm's frame reaching the receiver to the wall's labels set and the window
// painted, starting from the standby view each time.
void BM_StandbyToAlarmOnScreen(benchmark::State& state)
{
    WallWindow w;
    MessageReceiver receiver(w.station->core());
    int n = 0;
    for (auto _ : state) {
        w.form->wallScreen()->showStandby();
        w.form->repaint();
        QCoreApplication::processEvents();
        const QByteArray frame = MessageReceiver::frame(QStringList { "WACHALARM", "Einsatz", "08.12.2026 19:42",
            "Rauch aus Dachgeschoss", QStringLiteral("B 3 - Brand Wohnhaus %1").arg(++n), "80331", "München",
            "Hauptstraße", "12", "Anrufer sieht Rauch", "Altstadt", "Wohnhaus", "Hinterhaus", "",
            "HLF 20\aDLK 23\aRTW 1\a", "1", "48.1374", "11.5755", "Huber, Anna" }
                                                            .join('\t'));
        QElapsedTimer timer;
        timer.start();
        // The frame's handler paints the alarm before it returns to start the announcement.
        receiver.ReceiveChunk(frame);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (w.form->wallScreen()->standbyShown())
            return state.SkipWithError("the alarm did not replace the standby view");
    }
}
BENCHMARK(BM_StandbyToAlarmOnScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// Ten minutes of standby with the standby view's clock driven 60 times as fast: ten changes of the
// minute in ten seconds, each repainting the clock, the date and the ages. The processor time of
// the whole process over that span.
void BM_StandbyIdleCpu(benchmark::State& state)
{
    WallWindow w;
    const QDateTime start(QDate(2026, 12, 8), QTime(11, 59, 59, 500));
    QElapsedTimer real;
    real.start();
    w.form->wallScreen()->setClock([&] { return start.addMSecs(real.elapsed() * 60); }, 60);
    for (auto _ : state) {
        const double before = cpuSeconds();
        QEventLoop idle;
        QTimer::singleShot(10'000, &idle, &QEventLoop::quit);
        idle.exec();
        state.counters["cpu_ms_per_10_min"] = benchmark::Counter((cpuSeconds() - before) * 1000);
    }
    if (auto* clock = w.form->wallScreen()->findChild<QWidget*>(QStringLiteral("clock")))
        state.SetLabel(clock->property("text").toString().toStdString());
}
BENCHMARK(BM_StandbyIdleCpu)->Unit(benchmark::kSecond)->Iterations(1);

const QList<QPair<const char*, QByteArray>>& hostileCalendars()
{
    static const QList<QPair<const char*, QByteArray>> all = HostileCalendars::all();
    return all;
}

void nameCalendar(benchmark::State& state)
{
    const QByteArray& ics = hostileCalendars().at(state.range(0)).second;
    state.SetLabel(
        std::string(hostileCalendars().at(state.range(0)).first) + ", " + std::to_string(ics.size()) + " bytes");
}

// From building the wall window with a hostile calendar to the dispatch computer (a local one)
// holding the monitor's registration: the link opens as load() ends, the calendar is read beside it.
void BM_RegisterWithCalendar(benchmark::State& state)
{
    nameCalendar(state);
    for (auto _ : state) {
        FakeDispatch dispatch;
        if (!dispatch.listen())
            return state.SkipWithError("no local port");
        QElapsedTimer timer;
        timer.start();
        WallWindow w(hostileCalendars().at(state.range(0)).second);
        w.ctx.ServerPort = dispatch.port();
        w.station->settings().ServerAddress = QStringLiteral("127.0.0.1");
        w.station->link().superviseTick();
        if (!dispatch.waitForReceived(1, 600'000))
            return state.SkipWithError("no registration");
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_RegisterWithCalendar)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// From a station alarm's frame to its first sound with a hostile calendar, the frame arriving
// right behind the return to standby and the minute's tick, as the worst moment for it.
void BM_FirstSoundWithCalendar(benchmark::State& state)
{
    nameCalendar(state);
    WallWindow w(hostileCalendars().at(state.range(0)).second);
    w.station->settings().PlayAlarmWav = true;
    MessageReceiver receiver(w.station->core());
    // The calendar's first reading, bounded by its deadline, is over before the first alarm.
    QEventLoop settle;
    QTimer::singleShot(5000, &settle, &QEventLoop::quit);
    settle.exec();
    int n = 0;
    for (auto _ : state) {
        const QByteArray frame = MessageReceiver::frame(QStringList { "WACHALARM", "Einsatz", "08.12.2026 19:42",
            "Rauch", QStringLiteral("B 3 - Brand %1").arg(++n), "80331", "München", "Hauptstraße", "12", "", "", "", "",
            "", "HLF 20\a", "1", "48.1374", "11.5755", "" }
                                                            .join('\t'));
        QElapsedTimer timer;
        w.output.firstSound = &timer;
        w.output.heardAfterNs = -1;
        WallScreen* wall = w.form->wallScreen();
        timer.start();
        QMetaObject::invokeMethod(wall, &WallScreen::showStandby, Qt::QueuedConnection);
        QMetaObject::invokeMethod(wall, &WallScreen::refresh, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            w.form.get(), [&] { receiver.ReceiveChunk(frame); }, Qt::QueuedConnection);
        while (w.output.heardAfterNs < 0 && timer.elapsed() < 60'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (w.output.heardAfterNs < 0)
            return state.SkipWithError("no sound");
        state.SetIterationTime(double(w.output.heardAfterNs) / 1e9);
        // The announcement ends before the next alarm.
        QEventLoop rest;
        QTimer::singleShot(200, &rest, &QEventLoop::quit);
        rest.exec();
    }
}
BENCHMARK(BM_FirstSoundWithCalendar)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
