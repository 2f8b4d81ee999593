// What an alarm costs the monitor: how soon a station alarm is on the screen and the first sound
// starts, and how a burst of status and pager messages is taken.
#include "alarm/AlarmHandler.h"
#include "alarm/AnnouncementOutput.h"
#include "app/Form1.h"
#include "common/AppContext.h"

#include <QApplication>
#include <QTableWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

class SilentOutput : public AnnouncementOutput {
public:
    void PlayWave(const QString&) override {}
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override {}
};

AlarmControls controlsOf(Form1& form)
{
    AlarmControls c;
    c.label_einsatz = form.label_einsatz;
    c.Label2 = form.Label2;
    c.Label4 = form.Label4;
    c.Image_Blau = form.Image_Blau;
    c.Image2 = form.Image2;
    c.Image3 = form.Image3;
    c.MSFlexGrid1 = form.MSFlexGrid1;
    c.Grid_Status = form.Grid_Status;
    c.Grid_Melder = form.Grid_Melder;
    return c;
}

// 500 status and 500 pager messages in a row into a shown window, then what the station does with
// the grids afterwards: a feedback for the oldest pager (the longest search) and a full repaint.
void BM_StatusAndPagerBurst(benchmark::State& state)
{
    QTemporaryDir dir;
    AppContext ctx;
    ctx.DataFolder = dir.path();
    ctx.ProgramFolder = dir.path();
    ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
    SilentOutput output;
    double feedbackMs = 0;
    double repaintMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<Form1>(ctx);
        AlarmHandler handler(ctx, controlsOf(*form), nullptr, &output);
        handler.InitAlarmGrids();
        form->show();
        QCoreApplication::processEvents();
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
        form->repaint();
        auto t2 = Clock::now();
        feedbackMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        repaintMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        if (form->Grid_Melder->rowCount() != 500 || form->Grid_Status->rowCount() != 500
            || form->Grid_Melder->item(499, 1)->text() != QStringLiteral("kommt"))
            state.SkipWithError("the burst did not arrive whole");
        form.reset();
        state.ResumeTiming();
    }
    state.counters["feedback_after_ms"] = benchmark::Counter(feedbackMs / double(state.iterations()));
    state.counters["repaint_after_ms"] = benchmark::Counter(repaintMs / double(state.iterations()));
}
BENCHMARK(BM_StatusAndPagerBurst)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
