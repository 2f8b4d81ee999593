// The configuration in force: a change saved applies at once, or after the announcement under way;
// a file that cannot be read keeps the values before it, whole.
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementOutput.h"
#include "app/WallScreen.h"
#include "config/Configuration.h"
#include "print/Printout.h"
#include "tests/support/DataRows.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Sounds that play until the test ends them.
struct HeldSound : AnnouncementOutput {
    int played = 0;
    void PlayWave(const QString&) override { ++played; }
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override { }
    void StopStep() override { }
    void finish() { emit stepEnded(); }
};

int mode(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class ConfigurationTest : public QObject {
    Q_OBJECT

private slots:
    // Saved in the running program: the retention deletes at once, the printer is the next
    // printout's, and the wall layout comes up. The file keeps its comment and is the owner's only.
    void savedChangesApplyAtOnce()
    {
        WindowFixture f;
        QVERIFY(f.putDataFile("print.ini", "# Drucker der Wache\nprinter=Alt\n"));
        const QString lastDat = f.dataFile("last.dat");
        QVERIFY(LastAlarmStore::store(lastDat, WindowFixture::stationAlarm("B3 Alt", { "ELW 1" }).split('\t')));
        QVERIFY(TestFiles::setModified(lastDat, QDateTime::currentDateTime().addDays(-40)));
        f.form->load();
        const QString db = f.dataFile("history.sqlite");
        const QString count = "SELECT count(*) FROM alarms";
        QTRY_COMPARE_WITH_TIMEOUT(SqliteRows(db, count), QStringList { "1" }, 10000);
        QVERIFY(!f.form->findChild<WallScreen*>());
        QCOMPARE(f.station->printout().settings()->printer, "Alt");

        Configuration& config = f.station->config();
        QVERIFY(config.save(ConfigFile::History, { { "keep_days", "30" } }));
        QVERIFY(config.save(ConfigFile::Print, { { "printer", "Halle" } }));
        QVERIFY(config.save(ConfigFile::Display, { { "layout", "wall" } }));
        QCOMPARE(f.station->printout().settings()->printer, "Halle");
        QVERIFY(f.form->findChild<WallScreen*>());
        QTRY_COMPARE_WITH_TIMEOUT(SqliteRows(db, count), QStringList { "0" }, 10000);
        QCOMPARE(TestFiles::readAll(f.dataFile("print.ini")), "# Drucker der Wache\nprinter=Halle\n");
        QCOMPARE(mode(f.dataFile("print.ini")), 0600);
        QCOMPARE(mode(f.dataFile("history.ini")), 0600);
    }

    // A change saved while an alarm is announced applies once the announcement has ended.
    void savedDuringAnAnnouncement()
    {
        HeldSound sound;
        WindowFixture f;
        QVERIFY(
            f.putDataFile("settings.dat", "localhost\r\n0\r\n1\r\n") && f.putDataFile("print.ini", "printer=Alt\n"));
        Station& station = *f.station;
        station.setAnnouncementOutput(&sound);
        f.form->load();
        station.core().HandleStationAlarm(WindowFixture::stationAlarm("B3 Brand", { "ELW 1" }), 0);
        QTRY_COMPARE_WITH_TIMEOUT(sound.played, 1, 10000);
        QSignalSpy configured(&station, &Station::configured);
        QVERIFY(station.config().save(ConfigFile::Print, { { "printer", "Halle" } }));
        QCOMPARE(TestFiles::readAll(f.dataFile("print.ini")), "printer=Halle\n");
        QCOMPARE(station.printout().settings()->printer, "Alt");
        QCOMPARE(configured.size(), 0);
        sound.finish();
        QTRY_COMPARE_WITH_TIMEOUT(station.printout().settings()->printer, "Halle", 10000);
        QCOMPARE(configured.size(), 1);
    }

    // A file that cannot be read keeps the values in force, whole, and says so; one read anew with
    // the same values (a comment more) is no change.
    void failedLoadKeepsTheValues_data()
    {
        columns<QString>("kind");
        row("a folder in its place", "dir");
        row("too large", "large");
        row("the same values, a comment more", "same");
    }
    void failedLoadKeepsTheValues()
    {
        const QString kind = std::get<0>(fetch<QString>("kind"));
        const QTemporaryDir folder;
        const QString path = folder.filePath("display.ini");
        QVERIFY(TestFiles::writeAll(path, "layout=wall\nstation_name=Wache Nord\n"));
        Configuration config;
        QSignalSpy changed(&config, &Configuration::changed);
        config.load(folder.path());
        QCOMPARE(changed.size(), 1);
        QVERIFY(QFile::remove(path));
        if (kind == "dir")
            QVERIFY(QDir(folder.path()).mkdir("display.ini"));
        else if (kind == "large")
            QVERIFY(TestFiles::writeAll(path, "layout=classic\n" + QByteArray(2 << 20, '#')));
        else
            QVERIFY(TestFiles::writeAll(path, "# Wand\nlayout=wall\nstation_name=Wache Nord\n"));
        if (kind != "same") {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("display.ini: (no regular file|larger than)"));
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression("display.ini: could not be read; the values in force stay$"));
        }
        config.reload();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(config.values(ConfigFile::Display).text(u"layout"), "wall");
        QCOMPARE(config.values(ConfigFile::Display).text(u"station_name"), "Wache Nord");
    }

    // Nothing is written when nothing changes; a value that cannot be used is refused in words.
    void saveWritesOnlyChanges()
    {
        const QTemporaryDir folder;
        const QString path = folder.filePath("map.ini");
        QVERIFY(TestFiles::writeAll(path, "key=abc\r\n"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        Configuration config;
        config.load(folder.path());
        QSignalSpy changed(&config, &Configuration::changed);
        QVERIFY(config.save(ConfigFile::Map, { { "key", "abc" } }));
        QCOMPARE(mode(path), 0604); // not written
        QString error;
        QVERIFY(!config.save(ConfigFile::Map, { { "route.factor", "0" } }, &error));
        QCOMPARE(error, "Nicht gespeichert: Zeitfaktor (map.ini) muss eine Zahl über 0 bis 10 sein; „0“ geht nicht.");
        QCOMPARE(TestFiles::readAll(path), "key=abc\r\n");
        QVERIFY(QDir(folder.path()).mkdir("history.ini")); // its other lines would be lost
        QVERIFY(!config.save(ConfigFile::History, { { "keep_days", "1" } }, &error));
        QVERIFY2(error.endsWith("history.ini kann nicht gelesen werden."), qPrintable(error));
        QCOMPARE(changed.size(), 0);
    }
};

QTEST_MAIN(ConfigurationTest)
#include "tst_Configuration.moc"
