// The whole road of a station alarm through the real program: the dispatch computer's frame on
// port 4750, the window, last.dat, the speech program and the sound output; then a restart and the
// replay of the stored alarm.
#include "common/CodePage.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <vector>

#include <unistd.h>

namespace {

using TestFiles::readAll;
using TestFiles::writeAll;



// A short test sound, 8 kHz mono 16-bit, whose samples tell it apart from every other one.
QByteArray makeSound(const QString& path, int seed)
{
    std::vector<short> samples(2000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short(seed * 1000 + int(i % 97) * (seed + 1));
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = 8000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return {};
    sf_writef_short(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
    return QByteArray(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * sizeof(short)));
}

QByteArray frame(const QString& message)
{
    return "\x05" + CodePage::encode(message) + "\x02\x02\x02\x03\x03\x03\x04\x04\x04\x04";
}

// The inode of the TCP socket whose local port is the given one, from /proc/net/tcp.
QByteArray socketInode(quint16 localPort)
{
    const QList<QByteArray> lines = readAll(QStringLiteral("/proc/net/tcp")).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() < 10)
            continue;
        const QList<QByteArray> local = cols.at(1).split(':');
        bool ok = false;
        if (local.size() == 2 && local.at(1).toUShort(&ok, 16) == localPort && ok)
            return cols.at(9);
    }
    return {};
}

// Whether the process holds the socket that connected from the given port. Other tests on this
// machine may run a monitor that also knocks at port 4750; only our own program gets the alarm.
bool connectionOf(qint64 pid, quint16 peerPort)
{
    const QByteArray inode = socketInode(peerPort);
    if (inode.isEmpty())
        return false;
    const QString target = QStringLiteral("socket:[%1]").arg(QString::fromLatin1(inode));
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char buffer[128] = {};
        const QByteArray link = QFile::encodeName(fds.filePath(fd));
        const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer - 1);
        if (n > 0 && QString::fromLatin1(buffer, int(n)) == target)
            return true;
    }
    return false;
}

const QChar kBell(7);

QStringList demoAlarm()
{
    return {QStringLiteral("WACHALARM"), QStringLiteral("Brand"),    QStringLiteral("B3 Y"),
            QStringLiteral("Wohnungsbrand"), QStringLiteral("B3"),   QStringLiteral("44135"),
            QStringLiteral("Dortmund"),  QStringLiteral("Kampstraße"), QStringLiteral("12"),
            QStringLiteral("Menschenleben in Gefahr\r\nZufahrt über Hof"), QStringLiteral("Innenstadt"),
            QStringLiteral("Stadthaus"), QStringLiteral("3. OG"),     QString(),
            QStringLiteral("ELW 1") + kBell + QStringLiteral("HLF 20(A)") + kBell + QStringLiteral("DLK 23(D)") + kBell
                + QStringLiteral("RTW 1") + kBell,
            QStringLiteral("1"),         QStringLiteral("51,5136"),  QStringLiteral("7,4653"),
            QStringLiteral("Herr Meier")};
}

} // namespace

class AlarmEndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_program;  // the program folder: kessvenn, the sounds, the speech program
    QString m_home;     // XDG_DATA_HOME
    QString m_data;     // the data folder Torvelle
    QString m_records;  // what the speech program saw
    QString m_capture;  // every sample that reached ALSA's "default", across openings
    QByteArray m_alarmSound, m_elwSound, m_hlfSound, m_rtwSound;
    QTcpServer m_dispatch;
    QTcpServer m_silentMap;
    QList<QTcpSocket*> m_mapPeers;

    QString program(const QString& name) const { return m_program + QLatin1Char('/') + name; }
    QString data(const QString& name) const { return m_data + QLatin1Char('/') + name; }
    QString record(const QString& name) const { return m_records + QLatin1Char('/') + name; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                   QStringLiteral("/usr/share/alsa/alsa.conf:") + m_root.filePath(QStringLiteral("alsa.conf")));
        return env;
    }

    // Starts the program and waits for its registration on port 4750; returns its connection.
    QTcpSocket* startMonitor(QProcess& monitor)
    {
        monitor.setProgram(program(QStringLiteral("kessvenn")));
        monitor.setProcessEnvironment(environment());
        monitor.setProcessChannelMode(QProcess::ForwardedChannels);
        monitor.start();
        if (!monitor.waitForStarted(10000))
            return nullptr;
        QTcpSocket* ours = nullptr;
        QByteArray registration;
        const auto found = [&] {
            while (!ours && m_dispatch.hasPendingConnections()) {
                QTcpSocket* peer = m_dispatch.nextPendingConnection();
                if (connectionOf(monitor.processId(), peer->peerPort()))
                    ours = peer;
                else
                    peer->abort(); // not our program
            }
            if (ours)
                registration += ours->readAll();
            return ours && registration.endsWith("\x04\x04\x04\x04");
        };
        // The first timer tick, a second after start, opens the link; the replay may come first.
        if (!QTest::qWaitFor(found, 30000))
            return nullptr;
        if (!registration.startsWith("\x05HIER_MEIN_NAME\t") || !registration.contains("\tMONITOR\tMONITOR\t1"))
            return nullptr;
        return ours;
    }

    // Waits until the speech program has run and the three unit sounds have reached the output.
    bool announced()
    {
        const qsizetype whole = m_alarmSound.size() + m_elwSound.size() + m_hlfSound.size() + m_rtwSound.size();
        if (!QTest::qWaitFor(
                [&] { return QFile::exists(record(QStringLiteral("done"))) && readAll(m_capture).size() >= whole; },
                30000))
            return false;
        QTest::qWait(300); // nothing more may follow
        return true;
    }

    void clearRecords()
    {
        QDir(m_records).removeRecursively();
        QDir().mkpath(m_records);
        QFile::remove(m_capture);
        QFile::remove(data(QStringLiteral("sound.sh")));
        QFile::remove(program(QStringLiteral("sabbel.txt")));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_program = m_root.filePath(QStringLiteral("program"));
        m_home = m_root.filePath(QStringLiteral("home"));
        m_data = m_home + QStringLiteral("/Torvelle");
        m_records = m_root.filePath(QStringLiteral("records"));
        m_capture = m_root.filePath(QStringLiteral("capture.raw"));
        QVERIFY(QDir().mkpath(m_program));
        QVERIFY(QDir().mkpath(m_data));
        QVERIFY(QDir().mkpath(m_records));

        QVERIFY(QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), program(QStringLiteral("kessvenn"))));
        m_alarmSound = makeSound(program(QStringLiteral("alarm.wav")), 1);
        m_elwSound = makeSound(program(QStringLiteral("ELW 1.wav")), 2);
        m_hlfSound = makeSound(program(QStringLiteral("HLF 20.wav")), 3);
        m_rtwSound = makeSound(program(QStringLiteral("RTW 1.wav")), 4);
        QVERIFY(!m_alarmSound.isEmpty() && !m_rtwSound.isEmpty());
        // DLK 23 has no sound file: it is shown and spoken, and skipped in silence.

        // The speech program records its arguments, the text it was given, and how much sound had
        // reached the output when it ran.
        const QString speak = program(QStringLiteral("speak.sh"));
        QVERIFY(writeAll(speak, QStringLiteral("#!/bin/sh\n"
                                               "for a in \"$@\"; do printf '[%s]' \"$a\"; done > '%1/args'\n"
                                               "cat \"$1\" > '%1/text'\n"
                                               "if [ -f '%2' ]; then wc -c < '%2' > '%1/sound-before'; "
                                               "else echo 0 > '%1/sound-before'; fi\n"
                                               "pwd > '%1/cwd'\n"
                                               "touch '%1/done'\n")
                                    .arg(m_records, m_capture)
                                    .toUtf8()));
        QVERIFY(QFile::setPermissions(speak, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QVERIFY(writeAll(m_root.filePath(QStringLiteral("alsa.conf")),
                         "pcm.!default { type file; slave.pcm \"null\"; file \"|cat >> " + QFile::encodeName(m_capture)
                             + "\"; format \"raw\" }\n"));

        // Settings: the dispatch computer on this machine; alarm sound, speech with every block,
        // unit sounds.
        QStringList settings{QStringLiteral("127.0.0.1"), "1", "1", speak, QStringLiteral("/elsewhere/sabbel.txt"),
                             QString(), QStringLiteral("--schnell"), QStringLiteral("Achtung Alarm"),
                             QStringLiteral("Ende der Durchsage")};
        for (int i = 10; i <= 21; ++i)
            settings << QStringLiteral("1");
        settings << "0" << QString() << "0" << "0" << QString() << QString();
        QCOMPARE(settings.size(), 27);
        QVERIFY(writeAll(data(QStringLiteral("settings.dat")), CodePage::encode(settings.join("\r\n") + "\r\n")));

        // The map service: a local server that takes the requests and never answers.
        QVERIFY(m_silentMap.listen(QHostAddress::LocalHost, 0));
        connect(&m_silentMap, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* peer = m_silentMap.nextPendingConnection())
                m_mapPeers << peer;
        });
        QVERIFY(writeAll(data(QStringLiteral("map.ini")),
                         QStringLiteral("host=http://127.0.0.1:%1\r\nkey=test\r\n").arg(m_silentMap.serverPort()).toLatin1()));

        // The monitor always connects to port 4750. Another test may hold it for a while.
        QVERIFY2(QTest::qWaitFor([this] { return m_dispatch.isListening() || m_dispatch.listen(QHostAddress::LocalHost, 4750); },
                                 60000),
                 "port 4750 on 127.0.0.1 stays busy: the dispatch computer cannot be played");
    }

    void stationAlarmAndReplay()
    {
        clearRecords();
        QProcess monitor;
        QTcpSocket* link = startMonitor(monitor);
        QVERIFY2(link, "the monitor did not register on port 4750");
        QVERIFY(!QFile::exists(data(QStringLiteral("last.dat"))));

        // The alarm, cut in two so that the last byte arrives on its own.
        const QByteArray bytes = frame(demoAlarm().join(QChar(9)));
        link->write(bytes.left(bytes.size() - 1));
        link->flush();
        QTest::qWait(50);
        link->write(bytes.right(1));
        link->flush();
        QVERIFY(announced());

        // last.dat: fields 0 to 17, CR LF inside a field as <CR>, Windows-1252, CR LF line ends.
        const QByteArray expectedLast = "WACHALARM\r\nBrand\r\nB3 Y\r\nWohnungsbrand\r\nB3\r\n44135\r\nDortmund\r\n"
                                        "Kampstra\xdf" "e\r\n12\r\nMenschenleben in Gefahr<CR>Zufahrt \xfc" "ber Hof\r\n"
                                        "Innenstadt\r\nStadthaus\r\n3. OG\r\n\r\nELW 1\aHLF 20(A)\aDLK 23(D)\aRTW 1\a\r\n"
                                        "1\r\n51,5136\r\n7,4653\r\n";
        QCOMPARE(readAll(data(QStringLiteral("last.dat"))), expectedLast);

        const QByteArray units = "ELW 1\r\nHLF 20(A)\r\nDLK 23(D)\r\nRTW 1\r\n";
        const QByteArray expectedText = "Achtung Alarm\r\n\r\nWohnungsbrand\r\n\r\nB3\r\n\r\nDortmund\r\n\r\n"
                                        "Kampstra\xdf" "e\r\n\r\n12\r\n\r\n3. OG\r\n\r\n"
                                        "Stadtteil \r\n\r\nInnenstadt\r\n\r\nObjekt \r\n\r\nStadthaus\r\n\r\n"
                                        "Alarmiert sind\r\n" + units + "Ich wiederhole         Alarmiert sind\r\n" + units
            + "\r\nEnde der Durchsage\r\n\r\n";
        QCOMPARE(readAll(record(QStringLiteral("text"))), expectedText);
        QCOMPARE(readAll(program(QStringLiteral("sabbel.txt"))), expectedText);
        QCOMPARE(readAll(record(QStringLiteral("args"))),
                 "[" + QFile::encodeName(program(QStringLiteral("sabbel.txt"))) + "][--schnell]");
        QCOMPARE(readAll(record(QStringLiteral("cwd"))).trimmed(), QFile::encodeName(m_data));

        const QByteArray expectedScript = "#!/bin/sh\ncd \"" + QFile::encodeName(m_data) + "\"\n\""
            + QFile::encodeName(program(QStringLiteral("speak.sh"))) + "\"  \""
            + QFile::encodeName(program(QStringLiteral("sabbel.txt"))) + "\" --schnell\n";
        QCOMPARE(readAll(data(QStringLiteral("sound.sh"))), expectedScript);

        // The loudspeakers: the alarm sound, then (after the speech) each unit's sound in order;
        // DLK 23 has no file and gives silence.
        QCOMPARE(readAll(m_capture), m_alarmSound + m_elwSound + m_hlfSound + m_rtwSound);
        QCOMPARE(readAll(record(QStringLiteral("sound-before"))).trimmed().toLongLong(), m_alarmSound.size());

        // The map service was asked and never answered; the monitor went on regardless.
        QVERIFY(!m_mapPeers.isEmpty());

        // Restart: the stored alarm is shown and announced again, and last.dat stays as it was.
        monitor.kill();
        QVERIFY(monitor.waitForFinished(10000));
        delete link;
        clearRecords();
        QProcess second;
        QTcpSocket* again = startMonitor(second);
        QVERIFY2(again, "the restarted monitor did not register");
        QVERIFY(announced());
        QCOMPARE(readAll(record(QStringLiteral("text"))), expectedText);
        QCOMPARE(readAll(data(QStringLiteral("sound.sh"))), expectedScript);
        QCOMPARE(readAll(m_capture), m_alarmSound + m_elwSound + m_hlfSound + m_rtwSound);
        QCOMPARE(readAll(data(QStringLiteral("last.dat"))), expectedLast);
        second.kill();
        QVERIFY(second.waitForFinished(10000));
        delete again;
    }
};

QTEST_GUILESS_MAIN(AlarmEndToEndTest)
#include "tst_AlarmEndToEnd.moc"
