// kessvenn --check-config and --print-config, the real program on a data folder of the test's own:
// a clean station passes without a word; each kind of fault, planted alone, is one problem line
// naming file, line and key, and exit status 1. Neither opens a window or the link.
#include "tests/support/DataRows.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"
#include "water/WaterIndex.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <unistd.h>

namespace {

// settings.dat of a station with every sound and the speech on, line by line.
QByteArray settingsDat(const QString& speechProgram, const QByteArray& proxyPort = "0")
{
    QList<QByteArray> lines(27, "0");
    lines[0] = "localhost";
    lines[1] = lines[2] = lines[20] = "1"; // speech, alarm.wav, the units' sounds
    lines[3] = QFile::encodeName(speechProgram);
    for (int i : { 4, 5, 6, 7, 8, 22, 25, 26 })
        lines[i] = "";
    lines[23] = proxyPort;
    return lines.join("\r\n") + "\r\n";
}

const QByteArray kCalendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Wache//DE\r\nBEGIN:VEVENT\r\n"
                             "UID:1@wache\r\nDTSTART:20300101T190000\r\nSUMMARY:Übungsabend\r\nEND:VEVENT\r\n"
                             "END:VCALENDAR\r\n";

using Plant = std::function<bool(const QString& data, const QString& program)>;

// Lines added at the end of a file of the data folder.
Plant appending(const char* name, QByteArray lines)
{
    return [name, lines](const QString& d, const QString&) {
        const QString path = d + '/' + QString::fromUtf8(name);
        return TestFiles::writeAll(path, TestFiles::readAll(path) + lines);
    };
}

} // namespace

class CheckConfigTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    PrivateCups m_cups;
    QString m_program; // the monitor, copied into a program folder of its own
    QString m_data; // its data folder
    QString m_routino;

    // The program's standard output and its exit status, run as the station would run it.
    std::pair<QStringList, int> run(const QString& option, const QString& home = {})
    {
        QProcess kessvenn;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.isEmpty() ? m_root.filePath(QStringLiteral("home")) : home);
        // No screen to find: a window would abort without one.
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QString::fromLatin1(name));
        kessvenn.setProcessEnvironment(env);
        kessvenn.start(m_program, { option });
        if (!kessvenn.waitForFinished(60000))
            return { {}, -1 };
        const QString out = QString::fromUtf8(kessvenn.readAllStandardOutput());
        return { out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), kessvenn.exitCode() };
    }

    QString data(const char* name) const { return QDir(m_data).filePath(QString::fromUtf8(name)); }

private slots:
    void initTestCase()
    {
        const QString folder = m_root.filePath(QStringLiteral("opt"));
        QVERIFY(QDir().mkpath(folder));
        m_program = QDir(folder).filePath(QStringLiteral("kessvenn"));
        QVERIFY(QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), m_program));
        m_data = m_root.filePath(QStringLiteral("home/Torvelle"));
        m_routino = RoutinoTown::prepare(m_root.filePath(QStringLiteral("town")));
        if (m_routino.isEmpty())
            QSKIP("routino's planetsplitter is missing or failed");
        QVERIFY(!m_cups.started() || m_cups.addQueue(QStringLiteral("Wache")));
    }

    // A station whose every file is right: the monitor's own files, the calendar, the index, the
    // route's data, the queue, the sounds, the speech program, the crew and the vehicles.
    void init()
    {
        QVERIFY(QDir(m_data).removeRecursively() || !QFileInfo::exists(m_data));
        QVERIFY(QDir().mkpath(data("Sounds")));
        const QString program = QFileInfo(m_program).path();
        QFile::remove(QDir(program).filePath(QStringLiteral("alarm.wav")));
        QVERIFY(!SoundWriter::write(QDir(program).filePath(QStringLiteral("alarm.wav")), 1).isEmpty());
        QVERIFY(!SoundWriter::write(data("Sounds/HLF 20.wav"), 2).isEmpty());
        QVERIFY(TestFiles::writeScript(data("sprich.sh"), "exit 0"));
        QVERIFY(TestFiles::writeAll(data("settings.dat"), settingsDat(data("sprich.sh"))));
        QVERIFY(TestFiles::writeAll(data("termine.ics"), kCalendar));
        QVERIFY(TestFiles::writeAll(data("display.ini"), "# die Wand\nlayout=wall\ncalendar=termine.ics\n"));
        QString error;
        QFile::remove(data("water.sqlite"));
        QVERIFY2(WaterIndex::write(
                     data("water.sqlite"), { WaterSource { WaterKind::Hydrant, 100, {}, 'n', 1, 51.5, 7.4 } }, &error),
            qPrintable(error));
        QVERIFY(TestFiles::writeAll(data("map.ini"),
            "provider=osm\nstation=51.50,7.40\nroute=routino\nroute.data=" + QFile::encodeName(m_routino)
                + "\nwater=" + QFile::encodeName(data("water.sqlite")) + "\nkey=geheim\n"));
        if (m_cups.started())
            QVERIFY(TestFiles::writeAll(data("print.ini"), "printer=Wache\ncopies=1\n"));
        QVERIFY(TestFiles::writeAll(data("history.ini"), "keep_personal_days=90\n"));
        QVERIFY(TestFiles::writeAll(data("alarmwege.ini"),
            "dispatch=127.0.0.1:4751\nradio.command=cat | sort -u\nradio.ric.1234567=Alarm\nradio.test_ric=1234999\n"
            "radio.test_minutes=3\n"));
        QVERIFY(TestFiles::writeAll(data("mannschaft.csv"), "Melder;Name;Qualifikation\n1001;Zora Zink;ZF AGT\n"));
        QVERIFY(TestFiles::writeAll(data("fahrzeuge.ini"), "Florian Hagen 1-HLF20-1 = HLF 20\n"));
    }

    // The station of init() passes; so does one without files yet, and the check makes no data folder.
    void cleanFolder_data()
    {
        columns<bool>("fresh");
        row("every file right", false);
        row("a fresh station left alone", true);
    }
    void cleanFolder()
    {
        const QString home = m_root.filePath(QStringLiteral("fresh"));
        const bool fresh = std::get<0>(fetch<bool>("fresh"));
        QVERIFY(!fresh || QDir().mkpath(home));
        const auto [lines, status] = run(QStringLiteral("--check-config"), fresh ? home : QString());
        QCOMPARE(lines, QStringList());
        QCOMPARE(status, 0);
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void oneFault_data()
    {
        // problem: the one line printed, as a pattern
        columns<Plant, QString>("plant", "problem");

        QTest::newRow("settings.dat: a port beyond 16 bits") << Plant([](const QString& d, const QString&) {
            return TestFiles::writeAll(d + "/settings.dat", settingsDat(d + "/sprich.sh", "99999"));
        }) << "^settings\\.dat:24: proxy_port: .*99999.*; ";
        QTest::newRow("display.ini: an unknown layout")
            << appending("display.ini", "layout=turm\n") << "^display\\.ini:4: layout: .*turm.*; ";
        QTest::newRow("map.ini: a factor of 0")
            << appending("map.ini", "route.factor=0\n") << "^map\\.ini:7: route\\.factor: .*0.*; ";
        QTest::newRow("print.ini: 500 copies")
            << appending("print.ini", "copies=500\n") << "^print\\.ini:3: copies: .*500.*; ";
        QTest::newRow("history.ini: days that are no number")
            << appending("history.ini", "keep_days=ewig\n") << "^history\\.ini:2: keep_days: .*ewig.*; ";
        QTest::newRow("alarmwege.ini: a decoder that is not installed")
            << appending("alarmwege.ini", "radio.command=cat | rtl_nirgends -f 1\n")
            << "^alarmwege\\.ini:6: radio\\.command: rtl_nirgends is not found in PATH; no radio alarms are heard$";
        QTest::newRow("alarmwege.ini: a RIC beyond 21 bits") << appending("alarmwege.ini", "radio.ric.3000000=Zug\n")
                                                             << "^alarmwege\\.ini:6: radio\\.ric\\.3000000: is no RIC "
                                                                ".*; the RIC is not the station's$";
        QTest::newRow("alarmwege.ini: a test message expected never")
            << appending("alarmwege.ini", "radio.test_minutes=0\n")
            << "^alarmwege\\.ini:4: radio\\.test_ric: no radio\\.test_minutes says how often the test message comes; "
               "the test message is not watched$";
        QTest::newRow("a wake command that is not installed")
            << appending("display.ini", "wake=command\nwake.on=nirgends-cec --an\n")
            << "^display\\.ini:5: wake\\.on: nirgends-cec is not found in PATH; the screen is not switched$";
        QTest::newRow("a missing calendar")
            << Plant([](const QString& d, const QString&) { return QFile::remove(d + "/termine.ics"); })
            << "^display\\.ini:3: calendar: .*termine\\.ics does not exist; no appointments are shown$";
        QTest::newRow("a broken water index") << Plant([](const QString& d, const QString&) {
            return TestFiles::writeAll(d + "/water.sqlite", QByteArray(4096, 'x'));
        }) << "^map\\.ini:5: water: .*water\\.sqlite is no water index: .*; no water sources are shown$";
        QTest::newRow("a missing Routino folder") << Plant([this](const QString& d, const QString&) {
            return TestFiles::writeAll(d + "/map.ini",
                TestFiles::readAll(d + "/map.ini").replace(QFile::encodeName(m_routino), "/nirgends/routino"));
        }) << "^map\\.ini:4: route\\.data: /nirgends/routino is no folder; no route$";
        QTest::newRow("an unknown printer queue") << Plant([this](const QString& d, const QString&) {
            return m_cups.started() && TestFiles::writeAll(d + "/print.ini", "copies=1\nprinter=Nirgends\n");
        }) << "^print\\.ini:2: printer: \"Nirgends\": CUPS knows no such queue; nothing is printed$";
        QTest::newRow("a missing unit sound")
            << Plant([](const QString& d, const QString&) {
                   return QFile::remove(d + "/Sounds/HLF 20.wav")
                       && QFile::link(d + "/Sounds/weg.wav", d + "/Sounds/HLF 20.wav");
               })
            << "^settings\\.dat:21: unit_wavs: .*/Sounds/HLF 20\\.wav is a link to a file that does not exist; "
               "the unit's sound is left out$";
        QTest::newRow("a missing alarm.wav")
            << Plant([](const QString&, const QString& program) { return QFile::remove(program + "/alarm.wav"); })
            << "^settings\\.dat:3: alarm_wav: .*/alarm\\.wav does not exist; no alarm sound$";
        QTest::newRow("a speech program that is not executable") << Plant([](const QString& d, const QString&) {
            return QFile::setPermissions(d + "/sprich.sh", QFile::ReadOwner | QFile::WriteOwner);
        }) << "^settings\\.dat:4: speech_program: .*/sprich\\.sh is not executable; nothing is spoken$";
        QTest::newRow("a crew line with too few fields") << appending(
            "mannschaft.csv", "1002;Gabi Graf\n") << "^mannschaft\\.csv:3: fewer than 3 fields; the line is ignored$";
        QTest::newRow("a vehicle line without =") << appending("fahrzeuge.ini",
            "Florian Hagen 1-DLK23-1\n") << "^fahrzeuge\\.ini:2: no \"call name = short name\"; the line is ignored$";
    }

    void oneFault()
    {
        auto [plant, problem] = fetch<Plant, QString>("plant", "problem");
        if (QString::fromUtf8(QTest::currentDataTag()).contains(QLatin1String("print")) && !m_cups.started())
            QSKIP(qPrintable(QStringLiteral("no private cupsd: ") + m_cups.whyNot()));
        QVERIFY(plant(m_data, QFileInfo(m_program).path()));
        const auto [lines, status] = run(QStringLiteral("--check-config"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(QRegularExpression(problem).match(lines.first()).hasMatch(), qPrintable(lines.first()));
        QCOMPARE(status, 1);
    }

    // Where each value comes from: a line of a file, or the default.
    void printConfig()
    {
        const auto [lines, status] = run(QStringLiteral("--print-config"));
        QCOMPARE(status, 0);
        // A key or password is said to be set, never shown.
        for (const char* line :
            { "display.ini:2 layout=wall", "history.ini:1 keep_personal_days=90", "(default) keep_days=0",
                "(default) standby_minutes=60", "alarmwege.ini:3 radio.ric.1234567=Alarm", "map.ini:6 key=(set)" })
            QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
        QVERIFY(!lines.join(QLatin1Char('\n')).contains(QLatin1String("geheim")));
    }
};

QTEST_GUILESS_MAIN(CheckConfigTest)
#include "tst_CheckConfig.moc"
