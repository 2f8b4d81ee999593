// The alarm history: what the core's alarms leave in history.sqlite, the take-over of last.dat,
// retention against a set clock, a full disk, a locked and a damaged file, the list and the
// archived alarm on the display, and the CSV as a real CSV reader reads it.
#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"
#include "crew/CrewWatch.h"
#include "history/HistoryReader.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "log/TickerFile.h"
#include "map/Geocoder.h"
#include "print/PrintArchive.h"
#include "settings/DataFolders.h"
#include "tests/support/DataRows.h"
#include "tests/support/HistoryRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace HistoryRows;

class HistoryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString db() const { return path(QStringLiteral("history.sqlite")); }

    // A recorder on db() at a set time, started; false when its start did not open the file.
    std::unique_ptr<HistoryRecorder> recorder(QDateTime& now, HistorySettings settings = {})
    {
        auto r = std::make_unique<HistoryRecorder>(db(), path(QStringLiteral("last.dat")), settings);
        r->clock = [&now] { return now; };
        QSignalSpy started(r.get(), &HistoryRecorder::started);
        r->start();
        return started.wait(10000) && started.first().first().toBool() ? std::move(r) : nullptr;
    }

    // The first value of a query.
    static QString sql(const QString& file, const QString& query) { return SqliteRows(file, query).value(0); }

    std::vector<HistoryRow> rows()
    {
        HistoryReader reader(db());
        return reader.open() ? reader.rows(std::nullopt) : std::vector<HistoryRow>();
    }

private slots:
    void init()
    {
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(path(name));
    }

    // Live alarms, feedback and a looked-up position go in; the list, the stored fields and the
    // CSV come out, each answer with the name the crew file gives, else the pager row's. The replay
    // and feedback after an hour stay out.
    void storeAndReload()
    {
        QDateTime now = at("2026-03-01T10:00:00");
        AppContext ctx;
        StationSettings record;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        AlarmCore core(ctx, record);
        auto history = recorder(now);
        QVERIFY(history);
        history->watch(core);
        QVERIFY(TestFiles::writeAll(
            path("mannschaft.csv"), "Melder;Name;Quali\n4711;;AGT\n4712;Lena Lot;\n4714;Anabel;\n"));
        CrewWatch crew(path("mannschaft.csv"), path("last.dat"), Strength::Settings());
        history->setCrew(&crew);
        // A search that never answers by itself: the test answers 51.51 N, 7.46 E in its place.
        HttpResponder silent([](const HttpResponder::Request&) { return HttpResponder::silence(); });
        Geocoder geocoder(ctx, record);
        geocoder.setConfig(
            MapConfig::from(ConfigValues::parse(ConfigFile::Map, "provider=osm\nsearch=" + silent.base())));
        Incident incident(geocoder);
        incident.follow(core);
        history->follow(incident);
        QSignalSpy written(history.get(), &HistoryRecorder::written);
        core.HandleStationAlarm(fields({ { 4, "B1" } }).join('\t'), 1); // the replay: not kept
        core.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tJörg Ähm\t4711"));
        core.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tAna\t4714"));
        core.HandleStationAlarm(fields().join('\t'), 0);
        emit geocoder.answered(geocoder.lastLookup(), QStringLiteral("51.51,7.46"));
        now = now.addSecs(59 * 60);
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4711\t1")); // kommt
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4712\t2")); // später, an unknown pager
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4715\t0")); // nicht
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4714\t9")); // a code without a word
        now = now.addSecs(2 * 60);
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4713\t1")); // too late
        core.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK 23\a"));
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 7, 10000);

        const std::vector<HistoryRow> list = rows();
        QCOMPARE(list.size(), size_t(2));
        QCOMPARE(list[0].units, QStringLiteral("DLK 23"));
        QCOMPARE(QStringList({ list[1].local, list[1].keyword, list[1].address, list[1].units,
                     QString::number(list[1].coming) }),
            QStringList(
                { "2026-03-01T10:00:00", "B3", "Kampstraße 12, 44135 Dortmund / Mitte", "ELW 1, RTW(D)", "1" }));
        HistoryReader reader(db());
        QVERIFY(reader.open());
        QCOMPARE(reader.alarm(list[1].id)->fields, fields());
        QCOMPARE(sql(db(), "SELECT lat || ' ' || lon || ' ' || position FROM alarms WHERE kind = 'station'"),
            QStringLiteral("51.51 7.46 lookup"));

        QFile csv(path(QStringLiteral("all.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, 2026));
        csv.close();
        QVERIFY(TestFiles::readAll(csv.fileName()).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(readCsv(csv.fileName()),
            QList<QStringList>(
                { { "Datum", "Uhrzeit", "Nummer", "Art", "Stichwort", "Meldebild", "Straße", "Ort", "Objekt",
                      "Einheiten", "kommt", "später", "nicht", "Mitteiler", "Vermerk", "Rückmeldungen", "Stärke" },
                    { "01.03.2026", "10:00", "1", "Wachalarm", "B3", "Wohnungsbrand", "Kampstraße 12",
                        "44135 Dortmund / Mitte", "Stadthaus", "ELW 1, RTW(D)", "1", "1", "1", "Frau Müller",
                        "Zufahrt; über \"Hof\"\r\nTür öffnen",
                        "Jörg Ähm kommt 10:59, Lena Lot später 10:59, Anabel 9 10:59", "" },
                    { "01.03.2026", "11:01", "", "Einheitenalarm", "", "", "", "", "", "DLK 23", "0", "0", "0", "", "",
                        "", "" } }));
    }

    // last.dat comes into a new history once; a history that exists already never takes it. A live
    // alarm right behind the start, which replaces last.dat, follows it with the next number; one
    // taken before the start has replaced it already and is kept once.
    void takeOverLastDat_data()
    {
        // live: 0: none, 1: behind the start, -1: before it
        columns<int, QString>("live", "numbered");
        row("restarts", 0, "1 TH 1");
        row("live alarm behind the start", 1, "1 TH 1, 2 B9");
        row("live alarm before the start", -1, "1 B9");
    }
    void takeOverLastDat()
    {
        auto [live, numbered] = fetch<int, QString>("live", "numbered");
        QVERIFY(LastAlarmStore::store(path(QStringLiteral("last.dat")), fields({ { 4, "TH 1" } })));
        AppContext ctx;
        StationSettings record;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        AlarmCore core(ctx, record);
        for (int start = 0; start < (live ? 1 : 2); ++start) {
            HistoryRecorder history(db(), ctx.LastAlarmPath, {});
            history.watch(core);
            QSignalSpy written(&history, &HistoryRecorder::written), started(&history, &HistoryRecorder::started);
            for (int step = -1; step <= 1; step += 2) {
                if (live == step)
                    core.HandleStationAlarm(fields({ { 4, "B9" } }).join('\t'), 0);
                if (step < 0)
                    history.start();
            }
            QVERIFY(started.wait(10000));
            QTRY_COMPARE_WITH_TIMEOUT(written.size(), live ? 1 : 0, 10000);
        }
        QCOMPARE(
            sql(db(), "SELECT group_concat(number || ' ' || keyword, ', ') FROM (SELECT * FROM alarms ORDER BY id)"),
            numbered);
    }

    void retention_data()
    {
        // remarks: of the alarms left, newest first; "-" cleared
        columns<int, int, QStringList>("keepPersonalDays", "keepDays", "remarks");
        row("defaults", 180, 0, QStringList { "r", "r", "-" });
        row("deleted", 180, 150, QStringList { "r", "r" });
        row("personal a second short of the limit", 10, 0, QStringList { "r", "r", "-" });
        row("kept for ever", 0, 0, QStringList { "r", "r", "r" });
        row("all but today", 1, 5, QStringList { "r" });
    }
    // At start-up, against the set clock: personal fields cleared, the rest kept; whole alarms deleted.
    void retention()
    {
        auto [keepPersonalDays, keepDays, remarks]
            = fetch<int, int, QStringList>("keepPersonalDays", "keepDays", "remarks");
        const QDateTime now = at("2026-06-30T12:00:00");
        {
            HistoryStore store(db());
            QVERIFY(store.open());
            for (int days : { 200, 10, 0 }) {
                const auto ids = store.store({ { HistoryEntry::Kind::Station, now.addDays(-days).addSecs(1),
                    fields({ { 4, QString::number(days) },
                        { 9, QString(5000, QLatin1Char('v')) + QString("Vermerk-%1").arg(days) },
                        { 18, QString("Melder-%1").arg(days) } }) } });
                QVERIFY(ids
                    && store.answer(ids->first(), now.addDays(-days).addSecs(2), "1", QString("Name-%1").arg(days), 1));
            }
        }
        QDateTime clock = now;
        const auto history = recorder(clock, { keepPersonalDays, keepDays }); // open while the bytes are read
        QVERIFY(history);
        HistoryReader reader(db());
        QVERIFY(reader.open());
        QStringList left, kept;
        for (const HistoryRow& row : reader.rows(std::nullopt)) {
            const QStringList f = reader.alarm(row.id)->fields;
            QCOMPARE(f.value(9).isEmpty(), f.value(18).isEmpty());
            QCOMPARE(row.keyword + row.address + QString::number(row.coming),
                f[4] + "Kampstraße 12, 44135 Dortmund / Mitte1");
            left << (f.value(9).isEmpty() ? "-" : "r");
            kept << (f.value(9).isEmpty() ? "" : f[4]);
        }
        QCOMPARE(left, remarks);
        // What was cleared or deleted is in neither the file nor its log; what is kept is found.
        const QByteArray bytes = TestFiles::readAll(db()) + TestFiles::readAll(db() + "-wal");
        for (const QString days : { "200", "10", "0" }) {
            for (const QString what : { "Vermerk-", "Melder-", "Name-" })
                QVERIFY2(bytes.contains((what + days).toUtf8()) == kept.contains(days), qPrintable(what + days));
        }
        QFile csv(path("r.csv"));
        QVERIFY(csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, std::nullopt));
        csv.close();
        for (const QStringList& line : readCsv(csv.fileName()).mid(1))
            QCOMPARE(line.at(15).isEmpty(), line.at(14).isEmpty()); // names go with the remark
    }

    void failure_data()
    {
        // kept: running number and keyword of each row, in the file at the path
        columns<QString, QString>("cause", "kept");
        row("full disk", "disk", "1yy 2B8 3B9");
        row("locked by another program", "lock", "1yy 2B8 3B9");
        row("replaced under the monitor", "replaced", "1Al 2yy 3B8 4B9");
    }
    // The alarm sounds all the same; what could not be written waits, in order, and is written
    // with the next alarm once the cause is gone, its numbers in the order the alarms came. A file
    // put in the place of the open one is opened and written.
    void failure()
    {
        auto [cause, kept] = fetch<QString, QString>("cause", "kept");
        const QString folder = path(QStringLiteral("disk"));
        const QString file = folder + QStringLiteral("/history.sqlite");
        QVERIFY(QDir().mkpath(folder));
        std::optional<SmallDisk> disk;
        if (cause == "disk" && !disk.emplace(folder, 1024).mounted())
            QSKIP("mounting a 1 MiB tmpfs is not permitted here (needs root)");
        const SoundCapture capture(m_dir.path());
        AppContext ctx;
        StationSettings record;
        ctx.ProgramFolder = m_dir.path();
        record.PlayAlarmWav = true;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        const QByteArray sound = SoundWriter::write(path(QStringLiteral("alarm.wav")), 1);
        Announcer announcer(ctx);
        AnnouncementQueue queue(ctx, announcer);
        AlarmCore core(ctx, record);
        core.setAnnouncements(&queue);
        HistoryRecorder history(file, ctx.LastAlarmPath, {});
        QSignalSpy started(&history, &HistoryRecorder::started), written(&history, &HistoryRecorder::written),
            failed(&history, &HistoryRecorder::failed);
        history.start();
        QVERIFY(started.wait(10000) && started.first().first().toBool());
        history.watch(core);

        QFile filler(folder + QStringLiteral("/filler"));
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        if (cause == "disk") {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(512, 'x')) == 512 && filler.flush()) { }
        } else if (cause == "lock") {
            other.setDatabaseName(file);
            QVERIFY(other.open() && QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        } else {
            for (const QString companion : { "", "-wal", "-shm" })
                QVERIFY(QFile::rename(file + companion, folder + "/moved" + companion));
            HistoryStore replacement(file);
            QVERIFY(replacement.open()
                && replacement.store(
                    { { HistoryEntry::Kind::Station, QDateTime::currentDateTime(), fields({ { 4, "Alt" } }) } }));
        }
        capture.clear();
        core.HandleStationAlarm(fields({ { 4, QString(100000, QLatin1Char('y')) } }).join('\t'), 0);
        QVERIFY(cause == "replaced" ? written.wait(10000) : failed.wait(10000));
        QTRY_VERIFY(!queue.busy());
        QCOMPARE(capture.captured(), sound);
        core.HandleStationAlarm(fields({ { 4, "B8" } }).join('\t'), 0);

        filler.close();
        if (cause == "disk")
            QVERIFY(QFile::remove(filler.fileName()));
        else if (cause == "lock")
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        core.HandleStationAlarm(fields({ { 4, "B9" } }).join('\t'), 0);
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 3, 10000);
        QCOMPARE(failed.size(), cause == "replaced" ? 0 : 1);
        QCOMPARE(sql(file, "SELECT group_concat(number || substr(keyword, 1, 2), ' ') FROM alarms"), kept);
    }

    void csvFields_data()
    {
        columns<QString, QString>("text", "exported");
        for (const char* formula : { "=HYPERLINK(\"http://x\")", "+cmd|' /C calc'!A0", "-2+3", "@SUM(1+1)", "\r=1" })
            row(formula, formula, "'" + QString(formula));
        row("the separator alone", ";", ";");
        row("plain", "B3 = Brand", "B3 = Brand");
    }
    // Each text column as a spreadsheet takes it: a formula stays text, the separator stays in its
    // field. The year's numbers start at 1 in a new year.
    void csvFields()
    {
        auto [text, exported] = fetch<QString, QString>("text", "exported");
        {
            HistoryStore store(db());
            QVERIFY(store.open());
            QVERIFY(store.store({ { HistoryEntry::Kind::Station, at("2025-12-31T23:00:00"), fields() },
                { HistoryEntry::Kind::Station, at("2025-12-31T23:59:00"),
                    fields({ { 4, text }, { 9, text }, { 11, text }, { 18, text } }) },
                { HistoryEntry::Kind::Station, at("2026-01-01T00:01:00"), fields() } }));
        }
        HistoryReader reader(db());
        QFile csv(path(QStringLiteral("f.csv")));
        QVERIFY(reader.open() && csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, std::nullopt));
        csv.close();
        const QList<QStringList> lines = readCsv(csv.fileName());
        QCOMPARE(lines.size(), 4);
        QCOMPARE(QStringList({ lines[1][2], lines[2][2], lines[3][2] }), QStringList({ "1", "2", "1" }));
        QCOMPARE(QStringList({ lines[2][4], lines[2][8], lines[2][13], lines[2][14] }), QStringList(4, exported));
    }

    // A file of schema version 2 opens with its rows, its feedback words become codes. A reader in
    // the middle of a read does not hold the next alarm's write.
    void olderFileAndReader()
    {
        for (const char* statement :
            { "CREATE TABLE alarms (id INTEGER PRIMARY KEY, kind TEXT NOT NULL, received_utc TEXT NOT NULL, "
              "received_local"
              " TEXT NOT NULL, year INTEGER NOT NULL, number INTEGER, fields TEXT NOT NULL, keyword TEXT NOT NULL, "
              "address"
              " TEXT NOT NULL, units TEXT NOT NULL, coming INTEGER NOT NULL DEFAULT 0, remark TEXT, informant TEXT,"
              " lat REAL, lon REAL, position TEXT, route_m REAL, route_s REAL)",
                "CREATE TABLE answers (id INTEGER PRIMARY KEY, alarm_id INTEGER NOT NULL REFERENCES alarms (id),"
                " pager_id TEXT NOT NULL, name TEXT, answer TEXT NOT NULL, received_utc TEXT NOT NULL,"
                " UNIQUE (alarm_id, pager_id))",
                "INSERT INTO alarms (id, kind, received_utc, received_local, year, number, fields, keyword, address,"
                " units, coming) VALUES (1, 'station', '2026-03-01T09:00:00.000Z', '2026-03-01T10:00:00', 2026, 1,"
                " '', 'B3', '', '', 1)",
                "INSERT INTO answers VALUES (1, 1, 'a', 'Jörg', 'kommt', ''), (2, 1, 'b', NULL, 'NICHT', ''),"
                " (3, 1, 'c', NULL, 'später', '')",
                "PRAGMA user_version = 2" })
            (void)SqliteRows(db(), QString::fromUtf8(statement));
        HistoryStore store(db());
        QVERIFY(store.open());
        QCOMPARE(
            sql(db(), "SELECT group_concat(name || code) || (SELECT count(*) FROM answers) FROM answers"), "Jörg13");
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        other.setDatabaseName(db());
        QSqlQuery reading(other);
        QVERIFY(other.open() && reading.exec(QStringLiteral("SELECT keyword FROM alarms")) && reading.next());
        QVERIFY2(store.store({ { HistoryEntry::Kind::Station, at("2026-03-02T10:00:00"), fields() } }),
            qPrintable(store.lastError()));
        reading = QSqlQuery();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        QCOMPARE(sql(db(), "SELECT group_concat(keyword || number) FROM alarms"), "B31,B32");
    }

    // Files with personal data are the owner's only when made, and those made earlier from the start on.
    void ownerOnly()
    {
        const QString data = path(QStringLiteral("xdg/Torvelle"));
        QVERIFY(QDir().mkpath(data + "/Ausdrucke"));
        for (const QString name : { "/last.dat", "/ticker.dat", "/Ausdrucke/a.pdf" })
            QVERIFY(TestFiles::writeAll(data + name, "x"));
        qputenv("XDG_DATA_HOME", path(QStringLiteral("xdg")).toUtf8());
        AppContext ctx;
        ctx.ProgramFolder = m_dir.path();
        InitDataFolders(ctx);
        QCOMPARE(ctx.DataFolder, data);
        HistoryStore store(ctx.dataFile(QStringLiteral("history.sqlite")));
        QVERIFY(store.open() && store.store({ { HistoryEntry::Kind::Station, at("2026-03-02T10:00:00"), fields() } }));
        QVERIFY(PrintArchive::store(data + "/Neu", "b.pdf", "%PDF")
            && LastAlarmStore::store(data + "/neu.dat", fields()) && TickerFile::append(data + "/neu.txt", "x"));
        for (const QString name : { "", "/last.dat", "/ticker.dat", "/Ausdrucke", "/Ausdrucke/a.pdf", "/history.sqlite",
                 "/history.sqlite-wal", "/history.sqlite-shm", "/Neu", "/Neu/b.pdf", "/neu.dat", "/neu.txt" }) {
            struct stat info { };
            QVERIFY(::stat(QFile::encodeName(data + name), &info) == 0);
            QCOMPARE(name + QString::number(info.st_mode & 0777, 8), name + (info.st_mode & S_IFDIR ? "700" : "600"));
        }
    }

    void damagedFile_data()
    {
        // sql: makes the file when no content is given
        columns<QByteArray, QString>("content", "sql");
        row("text", QByteArray("Einsatzliste\r\n1;2;3\r\n"), "");
        row("damaged pages", QByteArray(),
            "CREATE TABLE t (x);CREATE INDEX i ON t (x);INSERT INTO t VALUES (zeroblob(9000))");
        row("another program's database", QByteArray(), "CREATE TABLE notes (text)");
    }
    // The file is renamed, nothing of it lost, and a new history takes the next alarm.
    void damagedFile()
    {
        auto [content, sql] = fetch<QByteArray, QString>("content", "sql");
        if (content.isEmpty()) {
            for (const QString& statement : sql.split(';'))
                (void)SqliteRows(db(), statement);
            content = TestFiles::readAll(db());
            QVERIFY(content.size() >= 8192); // the statements ran: two pages at least
            if (sql.contains("zeroblob")) // the last page, an overflow page of the row, overwritten
                content.replace(content.size() - 4096, 4096, QByteArray(4096, '\xA5'));
        }
        QVERIFY(TestFiles::writeAll(db(), content));
        QDateTime now = QDateTime::currentDateTime();
        auto history = recorder(now);
        QVERIFY(history);
        const QString aside = db() + QStringLiteral(".broken-") + QDate::currentDate().toString(Qt::ISODate);
        QCOMPARE(TestFiles::readAll(aside), content);
        AppContext ctx;
        StationSettings record;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        AlarmCore core(ctx, record);
        history->watch(core);
        QSignalSpy written(history.get(), &HistoryRecorder::written);
        core.HandleStationAlarm(fields().join('\t'), 0);
        QVERIFY(written.wait(10000));
        QCOMPARE(rows().size(), size_t(1));
    }
};

QTEST_MAIN(HistoryTest)
#include "tst_History.moc"
