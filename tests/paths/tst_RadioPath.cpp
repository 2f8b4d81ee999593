// The radio pager path with the real decoder: POCSAG transmissions written by the test, decoded by
// multimon-ng run as the station's command, to the inbox, the alarm sound and the speech program;
// the decoder's lines one by one, the decoder ending and started again, the missed test message.
#include "alarm/AlarmCore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/ProcessGroup.h"
#include "config/StationSettings.h"
#include "paths/AlarmInbox.h"
#include "paths/RadioPath.h"
#include "station/Station.h"
#include "tests/support/DataRows.h"
#include "tests/support/PocsagSignal.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using PocsagSignal::Page;
using namespace std::chrono_literals;

namespace {

const QString kLine = QStringLiteral("POCSAG1200: Address: %1  Function: %2  Alpha:   %3<EOT><NUL>\n");

// A station whose decoder reads the FIFO `decoder`, alarm sound and speech into the test's capture
// and the file `spoken`: its RICs 1234567 (any sub-address), 1234567.B and 1234560, test RIC 1234999.
struct Receiver {
    QTemporaryDir dir;
    SoundCapture capture { dir.path() };
    QByteArray alarmSound = SoundWriter::write(dir.filePath(QStringLiteral("alarm.wav")), 1);
    AppContext ctx;
    StationSettings settings;
    Announcer announcer { ctx };
    AnnouncementQueue queue { ctx, announcer };
    AlarmCore core { ctx, settings };
    AlarmInbox inbox { ctx, core };
    PathStates paths;
    RadioPath radio { inbox, paths };
    QStringList handed; // "label|text"
    int fifo = -1;
    std::chrono::steady_clock::time_point now {};

    Receiver()
    {
        ctx.DataFolder = ctx.ProgramFolder = dir.path();
        settings.PlayAlarmWav = settings.SpeechEnabled = true;
        settings.SpeechProgramPath = dir.filePath(QStringLiteral("speak.sh"));
        settings.SpeechTextFile = dir.filePath(QStringLiteral("sabbel.txt"));
        const QByteArray spoken = QFile::encodeName(dir.filePath(QStringLiteral("spoken")));
        (void)TestFiles::writeScript(settings.SpeechProgramPath, "cat \"$1\" >> " + spoken + "; echo >> " + spoken);
        core.setAnnouncements(&queue);
        radio.setClock([this] { return now; });
        QObject::connect(&radio, &RadioPath::handedOn,
            [this](const RadioAlarm& a) { handed << a.label + QLatin1Char('|') + a.text; });
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("decoder")));
        fifo = ::mkfifo(path.constData(), 0600) == 0 ? ::open(path.constData(), O_RDWR) : -1;
    }
    ~Receiver() { ::close(fifo); }
    void start(const QString& command)
    {
        radio.setSettings(RadioSettings { QStringLiteral("cd '%1' || exit; ").arg(dir.path()) + command,
            { { "1234567", {}, "Alarm Löschzug Mitte" }, { "1234567", 'B', "Alarm Gruppe B" },
                { "1234560", {}, "Ende" } },
            "1234999", 3 });
    }
    bool send(const QByteArray& bytes)
    {
        return ::write(fifo, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Waits for the marker that ends every case: a message for RIC 1234560.
    bool ended()
    {
        return QTest::qWaitFor([&] { return handed.filter(QStringLiteral("Ende|")).size() == 1; }, 30000);
    }
    [[nodiscard]] PathStates::State state() const { return paths.paths().value(0).state; }
};

} // namespace

class RadioPathTest : public QObject {
    Q_OBJECT

private slots:
    // What multimon-ng decodes goes on once per message, the first alarm sounding and its RIC's
    // text spoken at once; the marker (RIC 1234560) ends each case.
    void transmissions_data()
    {
        columns<int, QList<Page>, QStringList>("baud", "pages", "expected");
        const Page text { 1234567, 3, "B3 Wohnhaus" }, tone { 1234567, 0, {} };
        const QStringList once { "Alarm Löschzug Mitte|B3 Wohnhaus" };
        for (const int baud : { 512, 1200, 2400 })
            row(qPrintable(QString::number(baud) + " baud"), baud, QList<Page> { text }, once);
        row("repeat taken once", 1200, QList<Page> { text, text }, once);
        row("tone-only, then its text, then the tone again", 1200, QList<Page> { tone, text, tone },
            QStringList { "Alarm Löschzug Mitte|" } + once);
        row("foreign RIC and test RIC ignored", 1200, QList<Page> { { 1200001, 3, "fremd" }, { 1234999, 3, "Probe" } },
            QStringList {});
        row("sub-address B before the RIC alone", 1200, QList<Page> { { 1234567, 1, "TH 1" }, { 1234567, 2, "TH 2" } },
            QStringList { "Alarm Gruppe B|TH 1", "Alarm Löschzug Mitte|TH 2" });
    }
    void transmissions()
    {
        auto [baud, pages, expected] = fetch<int, QList<Page>, QStringList>("baud", "pages", "expected");
        Receiver r;
        r.start(QStringLiteral("exec multimon-ng -q -t raw -a POCSAG%1 -f alpha - < decoder").arg(baud));
        for (const Page& page : pages)
            QVERIFY(r.send(PocsagSignal::samples({ page }, baud)));
        if (!expected.isEmpty()) { // the last one heard before the marker's alarm can cut it short
            QTRY_VERIFY_WITH_TIMEOUT(r.handed.size() == expected.size() && !r.queue.busy(), 30000);
            QVERIFY(r.capture.captured().startsWith(r.alarmSound));
            const QByteArray spoken = TestFiles::readAll(r.dir.filePath("spoken"));
            QVERIFY2(spoken.endsWith(CodePage::encode(expected.last().section('|', 0, 0)) + '\n'), spoken);
        }
        QVERIFY(r.send(PocsagSignal::samples({ { 1234560, 0, "x" } }, baud)));
        QVERIFY(r.ended());
        QCOMPARE(r.handed, expected << "Ende|x");
    }

    // Lines of the decoder's output that are no message for the station are ignored.
    void decoderLines_data()
    {
        columns<QByteArray, QStringList>("lines", "expected");
        row("banner and other modes",
            QByteArray("multimon-ng 1.2.0\nEnabled demodulators: POCSAG1200\nFLEX: 1234567 Alpha: x\n"),
            QStringList {});
        row("damaged",
            kLine.arg("1234567", "7", "x").toUtf8() + kLine.arg("9999999", "0", "x").toUtf8()
                + QByteArrayLiteral("POCSAG1200: Address: 1234567\n\0\xff\xfe POCSAG1200\n"),
            QStringList {});
        row("control characters made readable", kLine.arg("1234567", "0", "B3<LF>Feuer<BEL> <ETX>").toUtf8(),
            QStringList { "Alarm Löschzug Mitte|B3 Feuer" });
        row("overlong line dropped", QByteArray(100000, 'x') + '\n', QStringList {});
        row("overlong message cut", kLine.arg("1234567", "0", QString(100000, 'y')).toUtf8(),
            QStringList { "Alarm Löschzug Mitte|" + QString(RadioPath::MaxLineBytes - 52, 'y') });
    }
    void decoderLines()
    {
        auto [lines, expected] = fetch<QByteArray, QStringList>("lines", "expected");
        Receiver r;
        r.start(QStringLiteral("exec cat decoder"));
        QVERIFY(r.send(lines) && r.send(kLine.arg("1234560", "0", "x").toUtf8()));
        QVERIFY(r.ended());
        QCOMPARE(r.handed, expected << "Ende|x");
    }

    // A decoder that ends is down, then started again, its last line without line break still read;
    // what it left running ends with it, and the repeat of its message is not taken again.
    void endedDecoderRestarted()
    {
        QList<PathStates::State> states; // outlives the receiver, whose end changes the paths
        Receiver r;
        connect(&r.paths, &PathStates::changed, this, [&] { states << r.state(); });
        QSignalSpy starts(&r.radio, &RadioPath::decoderStarted);
        r.start("sleep 600 & echo $$ >> groups; printf '%s' '" + kLine.arg("1234567", "0", "B3").trimmed() + "'");
        QTRY_COMPARE_WITH_TIMEOUT(starts.size(), 3, 30000);
        QCOMPARE(r.handed, QStringList { "Alarm Löschzug Mitte|B3" });
        QVERIFY(states.count(PathStates::State::Down) >= 2);
        const QList<QByteArray> groups = TestFiles::readAll(r.dir.filePath("groups")).split('\n');
        QTRY_VERIFY(!ProcessGroupAlive(groups.value(0).toInt()));
        r.radio.stop();
        QCOMPARE(r.state(), PathStates::State::Down);
        for (const QByteArray& group : groups)
            QTRY_VERIFY(!ProcessGroupAlive(group.toInt()));
    }

    // A command that fails at once is tried again, the path down all the while; the journal says why.
    void failingDecoderStaysDown()
    {
        bool up = false; // outlives the receiver
        Receiver r;
        connect(&r.paths, &PathStates::changed, this, [&] { up = up || r.state() == PathStates::State::Connected; });
        QSignalSpy starts(&r.radio, &RadioPath::decoderStarted);
        QTest::ignoreMessage(
            QtWarningMsg, "Radio decoder exited with code 3 (\"No supported devices found\") - started again in 1 s");
        r.start(QStringLiteral("echo 'Found 0 devices' >&2; echo 'No supported devices found' >&2; exit 3"));
        QTRY_COMPARE_WITH_TIMEOUT(starts.size(), 2, 30000);
        QVERIFY(!up);
    }

    // Missed test messages: silent once overdue, never before, connected again with the next one.
    void missedTestMessage()
    {
        Receiver r;
        r.start(QStringLiteral("exec cat decoder"));
        QTRY_COMPARE(r.state(), PathStates::State::Connected);
        r.now += 3min;
        r.radio.checkTestMessage();
        QCOMPARE(r.state(), PathStates::State::Connected);
        r.now += 100s - RadioPath::WatchInterval;
        r.radio.checkTestMessage();
        QCOMPARE(r.state(), PathStates::State::Silent);
        QVERIFY(r.send(kLine.arg("1234999", "0", "Probe").toUtf8()));
        QTRY_COMPARE(r.state(), PathStates::State::Connected);
    }

    // alarmwege.ini's decoder command starts the radio path after the dispatch hosts; a change of
    // the hosts keeps it and its state, and without the command it is gone.
    void stationSetsRadio()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        AppContext ctx;
        ctx.ProgramFolder = home.path();
        const QString file = home.filePath("Torvelle/alarmwege.ini");
        const QByteArray radio = "radio.command=exec sleep 600\nradio.ric.1234567=Alarm Löschzug Mitte\n";
        QVERIFY(QDir().mkpath(home.filePath("Torvelle")) && TestFiles::writeAll(file, radio));
        Station station(ctx, Station::Link::Idle);
        station.load();
        QVERIFY(station.radio());
        QTRY_VERIFY(station.paths().describe().value(1).startsWith("Funkmeldeempfänger: verbunden"));
        const QString up = station.paths().describe().at(1);
        QVERIFY(TestFiles::writeAll(file, "dispatch=127.0.0.1:9\n" + radio));
        station.reload();
        QCOMPARE(station.paths().describe().size(), 3);
        QVERIFY(station.paths().describe().at(1).startsWith("Leitstelle 2: "));
        QCOMPARE(station.paths().describe().at(2), up);
        QVERIFY(TestFiles::writeAll(file, "dispatch=127.0.0.1:9\n"));
        station.reload();
        QVERIFY(!station.radio());
        QCOMPARE(station.paths().describe().size(), 2);
    }
};

QTEST_GUILESS_MAIN(RadioPathTest)
#include "tst_RadioPath.moc"
