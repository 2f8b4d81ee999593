// What reaches the loudspeakers and the speech program, in which order, and how the wait for the
// speech program ends.
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "announce/ProgramRun.h"
#include "announce/WavePlayer.h"
#include "common/AppContext.h"
#include "crew/VehicleBoard.h"
#include "log/TickerFile.h"
#include "tests/support/DataRows.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using TestFiles::readAll;
using TestFiles::writeAll;

namespace {

// Notes each call, the speech program's with the text it was given; each step ends at once.
struct RecordingOutput final : AnnouncementOutput {
    QStringList calls;
    std::function<void()> afterCall = [] {};
    void PlayWave(const QString& path) override { note(QStringLiteral("wave ") + QFileInfo(path).fileName()); }
    void RunSpeechProgram(const QString&, const QString& textFile, const QString&, const QString&) override
    {
        note(QStringLiteral("speech ") + QString::fromLatin1(readAll(textFile)));
    }
    void StopStep() override { }
    void note(const QString& call)
    {
        calls << call, afterCall();
        QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection);
    }
};

// Takes samples at once, as an output without a clock of its own does; can fail after some writes.
struct RecordingSound final : SoundOutput {
    QList<SoundFormat>* opened;
    qint64* frames;
    int failAfterWrites = -1;
    bool open(const SoundFormat& format) override { return opened->append(format), true; }
    bool write(const void*, qint64 count) override { return failAfterWrites-- != 0 && (*frames += count, true); }
    void drain() override { }
    void close() override { }
};

// A process of this machine that has not ended (a zombie has).
bool running(const QByteArray& pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
    return !stat.isEmpty() && stat.at(stat.lastIndexOf(')') + 2) != 'Z';
}

} // namespace

class AnnounceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    AppContext m_ctx;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString script(const QString& name, const QByteArray& body) const
    {
        return TestFiles::writeScript(path(name), body) ? path(name) : QString();
    }

private slots:
    void initTestCase() { m_ctx.DataFolder = m_dir.path(); }

    void order_data()
    {
        columns<bool, QString, int, QStringList>("programExists", "textFile", "endAfterCalls", "expected");
        const QStringList sounds { "wave alarm.wav", "wave A.wav", "wave B.wav" };
        row("alarm sound, speech in the code page, unit sounds", true, "sabbel.txt", 0,
            QStringList { sounds[0], "speech Straße", sounds[1], sounds[2] });
        row("no speech program: the sounds still play", false, "sabbel.txt", 0, sounds);
        row("speech text not writable: logged, the sounds still play", true, "missing/sabbel.txt", 0, sounds);
        row("program ending after the alarm sound: nothing more", true, "sabbel.txt", 1, QStringList { sounds[0] });
    }
    void order()
    {
        auto [programExists, textFile, endAfterCalls, expected]
            = fetch<bool, QString, int, QStringList>("programExists", "textFile", "endAfterCalls", "expected");
        AppContext ctx;
        RecordingOutput output;
        output.afterCall = [&] {
            if (output.calls.size() == endAfterCalls)
                ctx.beginEnding();
        };
        const QString program = programExists ? script(QStringLiteral("say"), "true") : path(QStringLiteral("none"));
        Announcement announcement { path(QStringLiteral("alarm.wav")),
            Announcement::Speech { program, path(textFile), {}, {}, QStringLiteral("Straße") },
            { path(QStringLiteral("A.wav")), path(QStringLiteral("B.wav")) }, QStringLiteral("station alarm") };
        if (textFile.contains(QLatin1Char('/')))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be written")));
        AnnouncementQueue queue(ctx, output);
        QSignalSpy idle(&queue, &AnnouncementQueue::idle);
        queue.announceNow(announcement);
        QVERIFY(idle.wait());
        QCOMPARE(output.calls, expected);
    }

    // "now X" a station alarm, "next X" a unit alarm, "test X" a test alarm, each with the sounds X1
    // and X2, all before the first step ends; then what was heard, and which announcements the
    // journal says were cut.
    void newerStationAlarm_data()
    {
        columns<QStringList, QStringList, QStringList>("alarms", "heard", "cut");
        row("A, unit alarm U waiting, B: A cut, B, then U", QStringList { "now A", "next U", "now B" },
            QStringList { "A1", "B1", "B2", "U1", "U2" }, QStringList { "A" });
        row("a unit alarm under way is cut as well", QStringList { "next U", "now A" },
            QStringList { "U1", "A1", "A2" }, QStringList { "U" });
        row("B has not begun when C comes: C, B, U", QStringList { "now A", "next U", "now B", "now C" },
            QStringList { "A1", "C1", "C2", "B1", "B2", "U1", "U2" }, QStringList { "A" });
        row("a unit alarm follows, nothing cut", QStringList { "now A", "next U" },
            QStringList { "A1", "A2", "U1", "U2" }, QStringList());
        row("a test alarm is cut by a station alarm", QStringList { "test T", "now A" },
            QStringList { "T1", "A1", "A2" }, QStringList { "T" });
        row("and by a unit alarm", QStringList { "test T", "next U" }, QStringList { "T1", "U1", "U2" },
            QStringList { "T" });
        row("a waiting test alarm is dropped", QStringList { "now A", "test T", "now B" },
            QStringList { "A1", "B1", "B2" }, QStringList { "A" });
    }
    void newerStationAlarm()
    {
        auto [alarms, heard, cut] = fetch<QStringList, QStringList, QStringList>("alarms", "heard", "cut");
        RecordingOutput output;
        AnnouncementQueue queue(m_ctx, output);
        QSignalSpy idle(&queue, &AnnouncementQueue::idle);
        for (const QString& name : cut)
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("alarm %1 cut").arg(name)));
        for (const QString& alarm : alarms) {
            const QString name = alarm.section(' ', 1);
            Announcement a;
            a.unitSounds = QStringList { path(name + "1.wav"), path(name + "2.wav") };
            a.test = alarm.startsWith("test");
            a.name = (alarm.startsWith("next") ? "unit alarm " : a.test ? "test alarm " : "station alarm ") + name;
            alarm.startsWith("next") ? queue.announceNext(a) : queue.announceNow(a);
        }
        QVERIFY(idle.wait());
        QCOMPARE(output.calls.join(' '), "wave " + heard.join(".wav wave ") + ".wav");
    }

    void soundsReachTheSpeakerOneAfterAnother()
    {
        const SoundCapture capture(m_dir.path());
        const QByteArray a = SoundWriter::write(path(QStringLiteral("a.wav")), 1);
        const QByteArray b = SoundWriter::write(path(QStringLiteral("b.wav")), 2);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        QVERIFY(writeAll(path(QStringLiteral("not-a-sound.wav")), QByteArray(5000, 'x')));
        Announcer announcer(m_ctx);
        AnnouncementQueue queue(m_ctx, announcer);
        QSignalSpy idle(&queue, &AnnouncementQueue::idle);
        Announcement sounds;
        for (const char* name : { "a.wav", "missing.wav", "not-a-sound.wav", "b.wav", "a.wav" })
            sounds.unitSounds << path(QString::fromLatin1(name));
        queue.announceNext(sounds);
        QVERIFY(idle.wait());
        // Missing and undecodable files give silence, never a default sound.
        QCOMPARE(capture.captured(), a + b + a);
    }

    // What the player hands to the device for each kind of file, and how long the call lasts.
    void wavePlayer_data()
    {
        columns<int, int, int, int, QList<SoundFormat>, qint64>(
            "subFormat", "rate", "channels", "failAfterWrites", "opened", "played");
        using T = SoundFormat::SampleType;
        row("16-bit", int(SF_FORMAT_PCM_16), 8000, 1, -1, QList { SoundFormat { T::Int16, 1, 8000 } }, 4800LL);
        row("24-bit in 32", int(SF_FORMAT_PCM_24), 8000, 2, -1, QList { SoundFormat { T::Int32, 2, 8000 } }, 4800LL);
        row("float", int(SF_FORMAT_FLOAT), 8000, 1, -1, QList { SoundFormat { T::Float, 1, 8000 } }, 4800LL);
        row("device fails: silent, as long", int(SF_FORMAT_PCM_16), 8000, 1, 0,
            QList { SoundFormat { T::Int16, 1, 8000 } }, 0LL);
        row("a rate of hours: not a sound", int(SF_FORMAT_PCM_16), 999, 1, -1, QList<SoundFormat>(), 0LL);
        row("65 channels: not a sound", int(SF_FORMAT_PCM_16), 8000, 65, -1, QList<SoundFormat>(), 0LL);
    }
    void wavePlayer()
    {
        auto [subFormat, rate, channels, failAfterWrites, opened, played]
            = fetch<int, int, int, int, QList<SoundFormat>, qint64>(
                "subFormat", "rate", "channels", "failAfterWrites", "opened", "played");
        QVERIFY(!SoundWriter::write(path(QStringLiteral("w.wav")), 1, 4800, rate, channels, subFormat).isEmpty());
        QList<SoundFormat> seen;
        qint64 frames = 0;
        auto output = std::make_unique<RecordingSound>();
        output->opened = &seen, output->frames = &frames, output->failAfterWrites = failAfterWrites;
        WavePlayer player(std::move(output));
        QElapsedTimer clock;
        clock.start();
        player.PlayWave(path(QStringLiteral("w.wav")));
        QCOMPARE(seen, opened);
        QCOMPARE(frames, played);
        // 4800 frames at 8 kHz: a sound keeps its length also where the device takes it at once.
        if (!opened.isEmpty())
            QVERIFY(clock.elapsed() >= 600);
    }

    void speechProgramGetsItsArguments_data()
    {
        QTest::addColumn<QStringList>("row"); // program folder, arguments before, after, as the program saw them
        row("no arguments", QStringList { "plain", "", "", "[TEXT]" });
        row("arguments split by the shell", QStringList { "plain", "-v 'de x'", "--fast", "[-v][de x][TEXT][--fast]" });
        row("shell characters in the paths are text",
            QStringList { "a $(touch injected) \"b\" `c` \\d", "", "", "[TEXT]" });
        row("a line break in the arguments starts no command",
            QStringList { "plain", "-q\ntouch injected", "x\rtouch injected",
                "[-q][touch][injected][TEXT][x][touch][injected]" });
    }
    void speechProgramGetsItsArguments()
    {
        QFETCH(QStringList, row);
        const QString &folder = row[0], &before = row[1], &after = row[2];
        QTemporaryDir root;
        const QString programFolder = root.filePath(folder);
        QVERIFY(QDir().mkpath(programFolder));
        const QString program = programFolder + "/say", text = programFolder + "/sabbel.txt";
        QVERIFY(TestFiles::writeScript(program,
            "for a in \"$@\"; do printf '[%s]' \"$a\"; done > '" + QFile::encodeName(root.filePath("args")) + "'"));
        AppContext ctx;
        ctx.DataFolder = root.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(ctx.DataFolder));
        Announcer announcer(ctx);
        QSignalSpy ended(&announcer, &AnnouncementOutput::stepEnded);
        announcer.RunSpeechProgram(program, text, before, after);
        QVERIFY(ended.wait());
        QCOMPARE(QString::fromUtf8(readAll(root.filePath(QStringLiteral("args")))),
            QString(row[3]).replace(QStringLiteral("TEXT"), text));
        QVERIFY(QDir(ctx.DataFolder).entryList(QDir::Files) == QStringList { QStringLiteral("sound.sh") });
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("injected"))));
        if (QTest::currentDataTag() == QLatin1String("no arguments"))
            QCOMPARE(readAll(ctx.dataFile(QStringLiteral("sound.sh"))),
                "#!/bin/sh\ncd \"" + QFile::encodeName(ctx.DataFolder) + "\"\n\"" + QFile::encodeName(program)
                    + "\"  \"" + QFile::encodeName(text) + "\"\n");
    }

    // Where the speech text goes, and every file that the monitor replaces or appends to standing
    // as a symbolic link: the link itself gives way to a file of its own, with a warning, and what
    // it points to stays as it was. Speech through the real queue and the real speech program.
    void filesOfTheDataFolder_data()
    {
        // textFile: as set ("" or relative: the data folder's sabbel.txt); link: the file of the
        // data folder that stands as a link, to "kept" ("dangling": to nothing)
        columns<QString, QString, QString>("textFile", "link", "target");
        row("empty name: the data folder's sabbel.txt", "", "", "");
        row("relative name: the data folder's sabbel.txt", "texte/sabbel.txt", "", "");
        row("sabbel.txt", "/sabbel.txt", "sabbel.txt", "kept");
        row("sound.sh", "/sabbel.txt", "sound.sh", "kept");
        row("sound.sh dangling: speech still heard", "/sabbel.txt", "sound.sh", "gone/nothing");
        row("last.dat", "", "last.dat", "kept");
        row("fahrzeuge.dat", "", "fahrzeuge.dat", "kept");
        row("ticker.dat, appended to", "", "ticker.dat", "kept");
    }
    void filesOfTheDataFolder()
    {
        auto [textFile, link, target] = fetch<QString, QString, QString>("textFile", "link", "target");
        QTemporaryDir root;
        AppContext ctx;
        ctx.DataFolder = root.filePath("data");
        const QString linked = ctx.dataFile(link), heard = root.filePath("heard");
        QVERIFY(QDir().mkpath(ctx.DataFolder) && writeAll(root.filePath("kept"), "kept"));
        if (!link.isEmpty()) {
            QVERIFY(QFile::link(root.filePath(target), linked));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("was a symbolic link; a file of its own"));
        }
        if (link == "last.dat") {
            QVERIFY(LastAlarmStore::store(linked, { "WACHALARM", "Brand" }));
        } else if (link == "fahrzeuge.dat") {
            VehicleBoard board(ctx.DataFolder);
            board.statusMessage("WACHALARM_STATUS\tFlorian 1\t3");
            board.flush();
        } else if (link == "ticker.dat") {
            QCOMPARE(TickerFile::append(linked, "Neu"), QByteArray("Neu"));
            QCOMPARE(readAll(linked), QByteArray("kept\r\nNeu\r\n"));
        } else {
            const QString say = root.filePath("say");
            QVERIFY(TestFiles::writeScript(say, "cat \"$1\" > '" + QFile::encodeName(heard) + "'"));
            Announcer announcer(ctx);
            AnnouncementQueue queue(ctx, announcer);
            QSignalSpy idle(&queue, &AnnouncementQueue::idle);
            const QString text = textFile.startsWith('/') ? ctx.DataFolder + textFile : textFile;
            queue.announceNow({ {}, Announcement::Speech { say, text, {}, {}, QStringLiteral("Brand") }, {}, {} });
            QVERIFY(idle.wait());
            QCOMPARE(readAll(heard), QByteArray("Brand"));
            QCOMPARE(readAll(ctx.dataFile("sabbel.txt")), QByteArray("Brand"));
        }
        QVERIFY(link.isEmpty() || (!QFileInfo(linked).isSymLink() && QFileInfo(linked).isFile()));
        QCOMPARE(readAll(root.filePath("kept")), QByteArray("kept"));
        QVERIFY(!QFile::exists(root.filePath("gone")));
    }

    void programRun_data()
    {
        columns<QByteArray, std::optional<int>, bool>("body", "expected", "hangs");
        row("the exit code comes back", QByteArray("exit 7"), std::optional<int>(7), false);
        row("running at the time limit: ended with its children", QByteArray("sleep 60 & echo $! > child; wait"),
            std::optional<int>(), true);
        row("the whole group gets SIGTERM: a child hears it",
            QByteArray("sh -c 'trap \"echo TERM > heard; exit\" TERM; echo $$ > child; while :; do sleep 0.02; done' "
                       "& wait"),
            std::optional<int>(), true);
        row("deaf to SIGTERM: killed after the grace period",
            QByteArray("trap '' TERM; sleep 60 & echo $! > child; while :; do sleep 1; done"), std::optional<int>(),
            true);
    }
    void programRun()
    {
        auto [body, expected, hangs] = fetch<QByteArray, std::optional<int>, bool>("body", "expected", "hangs");
        for (const char* name : { "heard", "child" })
            QFile::remove(path(QString::fromLatin1(name)));
        const QString file = script(QStringLiteral("run.sh"), body);
        ProgramRun run;
        run.timeLimit = std::chrono::milliseconds(hangs ? 300 : 60000);
        run.gracePeriod = std::chrono::milliseconds(body.startsWith("trap") ? 300 : 60000);
        QSignalSpy finished(&run, &ProgramRun::finished);
        if (hangs)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("still running")));
        if (body.startsWith("trap"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("SIGKILL")));
        QVERIFY(run.start(file));
        QVERIFY(!run.start(file)); // one run at a time
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0).at(0).value<std::optional<int>>(), expected);
        if (hangs)
            QVERIFY(!running(readAll(path(QStringLiteral("child")))));
        if (body.contains("heard"))
            QCOMPARE(readAll(path(QStringLiteral("heard"))), QByteArray("TERM\n"));
    }
};

QTEST_GUILESS_MAIN(AnnounceTest)
#include "tst_Announce.moc"
