// The presenter of the alarm: the incident's labels and the grids, the marker, and what is on
// screen while the announcement goes on.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/Incident.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "announce/SoundOutput.h"
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"
#include "map/Geocoder.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/RecordingMap.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

using AlarmText::alarm;

namespace {

struct Window {
    QWidget widget;
    AlarmControls controls;
    Window()
    {
        for (QLabel*& label : controls.label_einsatz)
            label = new QLabel(&widget);
        for (QTableWidget** grid : { &controls.MSFlexGrid1, &controls.Grid_Status, &controls.Grid_Melder })
            *grid = new QTableWidget(&widget);
    }
    // The incident labels, then the units.
    QStringList shown() const
    {
        QStringList texts;
        for (const QLabel* label : controls.label_einsatz)
            texts << label->text();
        for (int r = 0; r < controls.MSFlexGrid1->rowCount(); ++r)
            texts << controls.MSFlexGrid1->item(r, 0)->text();
        return texts;
    }
};

// The alarm's way as the program has it: the core, and the screen watching it.
struct Station {
    Window window;
    AlarmCore core;
    AlarmHandler handler;
    Station(AppContext& ctx, const StationSettings& settings, AlarmMap* map = nullptr,
        AnnouncementQueue* announcements = nullptr)
        : core(ctx, settings)
        , handler(window.controls, map)
    {
        core.setAnnouncements(announcements);
        handler.watch(core);
    }
};

// The loudspeakers of the overlap test: every sound is noted by its rate, "+speech" when a speech
// program was talking as it began, and waits at its first samples until the test lets it through.
struct GateSound final : SoundOutput {
    // std::mutex and std::condition_variable rather than Qt's: ThreadSanitizer sees their order.
    struct State {
        std::mutex mutex;
        std::condition_variable moved;
        QStringList heard;
        qsizetype through = 0; // how many sounds may play on
        QString speaking; // exists while the speech program talks
    };
    State& s;
    explicit GateSound(State& state)
        : s(state)
    {
    }
    bool open(const SoundFormat& format) override
    {
        const std::lock_guard lock(s.mutex);
        return s.heard << QString::number(format.sampleRate) + (QFile::exists(s.speaking) ? "+speech" : ""), true;
    }
    bool write(const void*, qint64) override
    {
        std::unique_lock lock(s.mutex);
        s.moved.wait(lock, [this] { return s.heard.size() <= s.through; });
        return true;
    }
    void drain() override { }
    void close() override { }
    static void let(State& s, qsizetype count)
    {
        const std::lock_guard lock(s.mutex);
        s.through = count;
        s.moved.notify_all();
    }
    static QStringList sounds(State& s)
    {
        const std::lock_guard lock(s.mutex);
        return s.heard;
    }
};

} // namespace

class AlarmWindowTest : public QObject {
    Q_OBJECT

private slots:
    void gridsKeepTheNewestRows()
    {
        Window window;
        AlarmHandler handler(window.controls, nullptr);
        QTableWidget* pagers = window.controls.Grid_Melder;
        for (int i = 0; i <= AlarmHandler::kMostGridRows; ++i) {
            handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tPerson %1\t%2").arg(i).arg(i % 999));
            handler.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tHLF %1\t3").arg(i));
        }
        // Id 1 stands in the newest and the oldest row, id 0 in the second. Feedback for rows not yet
        // shown, then for rows shown.
        handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t1\t1"));
        QSignalSpy shown(&handler, &AlarmHandler::rowsShown);
        QVERIFY(shown.wait());
        QCOMPARE(pagers->rowCount(), AlarmHandler::kMostGridRows);
        QCOMPARE(window.controls.Grid_Status->rowCount(), AlarmHandler::kMostGridRows);
        QCOMPARE(pagers->item(999, 0)->text(), QStringLiteral("Person 1")); // Person 0 went first
        QCOMPARE(window.controls.Grid_Status->item(0, 1)->text(), QStringLiteral("HLF 1000"));
        for (const char* feedback : { "0\t2.5", "2\t9", "3\t40000", "4", "5000\t1" })
            handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t") + QLatin1String(feedback));
        QVERIFY(shown.wait());
        QCOMPARE(pagers->item(0, 1)->text(), QStringLiteral("kommt")); // the newer row only
        QCOMPARE(pagers->item(1, 1)->text(), QStringLiteral("später")); // halves to even
        QCOMPARE(pagers->item(998, 1)->text(), QString()); // an unknown code: no word, on black
        QCOMPARE(pagers->item(998, 1)->background().color(), QColor(Qt::black));
        QCOMPARE(pagers->item(997, 1)->text(), QString()); // beyond 16 bits: nothing changes
        QVERIFY(pagers->item(997, 1)->background().style() == Qt::NoBrush);
        QCOMPARE(pagers->findItems(QStringLiteral("kommt"), Qt::MatchExactly).size(), 1);
    }

    // A feedback for a row out of sight colours it and leaves the view where it was: at the top, or
    // where it was scrolled to by hand.
    void feedbackLeavesTheViewAlone_data()
    {
        // scrolledTo: the first row in view; row: of the feedback
        columns<int, int>("scrolledTo", "row");
        row("at the top, the oldest row", 0, 59);
        row("scrolled by hand, the newest row", 30, 0);
    }
    void feedbackLeavesTheViewAlone()
    {
        auto [scrolledTo, row] = fetch<int, int>("scrolledTo", "row");
        Window window;
        AlarmHandler handler(window.controls, nullptr);
        QTableWidget* pagers = window.controls.Grid_Melder;
        pagers->resize(300, 200);
        window.widget.show();
        for (int i = 0; i < 60; ++i)
            handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tPerson %1\t%1").arg(1000 + i));
        QSignalSpy shown(&handler, &AlarmHandler::rowsShown);
        QVERIFY(shown.wait());
        QCoreApplication::processEvents(); // the view lays its rows out
        pagers->verticalScrollBar()->setValue(scrolledTo);
        QCOMPARE(pagers->verticalScrollBar()->value(), scrolledTo);
        handler.HandleFeedback(
            QStringLiteral("WACHALARM_RM\t%1\t1").arg(pagers->item(row, AlarmRows::kPagerIdColumn)->text()));
        QVERIFY(shown.wait());
        QCOMPARE(pagers->item(row, AlarmRows::kFeedbackColumn)->text(), QStringLiteral("kommt"));
        QCOMPARE(pagers->verticalScrollBar()->value(), scrolledTo);
    }

    // Where the marker and the centre go, and what the incident tells, as lookups answer late.
    void marker_data()
    {
        // "alarm", "alarm 50,8" (with coordinates), "again" (shown from the history), "unit", "clear",
        // "answer" (51.5,7.4 found), "fail"
        // expected: marker, centre, then the places told
        columns<QStringList, QString>("steps", "expected");
        row("answer after other messages", QStringList { "alarm", "unit", "answer" }, "51.5,7.4 51.5,7.4 7.4/51.5");
        row("half a pair is looked up", QStringList { "alarm 50,", "answer" }, "51.5,7.4 51.5,7.4 7.4/51.5");
        // An alarm with coordinates is placed at once; the older alarm's late answer places nothing.
        row("overtaken by a newer alarm", QStringList { "alarm", "alarm 50,8", "answer" }, "50,8 50,8 8/50");
        // The older alarm's place, told after the newer alarm has come, would be taken for its own.
        row("nothing found: no marker", QStringList { "alarm 50,8", "alarm", "fail" }, " 50,8 none");
        // An alarm of the history shown again is no new incident: nobody is told its place.
        row("shown again", QStringList { "again 50,8", "again", "answer" }, "51.5,7.4 51.5,7.4 ");
        row("cleared before the answer", QStringList { "alarm 50,8", "alarm", "clear", "answer" }, " 50,8 ");
    }
    void marker()
    {
        auto [steps, expected] = fetch<QStringList, QString>("steps", "expected");
        AppContext ctx;
        // A search that never answers by itself: the test answers in its place.
        HttpResponder silent([](const HttpResponder::Request&) { return HttpResponder::silence(); });
        const StationSettings settings;
        Geocoder live(ctx, settings), view(ctx, settings);
        live.setConfig(MapConfig::from(ConfigValues::parse(ConfigFile::Map, "provider=osm\nsearch=" + silent.base())));
        view.setConfig(live.config());
        Incident incident(live);
        RecordingMap map;
        Station station(ctx, settings, &map);
        incident.follow(station.core);
        station.handler.follow(incident);
        station.handler.setGeocoder(&view);
        Geocoder* answering = &live;
        QStringList placed;
        QObject::connect(&incident, &Incident::placed, [&](const std::optional<QPointF>& p) {
            placed << (p ? QStringLiteral("%1/%2").arg(p->x()).arg(p->y()) : QStringLiteral("none"));
        });
        for (const QString& step : steps) {
            const QStringList coordinates = step.section(QLatin1Char(' '), 1).split(QLatin1Char(','));
            const QString message = alarm({ { 16, coordinates.value(0) }, { 17, coordinates.value(1) } });
            if (step.startsWith(QLatin1String("alarm")))
                answering = &live, station.core.HandleStationAlarm(message, 1);
            else if (step.startsWith(QLatin1String("again")))
                answering = &view, station.handler.ShowAlarmAgain(*PlanStationAlarm(message, true, ctx, settings));
            else if (step == QLatin1String("unit"))
                station.core.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK\a"));
            else if (step == QLatin1String("clear"))
                incident.close();
            else
                emit answering->answered(answering->lastLookup(),
                    step == QLatin1String("answer") ? std::optional(QStringLiteral("51.5,7.4")) : std::nullopt);
            if (step == QLatin1String("answer") || step == QLatin1String("fail"))
                QCoreApplication::processEvents(); // the places are told through the event loop
        }
        QCoreApplication::processEvents();
        QCOMPARE(map.marker + QLatin1Char(' ') + map.centre + QLatin1Char(' ') + placed.join(' '), expected);
    }

    // A second alarm in each phase of the first one's announcement. alarm.wav plays at 8 kHz, the
    // unit sounds A and B at 11025 and 16000 Hz; the speech program notes what it says and whether
    // it was ended, and talks until the test lets it finish.
    void secondAlarm_data()
    {
        // phase: 0 alarm sound, 1 speech, 2 unit sounds; shown: keyword and units after the second alarm
        columns<int, QString, QStringList, QStringList, QString>("phase", "second", "heard", "spoken", "shown");
        const QString station = "WACHALARM_2", unit = "WACHALARM_EM\tA\a";
        const QStringList allOfFirst { "8000", "11025", "16000" };
        row("station alarm during the alarm sound", 0, station, QStringList { "8000", "8000", "16000" },
            QStringList { "say B2" }, "B2 B");
        row("station alarm during the speech", 1, station, QStringList { "8000", "8000", "16000" },
            QStringList { "say B1", "ended B1", "say B2" }, "B2 B");
        row("station alarm during the unit sounds", 2, station, QStringList { "8000", "11025", "8000", "16000" },
            QStringList { "say B1", "say B2" }, "B2 B");
        for (const auto& [phase, name] : { std::pair { 0, "alarm sound" }, { 1, "speech" }, { 2, "unit sounds" } })
            QTest::addRow("unit alarm during the %s: follows", name)
                << phase << unit << allOfFirst + QStringList { "8000", "11025" } << QStringList { "say B1" } << "B1 A";
    }
    void secondAlarm()
    {
        auto [phase, second, heard, spoken, shown]
            = fetch<int, QString, QStringList, QStringList, QString>("phase", "second", "heard", "spoken", "shown");
        QTemporaryDir dir;
        const auto file = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
        AppContext ctx;
        ctx.ProgramFolder = ctx.DataFolder = dir.path();
        ctx.LastAlarmPath = file("last.dat");
        StationSettings s;
        s.PlayAlarmWav = s.PlayUnitWavs = s.SpeechEnabled = s.SpeakKeyword = true;
        s.SpeechProgramPath = file("say"), s.SpeechTextFile = file("sabbel.txt");
        QVERIFY(TestFiles::writeScript(s.SpeechProgramPath,
            "cd '" + QFile::encodeName(dir.path())
                + "'\nt=$(tr -d '\\r\\n' < \"$1\")\n"
                  "echo $$ > speaking; echo \"say $t\" >> spoken\n"
                  "trap 'echo \"ended $t\" >> spoken; rm speaking; exit 0' TERM\n"
                  "while [ ! -f go ]; do sleep 0.02; done; rm speaking"));
        for (const auto& [name, rate] : { std::pair { "alarm.wav", 8000 }, { "A.wav", 11025 }, { "B.wav", 16000 } })
            QVERIFY(!SoundWriter::write(file(name), 1, 400, rate).isEmpty());
        GateSound::State device;
        device.speaking = file("speaking");
        Announcer announcer(ctx, std::make_unique<GateSound>(device));
        AnnouncementQueue queue(ctx, announcer);
        Station station(ctx, s, nullptr, &queue);
        station.core.HandleStationAlarm(alarm({ { 4, "B1" }, { 14, "A\aB\a" } }), 0);
        if (phase >= 1)
            GateSound::let(device, 1);
        QTRY_COMPARE(GateSound::sounds(device).size(), 1);
        if (phase >= 1)
            QTRY_COMPARE(TestFiles::readAll(file("spoken")), QByteArray("say B1\n"));
        if (phase == 2) {
            QVERIFY(TestFiles::writeAll(file("go"), {}));
            QTRY_COMPARE(GateSound::sounds(device).size(), 2);
            QVERIFY(QFile::remove(file("go")));
        }
        if (second == QLatin1String("WACHALARM_2"))
            station.core.HandleStationAlarm(alarm({ { 4, "B2" }, { 14, "B\a" } }), 0);
        else
            station.core.HandleUnitAlarm(second);
        // On screen at once, whatever is being heard.
        QCOMPARE(
            station.window.controls.label_einsatz[1]->text() + " " + station.window.shown().mid(9).join(" "), shown);
        GateSound::let(device, 1000);
        QVERIFY(TestFiles::writeAll(file("go"), {}));
        QTRY_VERIFY_WITH_TIMEOUT(!queue.busy(), 20000);
        QCOMPARE(GateSound::sounds(device), heard);
        QCOMPARE(QString::fromLatin1(TestFiles::readAll(file("spoken"))).split('\n', Qt::SkipEmptyParts), spoken);
    }

    // Fields that a newer alarm lacks leave their labels empty, never the older alarm's text. A
    // remark of 900 KB: the label shows its start, the plan keeps it whole.
    void shorterAlarmEmptiesLabels()
    {
        AppContext ctx;
        const StationSettings settings;
        Station station(ctx, settings);
        station.core.HandleStationAlarm(alarm(), 1);
        station.core.HandleStationAlarm(alarm({ { 4, "TH" }, { 10, "" }, { 11, "" }, { 12, "" } }, 13), 1);
        QCOMPARE(station.window.shown(),
            QStringList(
                { "Wohnungsbrand", "TH", "Kampstraße 12", "44135 Dortmund", "", "", "", "Zufahrt\r\nHof", "" }));
        const QString remark = QStringLiteral("Zufahrt \U0001F692 ").repeated(90'000);
        QSignalSpy planned(&station.core, &AlarmCore::stationAlarm);
        station.core.HandleStationAlarm(alarm({ { 9, remark } }), 1);
        QCOMPARE(planned.at(0).at(0).value<StationAlarmPlan>().labels[7], remark);
        QCOMPARE(station.window.controls.label_einsatz[7]->text(),
            remark.left(AlarmHandler::kMostLabelCharacters - 1) + " …");
    }
};

QTEST_MAIN(AlarmWindowTest)
#include "tst_AlarmWindow.moc"
