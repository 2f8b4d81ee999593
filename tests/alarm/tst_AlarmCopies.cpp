// One alarm from many copies: the dispatch hosts' paths and the radio path through the station's
// inbox, heard through ALSA's file plugin, spoken by a script, shown in the window and kept in
// the history; the copies' state across a restart and a state file that cannot be read.
#include "alarm/Incident.h"
#include "common/CodePage.h"
#include "link/ServerLink.h"
#include "paths/AlarmInbox.h"
#include "settings/SettingsFile.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"

#include "announce/AnnouncementQueue.h"

#include <QSignalSpy>

namespace {

using AlarmText::alarm;

// A station heard, spoken and kept for real; the inbox's clock set by the test.
struct Copies : WindowFixture {
    SoundCapture capture { home.path() };
    QByteArray heard; // the alarm sound and the unit sound of one station alarm
    QDateTime now = QDateTime::currentDateTimeUtc();

    Copies()
    {
        StationSettings s;
        s.PlayAlarmWav = s.PlayUnitWavs = s.SpeechEnabled = s.SpeakKeyword = true;
        s.SpeechProgramPath = home.filePath("say"), s.SpeechTextFile = home.filePath("sabbel.txt");
        heard = SoundWriter::write(home.filePath("alarm.wav"), 1) + SoundWriter::write(home.filePath("ELW 1.wav"), 2);
        QVERIFY(TestFiles::writeScript(s.SpeechProgramPath,
                    "tr -d '\\r\\n' < \"$1\" >> '" + QFile::encodeName(home.path()) + "/spoken'; echo >> '"
                        + QFile::encodeName(home.path()) + "/spoken'")
            && putDataFile("settings.dat", SettingsFileBytes(s)));
        start();
    }
    void start()
    {
        form->load();
        station->inbox().clock = [this] { return now; };
        idle();
        capture.clear();
    }
    MessageHandlers& path(int i) const { return station->inbox().dispatchPath(i); }
    void idle() const { QTRY_VERIFY_WITH_TIMEOUT(!station->announcements().busy(), 30000); }
    // What was heard up to a unit alarm's sounds, which follow everything before them.
    QByteArray heardUntilMarker()
    {
        path(0).HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tELW 1\a"));
        idle();
        const QByteArray all = capture.captured();
        return all.endsWith(heard) ? all.chopped(heard.size()) : "no marker: " + all;
    }
    QStringList history(const char* columns) const
    {
        return SqliteRows(dataFile("history.sqlite"),
            QStringLiteral("SELECT %1 FROM alarms WHERE kind = 'station' ORDER BY id").arg(columns));
    }
};

// The first copy without remark, coordinates and object's full name; the second without informant.
const QString kFirst = alarm({ { 9, "" }, { 11, "Stadt" }, { 16, "" }, { 17, "" } });
const QString kSecond = alarm({ { 18, "" } });

} // namespace

class AlarmCopiesTest : public QObject {
    Q_OBJECT

private slots:
    void dispatchCopies_data()
    {
        columns<int, int, QString, int, int, QString>("first", "second", "copy", "minutes", "alarms", "paths");
        row("Leitstelle 1 first", 0, 1, kSecond, 0, 1, "Leitstelle 1; Leitstelle 2 +3,0 s");
        row("Leitstelle 2 first", 1, 0, kSecond, 0, 1, "Leitstelle 2; Leitstelle 1 +3,0 s");
        row("copy before the first's turn", -1, 1, kSecond, 0, 1, "Leitstelle 1; Leitstelle 2 +3,0 s");
        row("case, blanks, umlauts", 0, 1, alarm({ { 18, "" }, { 7, "KAMPSTRASSE " }, { 6, "dort mund" } }), 0, 1,
            "Leitstelle 1; Leitstelle 2 +3,0 s");
        row("the same host again", 0, 0, kSecond, 0, 2, "Leitstelle 1");
        row("another keyword", 0, 1, alarm({ { 4, "B4" }, { 18, "" } }), 0, 2, "Leitstelle 2");
        row("after the window", 0, 1, kSecond, 11, 2, "Leitstelle 2");
        row("no keyword, no address", 0, 1, alarm({ { 18, "" }, { 4, "" }, { 6, "" }, { 7, "" }, { 8, "" } }), 0, 2,
            "Leitstelle 2");
    }
    // A copy from another path within the window is neither heard nor shown anew: its fields fill
    // the alarm on screen and in the history. The same host again, another keyword, or a copy after
    // the window is an alarm of its own.
    void dispatchCopies()
    {
        auto [first, second, copy, minutes, alarms, paths]
            = fetch<int, int, QString, int, int, QString>("first", "second", "copy", "minutes", "alarms", "paths");
        Copies f;
        // A copy without keyword follows a first copy without keyword and address.
        QStringList fields = kFirst.split('\t');
        for (int i : { 4, 6, 7, 8 })
            fields[i] = copy.section('\t', 4, 4).isEmpty() ? QString() : fields[i];
        const QString original = fields.join('\t');
        // -1: Leitstelle 1's alarm heard ahead, as it waits behind other messages; the copy comes
        // before its turn.
        if (first < 0)
            f.path(0).AnnounceAhead(original);
        else
            f.path(first).HandleStationAlarm(original, 0);
        f.idle();
        f.now = f.now.addSecs(3 + 60 * minutes);
        f.path(second).HandleStationAlarm(copy, 0);
        if (first < 0)
            f.path(0).HandleStationAlarm(original, 0);
        QCOMPARE(f.heardUntilMarker(), f.heard.repeated(alarms));
        const QStringList shown = f.incidentTexts();
        QCOMPARE(shown.mid(5, 4),
            (QStringList { "Stadthaus", "", "Zufahrt\r\nHof", alarms == 1 ? "Mitteiler: Herr Meier" : "" }));
        QTRY_COMPARE(f.history("count(*), max(informant), max(lat), max(paths)").value(0),
            QStringLiteral("%1|Herr Meier|51.5|%2").arg(alarms).arg(paths));
    }

    void radioAndDispatch_data()
    {
        columns<bool, QString, QString, QString>("radioFirst", "spoken", "header", "paths");
        row("radio, then dispatch", true, "Alarm Löschzug Mitte\nB3\n", "Brand",
            "Funkmeldeempfänger; Leitstelle 1 +3,0 s");
        row("dispatch, then radio", false, "B3\n", "Brand", "Leitstelle 1; Funkmeldeempfänger +3,0 s");
    }
    // A radio alarm and its dispatch alarm are one alarm, its sound heard once: the dispatch data
    // that follows is shown and its details spoken; a radio alarm after it is taken silently.
    void radioAndDispatch()
    {
        auto [radioFirst, spoken, header, paths]
            = fetch<bool, QString, QString, QString>("radioFirst", "spoken", "header", "paths");
        Copies f;
        const RadioAlarm radio { "1234567", QChar('B'), "Alarm Löschzug Mitte", {} };
        const std::function<void()> fromRadio = [&] { f.station->inbox().takeRadioAlarm(radio); };
        const std::function<void()> fromDispatch = [&] { f.path(0).HandleStationAlarm(kSecond, 0); };
        (radioFirst ? fromRadio : fromDispatch)();
        f.idle();
        f.now = f.now.addSecs(3);
        (radioFirst ? fromDispatch : fromRadio)();
        // The radio's tone-only message followed by its text, still within the window: the same alarm.
        f.station->inbox().takeRadioAlarm(RadioAlarm { radio.ric, radio.subAddress, radio.label, "B3 Kampstraße" });
        QCOMPARE(f.heardUntilMarker(), f.heard);
        QCOMPARE(TestFiles::readAll(f.home.filePath("spoken")), CodePage::encode(spoken));
        QCOMPARE(f.incidentTexts().value(11), header);
        QTRY_VERIFY(f.station->incident().position()); // the dispatch data's coordinates place it
        QTRY_COMPARE(f.history("count(*), max(keyword), max(paths)").value(0), "1|B3|" + paths);
    }

    // A copy of an alarm that a newer one replaced on screen goes into its row of the history only.
    void copyOfAnOlderAlarm()
    {
        Copies f;
        f.path(0).HandleStationAlarm(kFirst, 0);
        f.path(0).HandleStationAlarm(alarm({ { 4, "B4" }, { 9, "" } }), 0);
        f.path(1).HandleStationAlarm(kSecond, 0);
        QCOMPARE(f.incidentTexts().mid(1, 7),
            (QStringList { "B4", "Kampstraße 12", "44135 Dortmund", "3. OG", "Stadthaus", "", "" }));
        QTRY_COMPARE(f.history("keyword, remark, paths"),
            (QStringList { "B3|Zufahrt\r\nHof|Leitstelle 1; Leitstelle 2 +0,0 s", "B4||Leitstelle 1" }));
    }

    // Two dispatch hosts on loopback, each with a real link of its own: their alarm is heard once,
    // the second host's fields fill it on screen.
    void twoRealLinks()
    {
        Copies f;
        FakeDispatch one, two;
        if (!one.listen() || !two.listen(one.port(), QHostAddress(QStringLiteral("127.0.0.2"))))
            QSKIP("no port free on both 127.0.0.1 and 127.0.0.2");
        f.ctx.ServerPort = one.port();
        StationSettings first = f.station->settings(), second = first;
        first.ServerAddress = QStringLiteral("127.0.0.1"), second.ServerAddress = QStringLiteral("127.0.0.2");
        ServerLink a(f.ctx, first, f.path(0)), b(f.ctx, second, f.path(1));
        a.superviseTick(), b.superviseTick();
        QTRY_VERIFY(one.clientCount() == 1 && two.clientCount() == 1);
        one.sendMessage(kFirst);
        QTRY_COMPARE(f.incidentTexts().value(8), QStringLiteral("Mitteiler: Herr Meier"));
        two.sendMessage(kSecond);
        QTRY_COMPARE(f.incidentTexts().value(7), QStringLiteral("Zufahrt\r\nHof"));
        QCOMPARE(f.heardUntilMarker(), f.heard);
    }

    // A radio alarm that no dispatch alarm follows stays in the history as such: the station's text
    // for its RIC, and the message that followed its tone.
    void radioAlone()
    {
        Copies f;
        f.station->inbox().takeRadioAlarm(RadioAlarm { "1234567", {}, "Alarm Löschzug Mitte", {} });
        f.station->inbox().takeRadioAlarm(RadioAlarm { "1234567", {}, "Alarm Löschzug Mitte", "B3 Kampstraße" });
        QTRY_COMPARE(
            f.history("keyword, remark, paths"), QStringList("Alarm Löschzug Mitte|B3 Kampstraße|Funkmeldeempfänger"));
    }

    // Status, pager, answer and ticker messages and unit alarms from two hosts are taken once; the
    // same host sending one again means it.
    void messagesOnce()
    {
        Copies f;
        (void)f.path(1);
        QStringList taken;
        for (auto message : { &AlarmCore::statusMessage, &AlarmCore::feedbackMessage })
            connect(&f.station->core(), message, this, [&](const QString& text) { taken << text.section('\t', 0, 2); });
        connect(&f.station->core(), &AlarmCore::unitAlarm, this, [&] { taken << "EM"; });
        connect(&f.station->core(), &AlarmCore::tickerDeleted, this, [&] { taken << "DEL"; });
        for (int host : { 0, 1 }) {
            f.path(host).InsertStatusRow("WACHALARM_STATUS\tFlorian 1\t3");
            f.path(host).HandleFeedback("WACHALARM_RM\t4711\t1");
            f.path(host).HandleFeedback("WACHALARM_RM\t4711\t0");
            f.path(host).HandleUnitAlarm("WACHALARM_EM\tRTW 1\a");
            f.path(host).DeleteTicker();
        }
        f.path(1).InsertStatusRow("WACHALARM_STATUS\tFlorian 1\t3");
        QCOMPARE(taken.join('|').replace('\t', ' '),
            "WACHALARM_STATUS Florian 1 3|WACHALARM_RM 4711 1|WACHALARM_RM 4711 0|"
            "EM|DEL|WACHALARM_STATUS Florian 1 3");
    }

    // The copy after a restart is still known: not heard, its fields and path in the history; the
    // state file keeps no personal field, and the history loses none.
    void restartBetweenCopies()
    {
        Copies f;
        // The history knows the alarm of before the restart by its time, as the inbox took it.
        f.now = QDateTime::currentDateTimeUtc();
        f.path(0).HandleStationAlarm(kFirst, 0);
        f.idle();
        f.restart();
        f.start();
        QCOMPARE(QFile::permissions(f.dataFile(AlarmInbox::kStateFileName)) & ~QFile::Permissions(0x0f00),
            QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!TestFiles::readAll(f.dataFile(AlarmInbox::kStateFileName)).contains("Meier"));
        f.now = QDateTime::currentDateTimeUtc();
        f.path(1).HandleStationAlarm(kSecond, 0);
        QCOMPARE(f.heardUntilMarker(), QByteArray());
        QTRY_COMPARE(f.history("count(*), remark, informant, lat, paths LIKE 'Leitstelle 1; Leitstelle 2 +%'").value(0),
            QStringLiteral("1|Zufahrt\r\nHof|Herr Meier|51.5|1"));
    }

    void badStateFile_data()
    {
        columns<QByteArray>("bytes");
        row("not JSON", QByteArray("\x01\xff{{garbage"));
        row("cut short", QByteArray("{\"version\":1,\"alarms\":[{\"kind\":0,\"key\":\""));
        row("a list", QByteArray("[1,2,3]"));
        row("another version", QByteArray("{'version':7,'alarms':[]}").replace('\'', '"'));
        row("wrong types",
            QByteArray(R"({"version":1,"alarms":[7,{"kind":"x"},{"kind":0,"key":1,"copies":[[0,0]]},)"
                       R"({"kind":0,"key":"k","first":1e300,"copies":[["a"]],"fields":3}]})"));
        row("too large", QByteArray(17 * 1024 * 1024, ' '));
    }
    // A state file that cannot be read is dropped with a warning and replaced: the next alarm is
    // heard, never lost.
    void badStateFile()
    {
        auto [bytes] = fetch<QByteArray>("bytes");
        Copies f;
        f.restart();
        QVERIFY(f.putDataFile(AlarmInbox::kStateFileName, bytes));
        f.start();
        f.path(1).HandleStationAlarm(kSecond, 0);
        QCOMPARE(f.heardUntilMarker(), f.heard);
        QTRY_VERIFY(TestFiles::readAll(f.dataFile(AlarmInbox::kStateFileName)).startsWith("{\"alarms\":[{"));
    }
};

QTEST_MAIN(AlarmCopiesTest)
#include "tst_AlarmCopies.moc"
