// display.ini and map.ini as people write them, read from real files through the one reader.
#include "map/MapConfig.h"
#include "settings/DisplaySettings.h"
#include "tests/support/DataRows.h"
#include "tests/support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class KeyValueFileTest : public QObject {
    Q_OBJECT

private slots:
    void read_data()
    {
        // bytes: "<fifo>" is a named pipe in the file's place; read: display: full screen, wake, on, off, awake; map:
        // osm, host, key size, contact, attribution; warned: each exactly once, and nothing else
        columns<QString, QByteArray, QString, QStringList>("name", "bytes", "read", "warned");
        const auto row = [](const char* tag, const char* name, const QByteArray& bytes, const QString& read,
                             const QStringList& warned = {}) { QTest::newRow(tag) << name << bytes << read << warned; };
        const QString map = "0|https://maps.googleapis.com|0||© OpenStreetMap-Mitwirkende";
        row("byte order mark, a quoted '#' kept, comments after a blank", "display.ini",
            "\xEF\xBB\xBFwake=command # CEC\r\nwake.on=cec-ctl --osd-name \"Wache #1\"  # "
            "TV\r\nwake.off=/bin/off#1\r\n",
            "0|2|cec-ctl,--osd-name,Wache #1|/bin/off#1|30");
        row("UTF-8 values, a comment after the contact", "map.ini",
            "\xEF\xBB\xBFprovider=osm\ncontact=wache@example.org   # named in every request\nattribution=\xC2\xA9 "
            "Karte\n",
            "1|https://maps.googleapis.com|0|wache@example.org|© Karte");
        row("a line longer than any buffer is read whole", "map.ini", "key=" + QByteArray(200000, 'k') + "\ncontact=x",
            "0|https://maps.googleapis.com|200000|x|© OpenStreetMap-Mitwirkende");
        row("unknown key, no '=', unusable values: one warning each, with the line", "display.ini",
            "fullscreen=yes\nwake.x=1\n\n# wake=x11\nnonsense\nawake_minutes=-5\nwake.on=\"\"\nwake=x11\n", "0|1|||30",
            { "display.ini line 1: fullscreen=yes is not used (0 or 1 expected)",
                "display.ini line 2: unknown key \"wake.x\"; the line is ignored",
                "display.ini line 5: no key=value; the line is ignored",
                "display.ini line 6: awake_minutes=-5 is not used (minutes from 0 to 1440 expected)",
                "display.ini line 7: wake.on=\"\" is not used (a program expected)" });
        row("an unknown provider, an address without its scheme, a line not in UTF-8", "map.ini",
            "provider=google\nhost=maps.example.org\nattribution=\xA9 Karte\r\n", map.section('|', 0, 3) + "|© Karte",
            { "map.ini line 1: provider=google is not used (osm or static expected)",
                "map.ini line 2: host=maps.example.org is not used (an http:// or https:// address expected)",
                "map.ini line 3: not UTF-8; read as Windows-1252" });
        row("a pipe is not opened", "map.ini", "<fifo>", map, { "map.ini: no regular file; not read" });
        row("over 1 MiB is not read", "display.ini", "fullscreen=1\n" + QByteArray(1 << 20, '#'), "0|0|||30",
            { "display.ini: larger than 1048576 bytes; not read" });
    }
    void read()
    {
        auto [name, bytes, read, warned]
            = fetch<QString, QByteArray, QString, QStringList>("name", "bytes", "read", "warned");
        const QTemporaryDir folder;
        const QString path = folder.filePath(name);
        QVERIFY(bytes == "<fifo>" ? ::mkfifo(QFile::encodeName(path), 0600) == 0 : TestFiles::writeAll(path, bytes));
        for (const QString& warning : warned)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(folder.filePath(warning)));
        QTest::failOnWarning(QRegularExpression("."));
        QStringList got;
        if (name == DisplaySettings::FileName) {
            const DisplaySettings s = DisplaySettings::read(folder.path());
            got << QString::number(s.fullscreen) << QString::number(int(s.wake)) << s.wakeOn.join(',')
                << s.wakeOff.join(',') << QString::number(s.awakeMinutes);
        } else {
            const MapConfig c = MapConfig::read(folder.path());
            got << QString::number(c.isOsm()) << c.host << QString::number(c.key.size()) << c.contact << c.attribution;
        }
        QCOMPARE(got.join('|'), read);
    }
};

QTEST_GUILESS_MAIN(KeyValueFileTest)
#include "tst_KeyValueFile.moc"
