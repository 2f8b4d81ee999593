// What an alarm message turns into (labels, map position, last.dat, what the station hears) and
// how the handler applies it to real widgets, a recording map and real files.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "announce/SoundOutput.h"
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"
#include "map/Geocoder.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/RecordingMap.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QLabel>
#include <QMutex>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWaitCondition>

using TestFiles::readAll;

namespace {

// A station alarm of 19 fields; field i replaced where given, cut after `count` fields.
QString alarm(const QMap<int, QString>& fields = {}, int count = 19)
{
    QStringList f { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", "B3", "44135", "Dortmund", "Kampstraße", "12",
        "Zufahrt\r\nHof", "", "Stadthaus", "3. OG", "", "ELW 1\aRTW(D)\a", "1", "51,5", "7,4", "Herr Meier" };
    for (auto it = fields.begin(); it != fields.end(); ++it)
        f[it.key()] = it.value();
    return f.mid(0, count).join(QChar(9));
}

// Unit sounds on, from the program folder /p.
struct Context : AppContext {
    StationSettings settings;
    Context()
    {
        ProgramFolder = QStringLiteral("/p");
        settings.PlayUnitWavs = true;
    }
};

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
    struct State {
        QMutex mutex;
        QWaitCondition moved;
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
        const QMutexLocker lock(&s.mutex);
        return s.heard << QString::number(format.sampleRate) + (QFile::exists(s.speaking) ? "+speech" : ""), true;
    }
    bool write(const void*, qint64) override
    {
        for (QMutexLocker lock(&s.mutex); s.heard.size() > s.through;)
            s.moved.wait(&s.mutex);
        return true;
    }
    void drain() override { }
    void close() override { }
    static void let(State& s, qsizetype count) { QMutexLocker(&s.mutex), s.through = count, s.moved.wakeAll(); }
    static QStringList sounds(State& s) { return QMutexLocker(&s.mutex), s.heard; }
};

} // namespace

class AlarmTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void coordinates_data()
    {
        // pair: latitude;longitude; expected: empty when the address is looked up
        columns<QString, int, QString>("pair", "count", "expected");
        row("comma as decimal point", "51,5;7,4", 19, "51.5,7.4");
        row("point, blanks around", " 51.5136 ;-7.4653", 19, "51.5136,-7.4653");
        row("longitude missing", "51,5;", 17, "");
        row("longitude empty", "51,5;", 19, "");
        row("latitude empty", ";7,4", 19, "");
        row("latitude not a number", "Nord;7,4", 19, "");
        row("text after the number", "51,5x;7,4", 19, "");
        row("latitude beyond the pole", "91;7,4", 19, "");
    }
    void coordinates()
    {
        auto [pair, count, expected] = fetch<QString, int, QString>("pair", "count", "expected");
        const QStringList latLng = pair.split(QLatin1Char(';'));
        const Context ctx;
        const auto plan
            = PlanStationAlarm(alarm({ { 16, latLng[0] }, { 17, latLng[1] } }, count), false, ctx, ctx.settings);
        QVERIFY(plan);
        QCOMPARE(plan->coordinates.value_or(QString()), expected);
        QCOMPARE(plan->address, QStringLiteral("44135 Dortmund,Kampstraße 12"));
    }

    void unitSounds_data()
    {
        columns<QString, int, QStringList>("units", "shown", "played");
        row("markers left out of the file name", "LF 1(A)\aRTW(D)\a", 2, QStringList { "LF 1", "RTW" });
        row("a sound once per alarm", "RTW\aRTW(D)\aELW\aRTW\a", 4, QStringList { "RTW", "ELW" });
        QStringList many;
        for (int i = 0; i < 40; ++i)
            many << QStringLiteral("U%1").arg(i);
        row("at most 30 sounds, every unit shown", many.join(QChar(7)) + QChar(7), 40, many.mid(0, 30));
        row("no file outside the program folder", "../x\aa/b\a\aHLF\a", 4, QStringList { "HLF" });
        row("without a bell no unit", "HLF", 0, QStringList {});
        row("the station's own sound first", "HLF\aGW-L2\a", 2, QStringList { "HLF", "Sounds/GW-L2" });
    }
    // The station's own sounds are in the data folder's Sounds, here GW-L2.wav alone.
    void unitSounds()
    {
        auto [units, shown, played] = fetch<QString, int, QStringList>("units", "shown", "played");
        Context ctx;
        ctx.DataFolder = m_dir.path();
        QVERIFY(QDir(m_dir.path()).mkpath("Sounds") && TestFiles::writeAll(m_dir.filePath("Sounds/GW-L2.wav"), "RIFF"));
        for (QString& name : played)
            name = (name.startsWith("Sounds/") ? m_dir.path() : QStringLiteral("/p")) + '/' + name
                + QStringLiteral(".wav");
        const auto plan = PlanStationAlarm(alarm({ { 14, units } }), true, ctx, ctx.settings);
        QCOMPARE(plan->units.size(), shown);
        QCOMPARE(plan->announcement.unitSounds, played);
        const UnitAlarmPlan unitAlarm = PlanUnitAlarm(QStringLiteral("WACHALARM_EM\t") + units, ctx, ctx.settings);
        QCOMPARE(unitAlarm.units, plan->units);
        QCOMPARE(unitAlarm.announcement.unitSounds, played);
    }

    // What the plan stores in last.dat, reads back from it and gives the speech program to say.
    void lastAlarmAndSpeech()
    {
        const QByteArray expected
            = "WACHALARM\r\nBrand\r\nB3 Y\r\nWohnungsbrand\r\nB3\r\n44135\r\nDortmund\r\n"
              "Kampstra\xdf"
              "e\r\n12\r\nZufahrt<CR>Hof\r\n\r\nStadthaus\r\n3. OG\r\n\r\nELW 1\aRTW(D)\a\r\n1\r\n"
              "51,5\r\n7,4\r\n";
        Context ctx;
        QCOMPARE(PlanStationAlarm(alarm(), false, ctx, ctx.settings)->lastAlarm, expected);
        QCOMPARE(PlanStationAlarm(alarm(), true, ctx, ctx.settings)->lastAlarm, std::nullopt);
        // Read back: the line breaks restored, the informant lost, one empty field more.
        QCOMPARE(LastAlarmStore::messageFromBytes(expected), alarm({ { 18, "" } }));
        QCOMPARE(LastAlarmStore::messageFromBytes("A\nB\rC\r\nD"), QStringLiteral("A\tB\rC\tD\t"));
        // Fewer than seven fields: ignored; a unit alarm without units: silence.
        QCOMPARE(PlanStationAlarm(alarm({}, 6), false, ctx, ctx.settings).has_value(), false);
        QVERIFY(PlanUnitAlarm(QStringLiteral("WACHALARM_EM"), ctx, ctx.settings).announcement == Announcement {});
        // What the speech program is given to say, fields 10 and 13 empty.
        ctx.settings.SpeechEnabled = true;
        ctx.settings.SpeechProgramPath = QStringLiteral("/bin/say");
        ctx.settings.SpeakKeyword = ctx.settings.SpeakStreet = ctx.settings.SpeakObject = ctx.settings.SpeakUnits
            = true;
        ctx.settings.SpeakOutsideTown = ctx.settings.SpeakDistrict = true;
        const auto plan = PlanStationAlarm(alarm(), false, ctx, ctx.settings);
        QCOMPARE(plan->announcement.speech->text,
            QStringLiteral("B3\r\n\r\nKampstraße\r\n\r\n12\r\n\r\nObjekt \r\n\r\nStadthaus\r\n\r\n"
                           "Alarmiert sind\r\nELW 1\r\nRTW(D)\r\nIch wiederhole         Alarmiert sind\r\n"
                           "ELW 1\r\nRTW(D)\r\n\r\n"));
    }

    void gridsKeepTheNewestRows()
    {
        AppContext ctx;
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
        const StationSettings settings;
        // A search that never answers by itself: the test answers in its place.
        HttpResponder silent([](const HttpResponder::Request&) { return HttpResponder::silence(); });
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
        const Window& window = station.window;
        AlarmCore& handler = station.core;

        handler.HandleStationAlarm(alarm({ { 4, "B1" }, { 14, "A\aB\a" } }), 0);
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
            handler.HandleStationAlarm(alarm({ { 4, "B2" }, { 14, "B\a" } }), 0);
        else
            handler.HandleUnitAlarm(second);
        // On screen at once, whatever is being heard.
        QCOMPARE(window.controls.label_einsatz[1]->text() + " " + window.shown().mid(9).join(" "), shown);
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
        const Window& window = station.window;
        AlarmCore& handler = station.core;
        handler.HandleStationAlarm(alarm(), 1);
        handler.HandleStationAlarm(alarm({ { 4, "TH" }, { 10, "" }, { 11, "" }, { 12, "" } }, 13), 1);
        QCOMPARE(window.shown(),
            QStringList(
                { "Wohnungsbrand", "TH", "Kampstraße 12", "44135 Dortmund", "", "", "", "Zufahrt\r\nHof", "" }));
        const QString remark = QStringLiteral("Zufahrt \U0001F692 ").repeated(90'000);
        QSignalSpy planned(&handler, &AlarmCore::stationAlarm);
        handler.HandleStationAlarm(alarm({ { 9, remark } }), 1);
        QCOMPARE(planned.at(0).at(0).value<StationAlarmPlan>().labels[7], remark);
        QCOMPARE(window.controls.label_einsatz[7]->text(), remark.left(AlarmHandler::kMostLabelCharacters - 1) + " …");
    }

    void fullDiskKeepsOldFilesAndSounds()
    {
        const QString disk = m_dir.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        const SmallDisk smallDisk(disk);
        if (!smallDisk.mounted())
            QSKIP("mounting a 64 KiB tmpfs is not permitted here (needs root)");
        const SoundCapture capture(m_dir.path());
        AppContext ctx;
        StationSettings record;
        ctx.ProgramFolder = m_dir.path();
        ctx.DataFolder = disk;
        ctx.LastAlarmPath = disk + QStringLiteral("/last.dat");
        record.PlayAlarmWav = record.PlayUnitWavs = record.SpeechEnabled = true;
        record.SpeechProgramPath = QStringLiteral("/bin/true");
        record.SpeechTextFile = disk + QStringLiteral("/sabbel.txt");
        const QByteArray sounds = SoundWriter::write(m_dir.filePath(QStringLiteral("alarm.wav")), 1)
            + SoundWriter::write(m_dir.filePath(QStringLiteral("RTW.wav")), 2);
        Announcer announcer(ctx);
        AnnouncementQueue queue(ctx, announcer);
        AlarmCore handler(ctx, record);
        handler.setAnnouncements(&queue);
        handler.HandleStationAlarm(alarm({ { 4, "B1" } }), 0);
        QTRY_VERIFY(!queue.busy());
        const QByteArray stored = readAll(ctx.LastAlarmPath);
        QVERIFY(stored.contains("B1") && QFile::exists(ctx.dataFile(QStringLiteral("sound.sh"))));
        const QByteArray script = readAll(ctx.dataFile(QStringLiteral("sound.sh")));

        QVERIFY(QFile::exists(smallDisk.fill()));
        capture.clear();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Last alarm could not be stored")));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^Speech script .* could not be written")));
        handler.HandleStationAlarm(alarm({ { 4, QString(60000, QLatin1Char('y')) } }), 0);
        QTRY_VERIFY(!queue.busy());
        QCOMPARE(readAll(ctx.LastAlarmPath), stored);
        QCOMPARE(readAll(ctx.dataFile(QStringLiteral("sound.sh"))), script);
        QCOMPARE(capture.captured(), sounds); // the alarm sound and the unit sounds all the same
    }
};

QTEST_MAIN(AlarmTest)
#include "tst_Alarm.moc"
