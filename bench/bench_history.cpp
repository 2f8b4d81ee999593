// The alarm history with 100,000 alarms of one year in history.sqlite: opening the list and one
// keystroke of its search, as the station's screen does them. A station alarm after 5,000 pager
// answers: how long until its row is in the file.
#include "alarm/AlarmCore.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "history/HistoryModel.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryView.h"

#include <QApplication>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAlarms = 100000;

// The history file, filled once for all benchmarks: this year's alarms, a few hundred a day apart.
const QString& filledHistory()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    static bool filled = false;
    if (filled)
        return path;
    filled = true;
    HistoryStore store(path);
    if (!store.open())
        return path;
    const QDateTime start(QDate(QDate::currentDate().year(), 1, 1), QTime(0, 0));
    const qint64 step = start.secsTo(start.addYears(1)) / kAlarms;
    const QStringList streets { "Kampstraße", "Hauptstraße", "Am Markt", "Brückenweg", "Lindenallee" };
    const QStringList keywords { "B3", "TH1", "RD", "B1", "ABC2", "TH VU" };
    QList<HistoryEntry> batch;
    for (int i = 0; i < kAlarms; ++i) {
        const QString units = QStringLiteral("ELW %1\aHLF %2\aRTW %3\a").arg(i % 3).arg(i % 7).arg(i % 11);
        batch.append({ HistoryEntry::Kind::Station, start.addSecs(step * i),
            { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", keywords[i % keywords.size()], "44135", "Dortmund",
                streets[i % streets.size()], QString::number(i % 200), QStringLiteral("Vermerk %1").arg(i), "", "", "",
                "", units, "1", "", "", "Herr Meier" } });
        if (batch.size() == 5000) {
            (void)store.store(batch);
            batch.clear();
        }
    }
    return path;
}

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Runs the event loop until the condition holds, at most a minute.
bool waitFor(const std::function<bool()>& done)
{
    const auto t0 = Clock::now();
    while (!done() && msSince(t0) < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// From the button to the list shown: years, the year's rows, the chart, the first paint.
void BM_OpenHistoryView(benchmark::State& state)
{
    const QString& path = filledHistory();
    int rows = 0;
    double readMs = 0;
    for (auto _ : state) {
        {
            state.PauseTiming();
            HistoryReader reader(path);
            const auto r0 = Clock::now();
            if (reader.open())
                (void)reader.rows(QDate::currentDate().year());
            readMs += msSince(r0);
            state.ResumeTiming();
        }
        const auto t0 = Clock::now();
        HistoryView view(path);
        view.reload();
        view.show();
        view.repaint();
        state.SetIterationTime(msSince(t0) / 1000);
        rows = view.model().rowCount();
    }
    if (rows != kAlarms)
        state.SkipWithError("the list does not hold every alarm");
    state.counters["rows"] = rows;
    state.counters["reading_alone_ms"] = readMs / double(state.iterations());
}
BENCHMARK(BM_OpenHistoryView)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// One keystroke that changes the search so that every row is read again, and the paint after it.
void BM_HistorySearchKeystroke(benchmark::State& state)
{
    HistoryView view(filledHistory());
    view.reload();
    view.show();
    auto* search = view.findChild<QLineEdit*>(QStringLiteral("search"));
    const QStringList texts { "kamp", "hlf 3", "vermerk 99", "b", "lindenallee 1", "" };
    int i = 0;
    int shown = 0;
    double firstMs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        search->setText(texts[i++ % texts.size()]);
        view.repaint();
        state.SetIterationTime(msSince(t0) / 1000);
        if (i == 1)
            firstMs = msSince(t0);
        shown += view.model().rowCount();
    }
    // The first keystroke after opening also makes the rows' search texts.
    state.counters["first_key_ms"] = firstMs;
    state.counters["rows_shown_per_key"] = double(shown) / double(state.iterations());
}
BENCHMARK(BM_HistorySearchKeystroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// 5,000 pager answers to the last alarm reach the recorder, then a station alarm: from the alarm
// to its row in the file (seen by a reader of its own), and to the last answer in the file.
void BM_AlarmRowAfterFeedback(benchmark::State& state)
{
    QTemporaryDir dir;
    constexpr int kAnswers = 5000;
    int run = 0;
    double answersMs = 0;
    const QString alarm = QStringLiteral("WACHALARM\tBrand\tB3 Y\tWohnungsbrand\t%1\t44135\tDortmund\tKampstraße\t12");
    for (auto _ : state) {
        const QString path = dir.filePath(QStringLiteral("history-%1.sqlite").arg(++run));
        AppContext ctx;
        StationSettings record;
        ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
        AlarmCore core(ctx, record);
        HistoryRecorder recorder(path, ctx.LastAlarmPath, {});
        int written = 0;
        bool open = false;
        QObject::connect(&recorder, &HistoryRecorder::written, [&written] { ++written; });
        QObject::connect(&recorder, &HistoryRecorder::started, [&open](bool ok) { open = ok; });
        recorder.start();
        if (!waitFor([&open] { return open; }))
            return state.SkipWithError("the history did not open");
        recorder.watch(core);
        core.HandleStationAlarm(alarm.arg(QStringLiteral("B3")), 0);
        if (!waitFor([&written] { return written == 1; }))
            return state.SkipWithError("the first alarm was not kept");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        db.open();
        const auto count = [&db](const char* sql) {
            QSqlQuery q(db);
            return q.exec(QString::fromLatin1(sql)) && q.next() ? q.value(0).toInt() : -1;
        };
        const auto t0 = Clock::now();
        for (int i = 0; i < kAnswers; ++i)
            core.HandleFeedback(QStringLiteral("WACHALARM_RM\t%1\t1").arg(i));
        const auto t1 = Clock::now();
        core.HandleStationAlarm(alarm.arg(QStringLiteral("TH1")), 0);
        while (count("SELECT count(*) FROM alarms") < 2)
            QThread::usleep(200);
        state.SetIterationTime(msSince(t1) / 1000);
        if (!waitFor([&written] { return written == 2 + kAnswers; }))
            state.SkipWithError("the answers were not kept");
        answersMs += msSince(t0);
        if (count("SELECT count(*) FROM answers") != kAnswers)
            state.SkipWithError("not every answer was kept");
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    }
    state.counters["answers_all_kept_ms"] = answersMs / double(state.iterations());
}
BENCHMARK(BM_AlarmRowAfterFeedback)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv, BenchDisplay::Offscreen);
}
