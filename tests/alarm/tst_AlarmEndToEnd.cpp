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
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using TestFiles::readAll;
using TestFiles::writeAll;

namespace {

// Set before any thread starts, as a namespace belongs to the calling thread: whether this process
// has a network of its own, with its loopback up.
bool g_ownNetwork = false;

} // namespace

class AlarmEndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_program = m_root.filePath(QStringLiteral("program"));
    QString m_data = m_root.filePath(QStringLiteral("home/Torvelle"));
    QTcpServer m_dispatch;
    QTcpServer m_silentMap; // takes the map's requests and never answers

    QString file(const QString& folder, const char* name) const { return folder + QLatin1Char('/') + name; }

    // Starts the monitor; returns its connection once it has registered.
    QTcpSocket* start(QProcess& monitor, const SoundCapture& capture)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"), capture.alsaConfigPath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        monitor.start(file(m_program, "kessvenn"), {});
        QTcpSocket* link = nullptr;
        QByteArray registration;
        const auto registered = [&] {
            if (!link && m_dispatch.hasPendingConnections())
                link = m_dispatch.nextPendingConnection();
            registration += link ? link->readAll() : QByteArray();
            return registration.startsWith("\x05HIER_MEIN_NAME\t") && registration.endsWith("\x04\x04\x04\x04");
        };
        return QTest::qWaitFor(registered, 30000) ? link : nullptr;
    }

    // Sends a unit alarm after the station alarm and waits for all that both sound: whatever the
    // station alarm played is then over, and nothing of it can still follow.
    QByteArray played(QTcpSocket* link, const SoundCapture& capture, qsizetype stationAlarmBytes)
    {
        link->write(MessageReceiver::frame(QStringLiteral("WACHALARM_EM\tRTW 1\a")));
        const qsizetype whole = stationAlarmBytes + 2 * SoundWriter::write(file(m_root.path(), "x.wav"), 1).size();
        (void)QTest::qWaitFor([&] { return capture.captured().size() >= whole; }, 60000);
        return capture.captured();
    }

private slots:
    void stationAlarmAndReplay()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        QVERIFY(QDir().mkpath(m_program) && QDir().mkpath(m_data));
        QVERIFY(QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), file(m_program, "kessvenn")));
        const SoundCapture capture(m_root.path());
        const QByteArray sounds = SoundWriter::write(file(m_program, "alarm.wav"), 1)
            + SoundWriter::write(file(m_program, "ELW 1.wav"), 2) + SoundWriter::write(file(m_program, "RTW 1.wav"), 3);
        const QString speak = file(m_program, "speak.sh"); // notes its arguments and its text
        const QByteArray root = QFile::encodeName(m_root.path());
        QVERIFY(
            TestFiles::writeScript(speak, "printf '[%s]' \"$@\" > " + root + "/args\ncat \"$1\" > " + root + "/text"));
        // Alarm sound, speech of the keyword only, unit sounds.
        const QStringList settings { "127.0.0.1", "1", "1", speak, file(m_program, "sabbel.txt"), "", "--schnell", "",
            "", "0", "0", "0", "1", "0", "0", "0", "0", "0", "0", "0", "1", "0", "", "0", "0", "", "" };
        QVERIFY(writeAll(file(m_data, "settings.dat"), CodePage::encode(settings.join("\r\n") + "\r\n")));
        QVERIFY(m_silentMap.listen(QHostAddress::LocalHost, 0));
        QVERIFY(
            writeAll(file(m_data, "map.ini"), "host=http://127.0.0.1:" + QByteArray::number(m_silentMap.serverPort())));
        QVERIFY(m_dispatch.listen(QHostAddress::LocalHost, 4750));

        QProcess monitor;
        QTcpSocket* link = start(monitor, capture);
        QVERIFY2(link, "the monitor did not register on port 4750");
        const QByteArray frame = MessageReceiver::frame(
            QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tBrandgeruch\t44135\tDortmund\tKampstraße\t12\t"
                           "Zufahrt\r\nHof\t\t\t\t\tELW 1\aHLF 20(A)\aRTW 1(D)\aELW 1\a\t1\t\t\tHerr Meier"));
        link->write(frame.left(frame.size() - 1));
        QVERIFY(link->waitForBytesWritten());
        link->write(frame.right(1));
        const QByteArray unitAlarm = sounds.left(800) + sounds.right(800); // alarm.wav, RTW 1.wav
        QCOMPARE(
            played(link, capture, sounds.size()), sounds + unitAlarm); // each unit's sound once; HLF 20 has no file

        const QByteArray last
            = "WACHALARM\r\nBrand\r\nB3 Y\r\nFeuer\r\nBrandgeruch\r\n44135\r\nDortmund\r\nKampstra\xdf"
              "e\r\n12\r\nZufahrt<CR>Hof\r\n\r\n\r\n\r\n\r\nELW 1\aHLF 20(A)\aRTW 1(D)\aELW 1\a\r\n1\r\n\r\n\r\n";
        QCOMPARE(readAll(file(m_data, "last.dat")), last);
        QCOMPARE(readAll(file(m_root.path(), "text")), QByteArray("Brandgeruch\r\n\r\n"));
        QCOMPARE(readAll(file(m_root.path(), "args")),
            "[" + QFile::encodeName(file(m_program, "sabbel.txt")) + "][--schnell]");

        // Restart: the stored alarm is shown and announced again, and last.dat stays as it was. The
        // link opens while the replay's alarm sound (a minute long now) still plays, and a new
        // alarm taken then ends the replay.
        monitor.kill();
        QVERIFY(monitor.waitForFinished());
        capture.clear();
        QVERIFY(QFile::remove(file(m_root.path(), "text")));
        const QString alarmWav = file(m_program, "alarm.wav"), shortWav = file(m_root.path(), "short.wav");
        QVERIFY(QFile::rename(alarmWav, shortWav));
        const QByteArray minute = SoundWriter::write(alarmWav, 4, 8000 * 60);
        QProcess second;
        QTcpSocket* again = start(second, capture);
        QVERIFY2(again, "the restarted monitor did not register");
        QVERIFY2(!QFile::exists(file(m_root.path(), "text")), "registered only after the replay's alarm sound");
        QVERIFY(QFile::remove(alarmWav) && QFile::rename(shortWav, alarmWav));
        again->write(frame);
        QCOMPARE(played(again, capture, minute.size() + sounds.size()), minute + sounds + unitAlarm);
        QCOMPARE(readAll(file(m_root.path(), "text")), QByteArray("Brandgeruch\r\n\r\n"));
        QCOMPARE(readAll(file(m_data, "last.dat")), last);
        second.kill();
        QVERIFY(second.waitForFinished());
        m_dispatch.close();
    }

    // `kessvenn --headless` with no display variables at all: it registers, and an alarm is heard
    // (the alarm sound, the speech program), printed into a private scheduler's queue and kept in
    // the history with the crew's strength; a vehicle's status is kept; SIGTERM ends it.
    void headless()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        PrivateCups cups;
        if (!cups.started() || !cups.addQueue(QStringLiteral("Halle")))
            QSKIP(qPrintable("no private CUPS scheduler: " + cups.whyNot()));
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("program")), data = root.filePath("home/Torvelle");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(data));
        QVERIFY(QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), file(program, "kessvenn")));
        const SoundCapture capture(root.path());
        const QByteArray sound = SoundWriter::write(file(program, "alarm.wav"), 1);
        const QString speak = file(program, "speak.sh"), text = file(root.path(), "text");
        QVERIFY(TestFiles::writeScript(speak, "cat \"$1\" > " + QFile::encodeName(text)));
        // Alarm sound and the keyword spoken; print.ini names the hall's printer.
        const QStringList settings { "127.0.0.1", "1", "1", speak, file(program, "sabbel.txt"), "", "", "", "", "0",
            "0", "0", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "", "0", "0", "", "" };
        QVERIFY(writeAll(file(data, "settings.dat"), CodePage::encode(settings.join("\r\n") + "\r\n")));
        QVERIFY(writeAll(file(data, "print.ini"), "printer=Halle\n"));
        QVERIFY(writeAll(file(data, "mannschaft.csv"), "Melder;Name;Quali\n5;Ute Ulm;ZF AGT\n"));
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen(4750));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"), capture.alsaConfigPath());
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QString::fromLatin1(name));
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(file(program, "kessvenn"), { QStringLiteral("--headless") });
        QTRY_VERIFY_WITH_TIMEOUT(dispatch.received().endsWith("\x04\x04\x04\x04"), 30000);
        dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tHallenalarm\t44135\tDortmund\t"
                                            "Kampstraße\t12\t\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier"));
        QTRY_COMPARE_WITH_TIMEOUT(capture.captured(), sound, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(readAll(text), QByteArray("Hallenalarm\r\n\r\n"), 30000);
        dispatch.sendMessage(QStringLiteral("WACHALARM_RM\t5\t1"));
        dispatch.sendMessage(QStringLiteral("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\t3"));
        const std::optional<PrivateCups::Job> job = cups.job(1, 60000);
        QVERIFY2(job && job->document.startsWith("%PDF"), "no page in the hall's queue");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("headless"));
            db.setDatabaseName(file(data, "history.sqlite"));
            QVERIFY(db.open());
            const auto kept = [&db] {
                QSqlQuery q(db);
                return q.exec(QStringLiteral("SELECT keyword, strength FROM alarms")) && q.next()
                    ? q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString()
                    : QString();
            };
            QTRY_COMPARE_WITH_TIMEOUT(kept(), QStringLiteral("Hallenalarm 1/0/0/1"), 30000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(readAll(file(data, "fahrzeuge.dat")).contains("Florian Hagen 1-HLF20-1"), 30000);
        QSqlDatabase::removeDatabase(QStringLiteral("headless"));
        ::kill(pid_t(monitor.processId()), SIGTERM);
        QVERIFY(monitor.waitForFinished(30000));
    }

    // The real program under kill -9 during a burst of alarms: the history it leaves opens, is
    // whole, and holds every alarm it reported as kept. The export on the command line then reads
    // it without a screen.
    void killedDuringBurst()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        QTemporaryDir root;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kessvenn.history.info=true"));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("Torvelle"))));
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen(4750));
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(QStringLiteral(KESSVENN_EXECUTABLE), {});
        QTRY_VERIFY_WITH_TIMEOUT(dispatch.received().endsWith("\x04\x04\x04\x04"), 30000);

        // Reported as kept: "Station alarm kept in the history as <id>".
        const QRegularExpression kept(QStringLiteral("Station alarm kept in the history as (\\d+)"));
        QString log;
        QList<qint64> reported;
        const auto readLog = [&] {
            log += QString::fromUtf8(monitor.readAllStandardError());
            reported.clear();
            for (const QRegularExpressionMatch& m : kept.globalMatch(log))
                reported << m.captured(1).toLongLong();
            return reported.size();
        };
        // A hundred alarms; once ten are kept, another hundred, and the kill right behind them.
        int sent = 0;
        const auto burst = [&] {
            for (const int end = sent + 100; sent < end;) {
                dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tK%1\t44135\tDortmund\tKampstraße\t"
                                                    "%1\tVermerk\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier")
                                         .arg(++sent));
            }
        };
        burst();
        QTRY_VERIFY_WITH_TIMEOUT(readLog() >= 10, 60000);
        burst();
        monitor.kill();
        QVERIFY(monitor.waitForFinished());
        readLog();
        qInfo("%d of %d alarms reported as kept before the kill", int(reported.size()), sent);

        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(root.filePath(QStringLiteral("Torvelle/history.sqlite")));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            for (qint64 id : reported) {
                QVERIFY(q.exec(QStringLiteral("SELECT keyword, number FROM alarms WHERE id = %1").arg(id)) && q.next());
                QCOMPARE(q.value(0).toString(), QStringLiteral("K%1").arg(q.value(1).toInt()));
            }
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM alarms")) && q.next());
            QVERIFY(q.value(0).toInt() >= reported.size());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));

        // No screen at all for the export.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess exporter;
        exporter.setProcessEnvironment(env);
        exporter.start(
            QStringLiteral(KESSVENN_EXECUTABLE), { "--export-history", QString::number(QDate::currentDate().year()) });
        QVERIFY(exporter.waitForFinished(30000));
        QCOMPARE(exporter.exitCode(), 0);
        const QList<QByteArray> lines = exporter.readAllStandardOutput().split('\n');
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
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        QTemporaryDir root;
        const QString data = root.filePath(QStringLiteral("Torvelle")), group = root.filePath(QStringLiteral("group"));
        const QString speak = root.filePath(QStringLiteral("speak.sh"));
        QVERIFY(QDir().mkpath(data));
        QVERIFY(TestFiles::writeScript(speak,
            "(trap '' TERM; exec sleep 600) &\nread -r pid name state parent pgrp more < /proc/$$/stat\necho $pgrp > "
                + QFile::encodeName(group) + ".new && mv " + QFile::encodeName(group) + ".new "
                + QFile::encodeName(group) + "\nwait"));
        const QStringList settings { "127.0.0.1", "1", "0", speak, root.filePath(QStringLiteral("sabbel.txt")), "", "",
            "", "", "0", "0", "0", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "", "0", "0", "", "" };
        QVERIFY(writeAll(data + "/settings.dat", CodePage::encode(settings.join("\r\n") + "\r\n")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kessvenn.alarm.info=true"));
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen(4750));
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(QStringLiteral(KESSVENN_EXECUTABLE), {});
        QTRY_VERIFY_WITH_TIMEOUT(dispatch.received().endsWith("\x04\x04\x04\x04"), 30000);
        dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tK1\t44135\tDortmund\tKampstraße\t1\t"
                                            "\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(group), 30000);
        const pid_t speech = readAll(group).trimmed().toInt();
        QVERIFY(ProcessGroupAlive(speech));

        // Unit alarms wait for the speech and are kept in the history as they come; the signal
        // follows once a few have been taken.
        for (int i = 1; i <= 300; ++i)
            dispatch.sendMessage(QStringLiteral("WACHALARM_EM\tRTW %1\a").arg(i));
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += monitor.readAllStandardError()).count("Unit alarm received") >= 20, 60000);
        QCOMPARE(::kill(pid_t(monitor.processId()), signal), 0);
        QVERIFY(monitor.waitForFinished(60000));
        log += monitor.readAllStandardError();
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), 0);
        QVERIFY2(!ProcessGroupAlive(speech), "the speech program outlived the monitor");

        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ended"));
        db.setDatabaseName(data + "/history.sqlite");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM alarms WHERE kind = 'unit'")) && q.next());
        QCOMPARE(q.value(0).toInt(), int(log.count("Unit alarm received")));
        db.close();
        db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("ended"));
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
