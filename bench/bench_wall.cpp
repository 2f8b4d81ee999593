// The wall layout on a 1920 x 1080 window: from the standby view to a station alarm on screen,
// and what ten minutes of standby cost the processor.
#include "announce/AnnouncementOutput.h"
#include "app/Form1.h"
#include "app/WallScreen.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "link/MessageReceiver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

namespace {

// Hears nothing: every step ends at once, through the event loop as a real one would.
class SilentOutput : public AnnouncementOutput {
public:
    void PlayWave(const QString&) override { endStep(); }
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
    std::unique_ptr<Form1> form;

    WallWindow()
    {
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        ctx.ProgramFolder = home.path();
        const QString folder = QDir(home.path()).filePath(QStringLiteral("Torvelle"));
        QDir().mkpath(folder);
        QFile ini(QDir(folder).filePath(QStringLiteral("display.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("layout=wall\nstandby_minutes=60\n") < 0)
            qFatal("cannot write display.ini");
        ini.close();
        form = std::make_unique<Form1>(ctx, Form1::LinkTimer::Stopped);
        form->setAnnouncementOutput(&output);
        form->resize(1920, 1080);
        form->show();
        form->load();
        QCoreApplication::processEvents();
    }
    ~WallWindow() { form.reset(); }
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
    MessageReceiver receiver(*w.form);
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

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
