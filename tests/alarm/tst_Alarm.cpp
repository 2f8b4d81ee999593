// What an alarm message turns into (labels, map position, last.dat, what the station hears), with
// real files. The presenter that puts it on real widgets: tst_AlarmWindow.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmPlan.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "station/ControlServer.h"
#include "station/Station.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QLocalSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using AlarmText::alarm;
using TestFiles::readAll;

namespace {

// Unit sounds on, from the program folder /p.
struct Context : AppContext {
    StationSettings settings;
    Context()
    {
        ProgramFolder = QStringLiteral("/p");
        settings.PlayUnitWavs = true;
    }
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
        StationSettings& s = ctx.settings;
        s.SpeechEnabled = s.SpeakKeyword = s.SpeakStreet = s.SpeakObject = s.SpeakUnits = s.SpeakOutsideTown
            = s.SpeakDistrict = true;
        s.SpeechProgramPath = QStringLiteral("/bin/say");
        const auto plan = PlanStationAlarm(alarm(), false, ctx, ctx.settings);
        QCOMPARE(plan->announcement.speech->text,
            QStringLiteral("B3\r\n\r\nKampstraße\r\n\r\n12\r\n\r\nObjekt \r\n\r\nStadthaus\r\n\r\n"
                           "Alarmiert sind\r\nELW 1\r\nRTW(D)\r\nIch wiederhole         Alarmiert sind\r\n"
                           "ELW 1\r\nRTW(D)\r\n\r\n"));
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

    // A station alarm during a test alarm's speech: the speech program is ended at once, and the
    // real alarm is heard whole (alarm sound, unit sound) after the test's alarm sound.
    void realAlarmStopsTestAlarm()
    {
        const QTemporaryDir dir;
        const SoundCapture capture(dir.path());
        Context ctx;
        ctx.ProgramFolder = ctx.DataFolder = dir.path();
        ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
        ctx.settings.PlayAlarmWav = ctx.settings.SpeechEnabled = true;
        ctx.settings.SpeechProgramPath = dir.filePath(QStringLiteral("say.sh"));
        const QString speaking = dir.filePath(QStringLiteral("speaking"));
        QVERIFY(TestFiles::writeScript(ctx.settings.SpeechProgramPath,
            "grep -q Probealarm \"$1\" || exit 0\ntouch '" + QFile::encodeName(speaking) + "'\nexec sleep 600"));
        const QByteArray alarmSound = SoundWriter::write(dir.filePath(QStringLiteral("alarm.wav")), 1);
        const QByteArray unitSound = SoundWriter::write(dir.filePath(QStringLiteral("RTW.wav")), 2);
        Announcer announcer(ctx);
        AnnouncementQueue queue(ctx, announcer);
        AlarmCore core(ctx, ctx.settings);
        core.setAnnouncements(&queue);
        QVERIFY(core.HandleTestAlarm());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(speaking), 30000);
        QVERIFY(!core.HandleTestAlarm()); // a test never cuts an announcement
        core.HandleStationAlarm(alarm({ { 14, "RTW\a" } }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!queue.busy(), 30000);
        QCOMPARE(capture.captured(), alarmSound + alarmSound + unitSound);
    }

    // A test alarm never replaces a live alarm of the last hour on screen; once Ctrl+C has closed
    // it, the test runs.
    void testAlarmYieldsToLiveAlarm()
    {
        const QTemporaryDir home;
        const SoundCapture capture(home.path());
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        AppContext ctx;
        ctx.ProgramFolder = home.path();
        Station station(ctx, Station::Link::Idle);
        station.load();
        station.core().HandleStationAlarm(alarm(), 0);
        const ControlAnswer refused = station.testAlarm();
        QVERIFY(!refused.ok);
        QVERIFY(refused.text.contains(QRegularExpression("^Kein Probealarm: der Einsatz von \\d\\d:\\d\\d steht")));
        QCOMPARE(station.incident().plan()->source, AlarmSource::Dispatch);
        station.clearIncident();
        QVERIFY(station.testAlarm().ok);
        QCOMPARE(station.incident().plan()->source, AlarmSource::Test);
    }

    // What each request on the control socket gets, through a real socket (0600): the answer, or a
    // line saying what was wrong, and the connection closed; nothing more happens.
    void controlSocket_data()
    {
        columns<QByteArray, QString>("request", "answer");
        const QString unknown = "fehler\nUnbekannte Anfrage; bekannt sind: status, test-alarm\n";
        row("status", QByteArray("status\n"), "ok\nLeitstelle 1: verbunden\n");
        row("CR LF ends it too", QByteArray("test-alarm\r\n"), "ok\nProbealarm ausgelöst\n");
        row("unknown", QByteArray("reboot\n"), unknown);
        row("empty", QByteArray("\n"), unknown);
        row("not text", QByteArray("sta\0tus\xff\n", 9), unknown);
        row("too long", QByteArray(65, 's'), "fehler\nAnfrage zu lang\n");
        row("no line end in time", QByteArray("status"), "fehler\nKeine vollständige Anfrage innerhalb von 2 s\n");
    }
    void controlSocket()
    {
        auto [request, answer] = fetch<QByteArray, QString>("request", "answer");
        ControlServer server;
        server.handle("status", [] { return ControlAnswer { true, "Leitstelle 1: verbunden" }; });
        server.handle("test-alarm", [] { return ControlAnswer { true, "Probealarm ausgelöst" }; });
        QVERIFY(server.listen(m_dir.path()));
        struct stat mode { };
        QVERIFY(::stat(QFile::encodeName(server.path()).constData(), &mode) == 0 && (mode.st_mode & 0777) == 0600);
        QLocalSocket client;
        client.connectToServer(server.path());
        QVERIFY(client.waitForConnected());
        client.write(request);
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += client.readAll(), client.state() == QLocalSocket::UnconnectedState), 10000);
        QCOMPARE(QString::fromUtf8(got + client.readAll()), answer);
    }
    // A data folder that others may write to gets no socket.
    void controlSocketOnlyInOwnFolder()
    {
        const QString shared = m_dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared) && ::chmod(QFile::encodeName(shared).constData(), 0770) == 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No control socket")));
        QVERIFY(!ControlServer().listen(shared));
        QVERIFY(!QFile::exists(shared + QStringLiteral("/kessvenn.sock")));
    }
};

QTEST_MAIN(AlarmTest)
#include "tst_Alarm.moc"
