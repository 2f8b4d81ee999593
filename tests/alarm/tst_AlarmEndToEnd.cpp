// The whole road of a station alarm through the real program, in a network of the test's own: the
// dispatch computer's frame on port 4750, the window, last.dat, the speech program and the sound
// output; then a restart and the replay of the stored alarm. The history under kill -9, the end on
// SIGTERM and SIGINT, and the station without a window and without any display.
#include "common/CodePage.h"
#include "common/ProcessGroup.h"
#include "link/MessageReceiver.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using TestFiles::readAll;
using TestFiles::writeAll;

namespace {

// Set before any thread starts, as a namespace belongs to the calling thread: whether this process
// has a network of its own, with its loopback up.
bool g_ownNetwork = false;

// The real program on a home folder of the test's own (XDG_DATA_HOME, with the data folder Torvelle
// and a program folder for a copy of the program beside its sounds), and the dispatch computer on
// port 4750 that it registers with.
struct Monitor {
    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("program")), data = root.filePath(QStringLiteral("Torvelle"));
    SoundCapture capture { root.path() }; // what the program plays
    FakeDispatch dispatch;
    bool listening = dispatch.listen(4750);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess process;

    Monitor()
    {
        QDir().mkpath(program), QDir().mkpath(data);
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"), capture.alsaConfigPath());
    }
    QString file(const char* name) const { return root.filePath(QString::fromUtf8(name)); }
    // settings.dat: the alarm sound, and the keyword spoken by the script `speech` (by default one that notes
    // its arguments and its text in the files args and text); the `changed` lines (from 1) as given.
    bool settings(const QMap<int, QString>& changed = {}, QByteArray speech = {}) const
    {
        const QString speak = program + QStringLiteral("/speak.sh");
        if (speech.isEmpty()) {
            const QByteArray at = QFile::encodeName(root.path());
            speech = "printf '[%s]' \"$@\" > " + at + "/args\ncat \"$1\" > " + at + "/text";
        }
        QStringList lines { "127.0.0.1", "1", "1", speak, program + "/sabbel.txt", "", "", "", "", "0", "0", "0", "1",
            "0", "0", "0", "0", "0", "0", "0", "0", "0", "", "0", "0", "", "" };
        for (auto it = changed.begin(); it != changed.end(); ++it)
            lines[it.key() - 1] = it.value();
        return TestFiles::writeScript(speak, speech)
            && writeAll(data + "/settings.dat", CodePage::encode(lines.join("\r\n") + "\r\n"));
    }
    // Starts the program, or its copy in the program folder; true once it has registered.
    bool start(const QStringList& arguments = {}, bool copy = false)
    {
        const QString copied = program + QStringLiteral("/kessvenn");
        if (copy && !QFile::exists(copied) && !QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), copied))
            return false;
        const qsizetype before = dispatch.clientCount();
        process.setProcessEnvironment(env);
        process.start(copy ? copied : QStringLiteral(KESSVENN_EXECUTABLE), arguments);
        const auto registered = [&] {
            return dispatch.clientCount() > before && dispatch.received().startsWith("\x05HIER_MEIN_NAME\t")
                && dispatch.received().endsWith("\x04\x04\x04\x04");
        };
        return listening && QTest::qWaitFor(registered, 30000);
    }
    // Sends the signal and waits for the end; true once the program has ended.
    bool stop(int signal = SIGKILL)
    {
        return ::kill(pid_t(process.processId()), signal) == 0 && process.waitForFinished(30000);
    }
};

} // namespace

class AlarmEndToEndTest : public QObject {
    Q_OBJECT

    // Sends a unit alarm after the station alarm and waits for all that both sound: whatever the
    // station alarm played is then over, and nothing of it can still follow.
    static QByteArray played(Monitor& m, qsizetype stationAlarmBytes)
    {
        m.dispatch.sendMessage(QStringLiteral("WACHALARM_EM\tRTW 1\a"));
        const qsizetype whole = stationAlarmBytes + 2 * SoundWriter::write(m.file("x.wav"), 1).size();
        (void)QTest::qWaitFor([&] { return m.capture.captured().size() >= whole; }, 60000);
        return m.capture.captured();
    }

private slots:
    void init()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
    }

    void stationAlarmAndReplay()
    {
        Monitor m;
        const auto sound = [&](const char* name, int seed) { return SoundWriter::write(m.program + '/' + name, seed); };
        const QByteArray sounds = sound("alarm.wav", 1) + sound("ELW 1.wav", 2) + sound("RTW 1.wav", 3);
        // Alarm sound, speech of the keyword only with an argument after the text, unit sounds.
        QVERIFY(m.settings({ { 7, "--schnell" }, { 21, "1" } }));
        QTcpServer silentMap; // takes the map's requests and never answers
        QVERIFY(silentMap.listen(QHostAddress::LocalHost, 0));
        QVERIFY(writeAll(m.data + "/map.ini", "host=http://127.0.0.1:" + QByteArray::number(silentMap.serverPort())));

        QVERIFY2(m.start({}, true), "the monitor did not register on port 4750");
        const QByteArray frame = MessageReceiver::frame(
            QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tBrandgeruch\t44135\tDortmund\tKampstraße\t12\t"
                           "Zufahrt\r\nHof\t\t\t\t\tELW 1\aHLF 20(A)\aRTW 1(D)\aELW 1\a\t1\t\t\tHerr Meier"));
        m.dispatch.send(frame.left(frame.size() - 1));
        QVERIFY(m.dispatch.flush());
        m.dispatch.send(frame.right(1));
        const QByteArray unitAlarm = sounds.left(800) + sounds.right(800); // alarm.wav, RTW 1.wav
        QCOMPARE(played(m, sounds.size()), sounds + unitAlarm); // each unit's sound once; HLF 20 has no file

        const QByteArray last
            = "WACHALARM\r\nBrand\r\nB3 Y\r\nFeuer\r\nBrandgeruch\r\n44135\r\nDortmund\r\nKampstra\xdf"
              "e\r\n12\r\nZufahrt<CR>Hof\r\n\r\n\r\n\r\n\r\nELW 1\aHLF 20(A)\aRTW 1(D)\aELW 1\a\r\n1\r\n\r\n\r\n";
        QCOMPARE(readAll(m.data + "/last.dat"), last);
        QCOMPARE(readAll(m.file("text")), QByteArray("Brandgeruch\r\n\r\n"));
        QCOMPARE(readAll(m.file("args")), "[" + QFile::encodeName(m.program + "/sabbel.txt") + "][--schnell]");

        // Restart: the stored alarm is shown and announced again, and last.dat stays as it was. The
        // link opens while the replay's alarm sound (a minute long now) still plays, and a new
        // alarm taken then ends the replay.
        QVERIFY(m.stop());
        m.capture.clear();
        QVERIFY(QFile::remove(m.file("text")));
        const QString alarmWav = m.program + "/alarm.wav", shortWav = m.file("short.wav");
        QVERIFY(QFile::rename(alarmWav, shortWav));
        const QByteArray minute = SoundWriter::write(alarmWav, 4, 8000 * 60);
        QVERIFY2(m.start({}, true), "the restarted monitor did not register");
        QVERIFY2(!QFile::exists(m.file("text")), "registered only after the replay's alarm sound");
        QVERIFY(QFile::remove(alarmWav) && QFile::rename(shortWav, alarmWav));
        m.dispatch.send(frame);
        QCOMPARE(played(m, minute.size() + sounds.size()), minute + sounds + unitAlarm);
        QCOMPARE(readAll(m.file("text")), QByteArray("Brandgeruch\r\n\r\n"));
        QCOMPARE(readAll(m.data + "/last.dat"), last);
        QVERIFY(m.stop());
    }

    // `kessvenn --headless` with no display variables at all: it registers, and an alarm is heard
    // (the alarm sound, the speech program), printed into a private scheduler's queue and kept in
    // the history with the crew's strength; a vehicle's status is kept; SIGTERM ends it.
    void headless()
    {
        PrivateCups cups;
        if (!cups.started() || !cups.addQueue(QStringLiteral("Halle")))
            QSKIP(qPrintable("no private CUPS scheduler: " + cups.whyNot()));
        Monitor m;
        const QByteArray sound = SoundWriter::write(m.program + "/alarm.wav", 1);
        // Alarm sound and the keyword spoken; print.ini names the hall's printer.
        QVERIFY(m.settings() && writeAll(m.data + "/print.ini", "printer=Halle\n"));
        QVERIFY(writeAll(m.data + "/mannschaft.csv", "Melder;Name;Quali\n5;Ute Ulm;ZF AGT\n"));
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            m.env.remove(QString::fromLatin1(name));
        QVERIFY(m.start({ QStringLiteral("--headless") }, true));
        m.dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tHallenalarm\t44135\tDortmund\t"
                                              "Kampstraße\t12\t\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier"));
        QTRY_COMPARE_WITH_TIMEOUT(m.capture.captured(), sound, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(readAll(m.file("text")), QByteArray("Hallenalarm\r\n\r\n"), 30000);
        m.dispatch.sendMessage(QStringLiteral("WACHALARM_RM\t5\t1"));
        m.dispatch.sendMessage(QStringLiteral("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\t3"));
        const std::optional<PrivateCups::Job> job = cups.job(1, 60000);
        QVERIFY2(job && job->document.startsWith("%PDF"), "no page in the hall's queue");
        QTRY_COMPARE_WITH_TIMEOUT(
            SqliteRows(m.data + "/history.sqlite", QStringLiteral("SELECT keyword, strength FROM alarms")),
            QStringList { "Hallenalarm|1/0/0/1" }, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(m.data + "/fahrzeuge.dat").contains("Florian Hagen 1-HLF20-1"), 30000);
        QVERIFY(m.stop(SIGTERM));
    }

    // `kessvenn --status` and `--test-alarm` reach the headless monitor of their data folder: the
    // test alarm is heard whole (alarm sound, "Probealarm", the station's own unit sounds in name
    // order) and kept as a test without a number, also in the CSV, never in last.dat. With no
    // monitor running both say so and exit 1.
    void testAlarmFromTheShell()
    {
        Monitor m;
        QVERIFY(QDir().mkpath(m.data + "/Sounds"));
        const QByteArray sounds = SoundWriter::write(m.program + "/alarm.wav", 1)
            + SoundWriter::write(m.data + "/Sounds/HLF 20.wav", 2)
            + SoundWriter::write(m.data + "/Sounds/RTW 1.wav", 3);
        // A sound whose name holds a control character is no unit: neither shown nor heard.
        QVERIFY(m.settings({ { 21, "1" } }) && writeAll(m.data + "/Sounds/LF\a8.wav", "RIFF"));
        const auto shell = [&m](const char* option) {
            QProcess p;
            p.setProcessEnvironment(m.env);
            p.start(QStringLiteral(KESSVENN_EXECUTABLE), { QString::fromLatin1(option) });
            const bool ended = p.waitForFinished(30000);
            return QStringList { QString::number(ended ? p.exitCode() : -1),
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()) };
        };
        QVERIFY(m.start({ QStringLiteral("--headless") }, true));
        // The link's state follows at the supervision's next tick.
        QTRY_VERIFY_WITH_TIMEOUT(shell("--status").join('|').startsWith("0|Leitstelle 1: verbunden seit "), 30000);
        QCOMPARE(shell("--test-alarm").mid(0, 2), (QStringList { "0", "Probealarm ausgelöst\n" }));
        QTRY_COMPARE_WITH_TIMEOUT(m.capture.captured(), sounds, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(readAll(m.file("text")), QByteArray("Probealarm"), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(
            SqliteRows(m.data + "/history.sqlite", QStringLiteral("SELECT keyword, number IS NULL, units FROM alarms")),
            QStringList { "Probealarm|1|HLF 20\aRTW 1\a" }, 30000);
        QVERIFY(shell("--export-history").at(1).contains(";;Probealarm;Probealarm;Probealarm – kein Einsatz;"));
        QVERIFY(!QFile::exists(m.data + "/last.dat"));
        QVERIFY(m.stop(SIGTERM));
        for (const char* option : { "--test-alarm", "--status" }) {
            const QStringList none = shell(option);
            QCOMPARE(none.first(), "1");
            QVERIFY2(none.last().contains("no monitor runs on the data folder " + m.data), qPrintable(none.last()));
        }
    }

    // The monitor without a screen after a power cut: a young last.dat is heard again at once (the
    // hall's loudspeakers), the ticker goes into ticker.dat as in the window, and a second monitor
    // on the same data folder does not start and names the first one.
    void headlessAfterPowerCut()
    {
        Monitor m;
        const QByteArray sound = SoundWriter::write(m.program + "/alarm.wav", 1);
        QVERIFY(m.settings()
            && writeAll(m.data + "/last.dat",
                "WACHALARM\r\nBrand\r\nB3 Y\r\nFeuer\r\nStromausfall\r\n44135\r\nDortmund\r\nKampstr\r\n12\r\n"
                "\r\n\r\n\r\n\r\n\r\nHLF 20\a\r\n1\r\n\r\n\r\n"));
        QVERIFY(m.start({ QStringLiteral("--headless") }, true));
        QTRY_COMPARE_WITH_TIMEOUT(readAll(m.file("text")), QByteArray("Stromausfall\r\n\r\n"), 30000);
        QCOMPARE(m.capture.captured(), sound);
        const QByteArray ticker = "WACHALARM_TICKER\tWache\aEA 7\a06.12.2026\a19:40:00\a\a\aText";
        m.dispatch.sendMessage(QString::fromLatin1(ticker));
        QTRY_COMPARE_WITH_TIMEOUT(readAll(m.data + "/ticker.dat"), ticker + "\r\n", 30000);

        QProcess second;
        second.setProcessEnvironment(m.env);
        second.start(QStringLiteral(KESSVENN_EXECUTABLE), { QStringLiteral("--headless") });
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 1);
        const QByteArray said = second.readAllStandardError();
        QVERIFY2(said.contains("(PID " + QByteArray::number(m.process.processId()) + ", kessvenn)"), said.constData());
        QVERIFY(m.stop());
    }

    // The real program under kill -9 during a burst of alarms: the history it leaves opens, is
    // whole, and holds every alarm it reported as kept. The export on the command line then reads
    // it without a screen.
    void killedDuringBurst()
    {
        Monitor m;
        m.env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kessvenn.history.info=true"));
        QVERIFY(m.start());

        // Reported as kept: "Station alarm kept in the history as <id>".
        const QRegularExpression kept(QStringLiteral("Station alarm kept in the history as (\\d+)"));
        QString log;
        QList<qint64> reported;
        const auto readLog = [&] {
            log += QString::fromUtf8(m.process.readAllStandardError());
            reported.clear();
            for (const QRegularExpressionMatch& match : kept.globalMatch(log))
                reported << match.captured(1).toLongLong();
            return reported.size();
        };
        // A hundred alarms; once ten are kept, another hundred, and the kill right behind them.
        int sent = 0;
        const auto burst = [&] {
            for (const int end = sent + 100; sent < end;) {
                m.dispatch.sendMessage(
                    QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tK%1\t44135\tDortmund\tKampstraße\t"
                                   "%1\tVermerk\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier")
                        .arg(++sent));
            }
        };
        burst();
        QTRY_VERIFY_WITH_TIMEOUT(readLog() >= 10, 60000);
        burst();
        QVERIFY(m.stop());
        readLog();
        qInfo("%d of %d alarms reported as kept before the kill", int(reported.size()), sent);

        const QString history = m.data + "/history.sqlite";
        QCOMPARE(SqliteRows(history, QStringLiteral("PRAGMA integrity_check")), QStringList { "ok" });
        const QStringList rows = SqliteRows(history, QStringLiteral("SELECT id, keyword = 'K' || number FROM alarms"));
        for (qint64 id : reported)
            QVERIFY2(rows.contains(QString::number(id) + "|1"), qPrintable(QString::number(id)));
        QVERIFY(rows.size() >= reported.size());

        // No screen at all for the export.
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            m.env.remove(QString::fromLatin1(name));
        m.process.setProcessEnvironment(m.env);
        m.process.start(
            QStringLiteral(KESSVENN_EXECUTABLE), { "--export-history", QString::number(QDate::currentDate().year()) });
        QVERIFY(m.process.waitForFinished(30000));
        QCOMPARE(m.process.exitCode(), 0);
        const QList<QByteArray> lines = m.process.readAllStandardOutput().split('\n');
        QVERIFY(lines.first().startsWith("\xEF\xBB\xBF"));
        QVERIFY(lines.size() - 2 >= reported.size());
        QVERIFY(lines.at(1).startsWith(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toUtf8() + ';'));
    }

    // What systemctl stop (SIGTERM) and Ctrl+C (SIGINT) send, right behind a burst of unit alarms
    // while the speech program talks: "Programmende", exit status 0, the speech program gone with
    // what it started (a child deaf to SIGTERM too), and every alarm the monitor took kept in the
    // history.
    void endedBySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void endedBySignal()
    {
        QFETCH(int, signal);
        Monitor m;
        const QByteArray group = QFile::encodeName(m.file("group"));
        QVERIFY(m.settings({ { 3, "0" } }, // the keyword spoken, no alarm sound
            "(trap '' TERM; exec sleep 600) &\nread -r pid name state parent pgrp more < /proc/$$/stat\necho $pgrp > "
                + group + ".new && mv " + group + ".new " + group + "\nwait"));
        m.env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kessvenn.alarm.info=true"));
        QVERIFY(m.start());
        m.dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tK1\t44135\tDortmund\tKampstraße\t1\t"
                                              "\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m.file("group")), 30000);
        const pid_t speech = readAll(m.file("group")).trimmed().toInt();
        QVERIFY(ProcessGroupAlive(speech));

        // Unit alarms wait for the speech and are kept in the history as they come; the signal
        // follows once a few have been taken.
        for (int i = 1; i <= 300; ++i)
            m.dispatch.sendMessage(QStringLiteral("WACHALARM_EM\tRTW %1\a").arg(i));
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += m.process.readAllStandardError()).count("Unit alarm received") >= 20, 60000);
        QCOMPARE(::kill(pid_t(m.process.processId()), signal), 0);
        QVERIFY(m.process.waitForFinished(60000));
        log += m.process.readAllStandardError();
        QCOMPARE(m.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m.process.exitCode(), 0);
        QVERIFY2(!ProcessGroupAlive(speech), "the speech program outlived the monitor");
        QCOMPARE(
            SqliteRows(m.data + "/history.sqlite", QStringLiteral("SELECT count(*) FROM alarms WHERE kind = 'unit'")),
            QStringList { QString::number(log.count("Unit alarm received")) });
    }
};

int main(int argc, char** argv)
{
    g_ownNetwork = EnterOwnNetwork();
    QCoreApplication app(argc, argv);
    AlarmEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_AlarmEndToEnd.moc"
