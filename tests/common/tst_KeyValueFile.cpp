// display.ini and map.ini as people write them, read from real files through the one reader.
#include "app/DisplaySettings.h"
#include "map/MapConfig.h"
#include "tests/support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

static QStringList warnings;

class KeyValueFileTest : public QObject {
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // "<fifo>": a named pipe in the file's place
        QTest::addColumn<QString>("read");
        QTest::addColumn<QStringList>("warned"); // in any order, each once
        const QString display = "0|0|||30|0|0", map = "0|https://maps.googleapis.com|0||© OpenStreetMap-Mitwirkende";
        QTest::newRow("byte order mark, a quoted '#' kept, comments after a blank")
            << "display.ini"
            << QByteArray("\xEF\xBB\xBFwake=command # HDMI-CEC\r\nwake.on=cec-ctl --osd-name "
                          "\"Wache #1\" --to 0   # the TV\r\nwake.off=/bin/standby#1\r\n")
            << "0|2|cec-ctl,--osd-name,Wache #1,--to,0|/bin/standby#1|30|0|0" << QStringList();
        QTest::newRow("UTF-8 values, a comment after the contact")
            << "map.ini"
            << QByteArray("\xEF\xBB\xBFprovider=osm\ncontact=wache@example.org      # named in every "
                          "request\nattribution=\xC2\xA9 Karte\n")
            << "1|https://maps.googleapis.com|0|wache@example.org|© Karte" << QStringList();
        QTest::newRow("a line longer than any buffer is read whole")
            << "map.ini"
            << "key=" + QByteArray(200000, 'k') + "\ncontact=x\n"
            << "0|https://maps.googleapis.com|200000|x|© OpenStreetMap-Mitwirkende" << QStringList();
        QTest::newRow("not UTF-8: Windows-1252, said once")
            << "map.ini" << QByteArray("attribution=\xA9 Karte\r\n") << "0|https://maps.googleapis.com|0||© Karte"
            << QStringList("map.ini line 1: not UTF-8; read as Windows-1252");
        QTest::newRow("unknown key, no '=', unusable values: one warning each, with the line")
            << "display.ini"
            << QByteArray(
                   "fullscreen=yes\nwake.x=1\n\n# wake=x11\nnonsense\nawake_minutes=-5\nlink_warning_seconds=2.5\n"
                   "wake.on=\"\"\nwake=x11\n")
            << "0|1|||30|0|0"
            << QStringList { "display.ini line 1: fullscreen=yes is not used (0 or 1 expected)",
                   "display.ini line 2: unknown key \"wake.x\"; the line is ignored",
                   "display.ini line 5: no key=value; the line is ignored",
                   "display.ini line 6: awake_minutes=-5 is not used (minutes from 0 to 1440 expected)",
                   "display.ini line 7: link_warning_seconds=2.5 is not used (whole seconds from 0 to 86400 expected)",
                   "display.ini line 8: wake.on=\"\" is not used (a program expected)" };
        QTest::newRow("an unknown provider and an address without its scheme")
            << "map.ini" << QByteArray("provider=google\nhost=maps.example.org\nkey=k\n")
            << "0|https://maps.googleapis.com|1||© OpenStreetMap-Mitwirkende"
            << QStringList { "map.ini line 1: provider=google is not used (osm or static expected)",
                   "map.ini line 2: host=maps.example.org is not used (an http:// or https:// address expected)" };
        QTest::newRow("a pipe is not opened")
            << "map.ini" << QByteArray("<fifo>") << map << QStringList("map.ini: no regular file; not read");
        QTest::newRow("over 1 MiB is not read") << "display.ini"
                                                << "fullscreen=1\n" + QByteArray(1024 * 1024, '#') << display
                                                << QStringList("display.ini: larger than 1048576 bytes; not read");
    }
    void read()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, read);
        QFETCH(QStringList, warned);
        const QTemporaryDir folder;
        const QString path = folder.filePath(name);
        QVERIFY(bytes == "<fifo>" ? ::mkfifo(QFile::encodeName(path), 0600) == 0 : TestFiles::writeAll(path, bytes));
        warnings.clear();
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
        QStringList got;
        if (name == DisplaySettings::FileName) {
            const DisplaySettings s = DisplaySettings::read(folder.path());
            const auto n = [](double v) { return QString::number(v); };
            got = QStringList { n(s.fullscreen), n(int(s.wake)), s.wakeOn.join(','), s.wakeOff.join(','),
                n(s.awakeMinutes), n(s.replayAnnounceMinutes), n(s.linkWarningSeconds) };
        } else {
            const MapConfig c = MapConfig::read(folder.path());
            got = QStringList { QString::number(c.isOsm()), c.host, QString::number(c.key.size()), c.contact,
                c.attribution };
        }
        qInstallMessageHandler(nullptr);
        QCOMPARE(got.join('|'), read);
        warnings.replaceInStrings(folder.path() + '/', QString());
        warnings.sort();
        warned.sort();
        QCOMPARE(warnings, warned);
    }
};

QTEST_GUILESS_MAIN(KeyValueFileTest)
#include "tst_KeyValueFile.moc"
