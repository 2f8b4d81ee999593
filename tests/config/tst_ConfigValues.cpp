// The settings files read with the schema and written back line for line.
#include "config/ConfigValues.h"
#include "config/Configuration.h"
#include "paths/AlarmPathSettings.h"
#include "tests/support/DataRows.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// A value of each type that cannot be used.
QString badValue(const ConfigKey& schemaKey)
{
    switch (schemaKey.type) {
    case KeyType::Flag:
        return QStringLiteral("ja");
    case KeyType::Whole:
        return QString::number(schemaKey.highest + 1);
    case KeyType::Decimal:
    case KeyType::TimeSpan:
        return QStringLiteral("-1");
    case KeyType::Choice:
        return QStringLiteral("bunt");
    case KeyType::Url:
        return QStringLiteral("karte.example.org");
    case KeyType::Coordinates:
        return QStringLiteral("Wache");
    case KeyType::Command:
        return QStringLiteral("\"\"");
    default:
        if (!schemaKey.pattern.isEmpty())
            return QString(); // a RIC without its text
        return schemaKey.check ? QStringLiteral("zwei Worte") : QStringLiteral("a\x01b");
    }
}

} // namespace

class ConfigValuesTest : public QObject {
    Q_OBJECT

private slots:
    // Every key of every file: a bad value is a problem naming file, line and key, and the key's
    // rules decide what is used (the default unless the key says otherwise).
    void everyKeyBad_data()
    {
        columns<int>("index");
        for (qsizetype i = 0; i < configSchema().size(); ++i) {
            const ConfigKey& schemaKey = configSchema()[i];
            if (schemaKey.type != KeyType::Words && schemaKey.type != KeyType::Secret
                && schemaKey.file != ConfigFile::Settings)
                row(qPrintable(configFileName(schemaKey.file) + ' ' + schemaKey.key), int(i));
        }
    }
    void everyKeyBad()
    {
        const ConfigKey& schemaKey = configSchema()[std::get<0>(fetch<int>("index"))];
        const QString bad = badValue(schemaKey);
        // A pattern key by a name it stands for.
        const QString key = schemaKey.pattern.isEmpty() ? schemaKey.key : QStringLiteral("radio.ric.1234567");
        const ConfigValues values
            = ConfigValues::parse(schemaKey.file, "# first\n" + key.toUtf8() + " = " + bad.toUtf8() + "\n");
        QCOMPARE(values.problems().size(), 1);
        const ConfigProblem& problem = values.problems().first();
        QVERIFY2(problem.text().startsWith(configFileName(schemaKey.file) + ":2: " + key + ": \""),
            qPrintable(problem.text()));
        const QString used = schemaKey.keepBad ? bad
            : schemaKey.badText.isEmpty()      ? schemaKey.defaultText
                                               : schemaKey.badText;
        QCOMPARE(values.at(key).value,
            ConfigValues::parse(schemaKey.file, key.toUtf8() + '=' + used.toUtf8()).at(key).value);
    }

    void problems_data()
    {
        columns<int, QByteArray, QStringList>("file", "bytes", "problems");
        const auto F = [](ConfigFile f) { return int(f); };
        row("range, with the default", F(ConfigFile::Map), QByteArray("route.factor=0\n"),
            QStringList { "map.ini:1: route.factor: \"0\" is not a number above 0 up to 10; no route" });
        row("line without '=', unknown key, not UTF-8", F(ConfigFile::Display),
            QByteArray("\xEF\xBB\xBF# x\nnonsense\nwake.x=1\nstation_name=Wache \xFC\n"),
            QStringList { "display.ini:2: no key=value; the line is ignored",
                "display.ini:3: wake.x: unknown key; the line is ignored",
                "display.ini:4: not UTF-8; read as Windows-1252" });
        row("a printer that is no queue is kept", F(ConfigFile::Print),
            QByteArray("printer=Halle 2\ncopies=2.5\ninformant=ja"),
            QStringList {
                "print.ini:1: printer: \"Halle 2\" is not a CUPS queue name (no blanks, control characters, '/' "
                "or '#'); kept as written, so nothing is printed on another queue",
                "print.ini:2: copies: \"2.5\" is not a whole number from 0 to 99; 1 is used",
                "print.ini:3: informant: \"ja\" is not 0 or 1; 0 is used: the informant stays off the paper" });
        row("alarmwege.ini: hosts, RICs, windows", F(ConfigFile::Paths),
            QByteArray("dispatch=b:4751, :99 c\nradio.ric.1234567.e=A\nradio.ric.12=\nradio.test_ric=3000000\n"
                       "merge_minutes=0\nradio.ric=A\n"),
            QStringList { "alarmwege.ini:1: dispatch: \"b:4751, :99 c\" holds \":99\", which is no host or "
                          "host:port with a port from 1 to 65535; the other hosts are used",
                "alarmwege.ini:2: radio.ric.1234567.e: unknown key; the line is ignored",
                "alarmwege.ini:3: radio.ric.12: \"\" is empty; the RIC is not the station's",
                "alarmwege.ini:4: radio.test_ric: \"3000000\" is no RIC (a number from 0 to 2097151); the test "
                "message is not watched",
                "alarmwege.ini:5: merge_minutes: \"0\" is not a whole number from 1 to 1440; 10 is used",
                "alarmwege.ini:6: radio.ric: unknown key; the line is ignored" });
        row("settings.dat: out of 16 bits, a flag of 2", F(ConfigFile::Settings), QByteArray("els\r\n70000\r\n2\r\n"),
            QStringList { "settings.dat:2: speech: \"70000\" does not fit 16 bits; 0 is used",
                "settings.dat:3: alarm_wav: \"2\" is not 0 or 1; 0 is used" });
    }
    void problems()
    {
        auto [file, bytes, problems] = fetch<int, QByteArray, QStringList>("file", "bytes", "problems");
        QStringList got;
        const ConfigValues values = ConfigValues::parse(ConfigFile(file), bytes);
        for (const ConfigProblem& p : values.problems())
            got << p.text();
        QCOMPARE(got, problems);
    }

    void values()
    {
        // Display's other types: tst_MainLayout's table.
        const ConfigValues display
            = ConfigValues::parse(ConfigFile::Display, "strength.show=AGT, Ma\nfullscreen=1\nfullscreen=x\n");
        QCOMPARE(display.list(u"strength.show"), QStringList({ "AGT", "Ma" }));
        QCOMPARE(display.list(u"strength.leaders"), QStringList({ "ZF", "GF" }));
        QCOMPARE(display.flag(u"fullscreen"), true); // a later bad line keeps the earlier value
        QCOMPARE(display.at(u"fullscreen").line, 2);

        const ConfigValues map = ConfigValues::parse(
            ConfigFile::Map, "tiles=\nstation=53.5,10.0\nroute=ROUTINO\nkey=" + QByteArray(200000, 'k'));
        QCOMPARE(map.text(u"key").size(), 200000); // a line longer than any buffer is read whole
        QCOMPARE(map.text(u"tiles"), "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
        QCOMPARE(map.at(u"station").value.toPointF(), QPointF(10.0, 53.5));
        QCOMPARE(map.text(u"route"), "routino");
        QVERIFY(map.problems().isEmpty());

        const ConfigValues settings = ConfigValues::parse(ConfigFile::Settings, "\r\n1\r\n0\r\n/usr/bin/say \xE4\r\n");
        QCOMPARE(settings.text(u"server"), "localhost");
        QCOMPARE(settings.flag(u"speech"), true);
        QCOMPARE(settings.text(u"speech_program"), "/usr/bin/say ä");
        QCOMPARE(settings.whole(u"proxy_port"), 0); // not in the file
        QCOMPARE(settings.given(u"proxy_port"), false);
    }

    // alarmwege.ini written by the dialog's way and read back: what cannot be used is left out, the
    // rest stays; a RIC keeps its sub-address and its last line.
    void pathSettings()
    {
        QTemporaryDir folder;
        QVERIFY(TestFiles::writeAll(folder.filePath("alarmwege.ini"),
            "dispatch=b, x:0, [fd00::5]:4751, b:4750, fd00::6\nradio.ric.1234567=Alarm Löschzug Mitte # Zug\n"
            "radio.ric.0012345.b=Erst\nradio.test_ric=1234999\nradio.test_minutes=3\nsilent_minutes=5\n"));
        Configuration config;
        config.load(folder.path());
        QVERIFY(config.save(ConfigFile::Paths,
            { { "radio.ric.12345.b", "Zug 2" }, { "radio.command", "rtl_fm - | multimon-ng -a POCSAG1200 -" } }));
        AlarmPathSettings expected;
        expected.dispatch = { { "b", 4750 }, { "fd00::5", 4751 }, { "fd00::6", 4750 } };
        expected.radio = { "rtl_fm - | multimon-ng -a POCSAG1200 -",
            { { "1234567", QChar(), "Alarm Löschzug Mitte" }, { "12345", 'B', "Zug 2" } }, "1234999", 3 };
        expected.silentMinutes = 5;
        QCOMPARE(AlarmPathSettings::from(config.values(ConfigFile::Paths)), expected);
        QCOMPARE(expected.dispatch[1].text(), "[fd00::5]:4751");
        QCOMPARE(AlarmPathSettings::from(ConfigValues(ConfigFile::Paths)), AlarmPathSettings());
    }

    // A file in the folder: none gives the defaults; one that cannot be read is unread.
    void read_data()
    {
        columns<QString, bool, bool, QString>("kind", "present", "unread", "problem");
        row("none", "", false, false, "");
        row("a folder in its place", "dir", true, true, "history.ini: no regular file; not read");
        row("a pipe is not opened", "fifo", true, true, "history.ini: no regular file; not read");
        row("too large", "large", true, true, "history.ini: larger than 1048576 bytes; not read");
        row("no permission", "locked", true, true, "history.ini: cannot be read: ");
        row("read", "file", true, false, "");
    }
    void read()
    {
        auto [kind, present, unread, problem]
            = fetch<QString, bool, bool, QString>("kind", "present", "unread", "problem");
        const QTemporaryDir folder;
        const QString path = folder.filePath("history.ini");
        if (kind == "dir")
            QVERIFY(QDir(folder.path()).mkdir("history.ini"));
        if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path), 0600) == 0);
        if (kind == "large")
            QVERIFY(TestFiles::writeAll(path, "keep_days=1\n" + QByteArray(1 << 20, '#')));
        if (kind == "locked" || kind == "file")
            QVERIFY(TestFiles::writeAll(path, "keep_days=7\n"));
        if (kind == "locked") {
            QVERIFY(QFile::setPermissions(path, {}));
            if (QFile(path).open(QIODevice::ReadOnly))
                QSKIP("root reads every file");
        }
        const ConfigValues values = ConfigValues::read(folder.path(), ConfigFile::History);
        QCOMPARE(values.present(), present);
        QCOMPARE(values.unread(), unread);
        QCOMPARE(values.whole(u"keep_days"), kind == "file" ? 7 : 0);
        QCOMPARE(values.problems().isEmpty(), problem.isEmpty());
        if (!problem.isEmpty())
            QVERIFY2(values.problems().first().text().startsWith(folder.filePath(problem)),
                qPrintable(values.problems().first().text()));
    }

    void rewrite_data()
    {
        columns<int, QByteArray, QStringList, QByteArray>("file", "before", "changes", "after");
        const int map = int(ConfigFile::Map);
        const QByteArray same = "\xEF\xBB\xBF# Karte\r\nkey = abc  # Schl\xFC\x73sel\r\n";
        row("nothing changed: the same bytes", map, same, QStringList { "key", "abc" }, same);
        row("a value in place: BOM, comment, unknown key, CR LF kept", map,
            QByteArray("\xEF\xBB\xBF# Karte\r\nfoo=bar\r\nkey = abc  # alt\r\nhost=http://x\r\n"),
            QStringList { "key", "neu" },
            QByteArray("\xEF\xBB\xBF# Karte\r\nfoo=bar\r\nkey = neu  # alt\r\nhost=http://x\r\n"));
        row("the line in force changes, a new key goes to the end", map, QByteArray("contact=a\ncontact=b\n# Ende"),
            QStringList { "contact", "c", "water", "/srv/wasser.idx" },
            QByteArray("contact=a\ncontact=c\n# Ende\nwater=/srv/wasser.idx\n"));
        row("a text that would be cut is quoted", int(ConfigFile::Display), QByteArray("station_name=Alt\n"),
            QStringList { "station_name", "Wache #1 ", "calendar", "a\nb" },
            QByteArray("station_name=\"Wache #1 \"\ncalendar=a b\n"));
        row("an empty file", int(ConfigFile::History), QByteArray(), QStringList { "keep_days", "30" },
            QByteArray("keep_days=30\n"));
    }
    void rewrite()
    {
        auto [file, before, changes, after]
            = fetch<int, QByteArray, QStringList, QByteArray>("file", "before", "changes", "after");
        QList<std::pair<QString, QString>> pairs;
        for (qsizetype i = 0; i + 1 < changes.size(); i += 2)
            pairs.append({ changes[i], changes[i + 1] });
        const QByteArray written = rewriteConfig(ConfigFile(file), before, pairs);
        QCOMPARE(written, after);
        // What was written reads back as the changes say.
        const ConfigValues read = ConfigValues::parse(ConfigFile(file), written);
        for (const auto& [key, text] : pairs)
            QCOMPARE(read.at(key).value.toString(), QString(text).replace('\n', ' '));
    }

    // settings.dat keeps its 27 lines byte for byte; a change touches its line only.
    void settingsRoundTrip()
    {
        QByteArray bytes;
        for (const ConfigKey* schemaKey : configKeys(ConfigFile::Settings))
            bytes += (schemaKey->type == KeyType::Flag ? QByteArray("1")
                                                       : "Zeile \xE4 " + QByteArray::number(schemaKey->line))
                + "\r\n";
        const ConfigValues values = ConfigValues::parse(ConfigFile::Settings, bytes);
        QVERIFY(values.problems().isEmpty());
        QList<std::pair<QString, QString>> same;
        for (const ConfigKey* schemaKey : configKeys(ConfigFile::Settings))
            same.append({ schemaKey->key, values.at(schemaKey->key).text });
        QCOMPARE(rewriteConfig(ConfigFile::Settings, bytes, same), bytes);
        QByteArray expected = bytes;
        expected.replace("Zeile \xE4 23\r\n", "proxy.example.org\r\n");
        QCOMPARE(rewriteConfig(ConfigFile::Settings, bytes, { { "proxy_server", "proxy.example.org" } }), expected);
        // A short file is written whole, its missing lines at their defaults.
        QCOMPARE(rewriteConfig(ConfigFile::Settings, "els\r\n", { { "speech", "1" } }),
            "els\r\n1\r\n0\r\n" + QByteArray("\r\n").repeated(6) + QByteArray("0\r\n").repeated(13)
                + "\r\n0\r\n0\r\n\r\n\r\n");
    }
};

QTEST_GUILESS_MAIN(ConfigValuesTest)
#include "tst_ConfigValues.moc"
