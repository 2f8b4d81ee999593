// The alarm history: what the core's alarms leave in history.sqlite, the take-over of last.dat,
// retention against a set clock, a full disk, a locked and a damaged file, the list and the
// archived alarm on the display, and the CSV as a real CSV reader reads it.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "history/HistoryDesk.h"
#include "history/HistoryModel.h"
#include "history/HistoryReader.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryView.h"
#include "map/Geocoder.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A station alarm of 19 fields, field i replaced where given.
QStringList fields(const QMap<int, QString>& changed = {})
{
    QStringList f { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", "B3", "44135", "Dortmund", "Kampstraße", "12",
        "Zufahrt; über \"Hof\"\r\nTür öffnen", "Mitte", "Stadthaus", "3. OG", "", "ELW 1\aRTW(D)\a", "1", "", "",
        "Frau Müller" };
    for (auto it = changed.begin(); it != changed.end(); ++it)
        f[it.key()] = it.value();
    return f;
}

// The rows of a CSV file as Python's csv module reads them with ';'.
QList<QStringList> readCsv(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
        { "-c",
            "import csv, json, sys\n"
            "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
            "    print(json.dumps(list(csv.reader(f, delimiter=';', strict=True))))",
            path });
    python.waitForFinished(30000);
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array())
        rows << row.toVariant().toStringList();
    return rows;
}

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

} // namespace

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
    // CSV come out. The replay and feedback after an hour stay out.
    void storeAndReload()
    {
        QDateTime now = at("2026-03-01T10:00:00");
        AppContext ctx;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        AlarmCore core(ctx);
        auto history = recorder(now);
        QVERIFY(history);
        history->watch(core);
        // A search that never answers by itself: the test answers 51.51 N, 7.46 E in its place.
        HttpResponder silent([](const HttpResponder::Request&) { return HttpResponder::silence(); });
        Geocoder geocoder(ctx);
        geocoder.setConfig(MapConfig::parse("provider=osm\nsearch=" + silent.base()));
        Incident incident(geocoder);
        incident.follow(core);
        history->follow(incident);
        QSignalSpy written(history.get(), &HistoryRecorder::written);
        core.HandleStationAlarm(fields({ { 4, "B1" } }).join('\t'), 1); // the replay: not kept
        core.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tJörg Ähm\t4711"));
        core.HandleStationAlarm(fields().join('\t'), 0);
        emit geocoder.answered(geocoder.lastLookup(), QStringLiteral("51.51,7.46"));
        now = now.addSecs(59 * 60);
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4711\t1")); // kommt
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4712\t2")); // später, an unknown pager
        now = now.addSecs(2 * 60);
        core.HandleFeedback(QStringLiteral("WACHALARM_RM\t4713\t1")); // too late
        core.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK 23\a"));
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 5, 10000);

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
        {
            QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            check.setDatabaseName(db());
            QVERIFY(check.open());
            QSqlQuery q(QStringLiteral("SELECT lat, lon, position FROM alarms WHERE kind = 'station'"), check);
            QVERIFY(q.next());
            QCOMPARE(QVariantList({ q.value(0), q.value(1), q.value(2) }), QVariantList({ 51.51, 7.46, "lookup" }));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));

        QFile csv(path(QStringLiteral("all.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, 2026));
        csv.close();
        QVERIFY(TestFiles::readAll(csv.fileName()).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(readCsv(csv.fileName()),
            QList<QStringList>(
                { { "Datum", "Uhrzeit", "Nummer", "Art", "Stichwort", "Meldebild", "Straße", "Ort", "Objekt",
                      "Einheiten", "kommt", "später", "nicht", "Mitteiler", "Vermerk", "Rückmeldungen" },
                    { "01.03.2026", "10:00", "1", "Wachalarm", "B3", "Wohnungsbrand", "Kampstraße 12",
                        "44135 Dortmund / Mitte", "Stadthaus", "ELW 1, RTW(D)", "1", "1", "0", "Frau Müller",
                        "Zufahrt; über \"Hof\"\r\nTür öffnen", "Jörg Ähm kommt 10:59" },
                    { "01.03.2026", "11:01", "", "Einheitenalarm", "", "", "", "", "", "DLK 23", "0", "0", "0", "", "",
                        "" } }));
    }

    // last.dat comes into a new history once; a history that exists already never takes it.
    void takeOverLastDat()
    {
        QVERIFY(LastAlarmStore::store(path(QStringLiteral("last.dat")), fields({ { 4, "TH 1" } })));
        QDateTime now = QDateTime::currentDateTime();
        for (int start = 0; start < 2; ++start) {
            auto history = recorder(now);
            QVERIFY(history);
            history.reset();
            const std::vector<HistoryRow> list = rows();
            QCOMPARE(list.size(), size_t(1));
            QCOMPARE(list[0].keyword, QStringLiteral("TH 1"));
        }
    }

    void retention_data()
    {
        QTest::addColumn<int>("keepPersonalDays");
        QTest::addColumn<int>("keepDays");
        QTest::addColumn<QStringList>("remarks"); // of the alarms left, newest first; "-" cleared
        QTest::newRow("defaults") << 180 << 0 << QStringList { "r", "r", "-" };
        QTest::newRow("deleted") << 180 << 150 << QStringList { "r", "r" };
        QTest::newRow("personal a second short of the limit") << 10 << 0 << QStringList { "r", "r", "-" };
        QTest::newRow("kept for ever") << 0 << 0 << QStringList { "r", "r", "r" };
        QTest::newRow("all but today") << 1 << 5 << QStringList { "r" };
    }

    // At start-up, against the set clock: personal fields cleared, the rest kept; whole alarms deleted.
    void retention()
    {
        QFETCH(int, keepPersonalDays);
        QFETCH(int, keepDays);
        QFETCH(QStringList, remarks);
        const QDateTime now = at("2026-06-30T12:00:00");
        {
            HistoryStore store(db());
            QVERIFY(store.open());
            for (int days : { 200, 10, 0 }) {
                const auto ids = store.store({ { HistoryEntry::Kind::Station, now.addDays(-days).addSecs(1),
                    fields({ { 4, QString::number(days) }, { 9, "r" }, { 18, "i" } }) } });
                QVERIFY(ids && store.answer(ids->first(), now.addDays(-days).addSecs(2), "1", "n", "kommt"));
            }
        }
        QDateTime clock = now;
        QVERIFY(recorder(clock, { keepPersonalDays, keepDays }));
        HistoryReader reader(db());
        QVERIFY(reader.open());
        QStringList left;
        for (const HistoryRow& row : reader.rows(std::nullopt)) {
            const QStringList f = reader.alarm(row.id)->fields;
            QCOMPARE(f.value(9).isEmpty(), f.value(18).isEmpty());
            QCOMPARE(row.keyword + row.address + QString::number(row.coming),
                f[4] + "Kampstraße 12, 44135 Dortmund / Mitte1");
            left << (f.value(9).isEmpty() ? "-" : f.value(9));
        }
        QCOMPARE(left, remarks);
        QFile csv(path("r.csv"));
        QVERIFY(csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, std::nullopt));
        csv.close();
        for (const QStringList& line : readCsv(csv.fileName()).mid(1))
            QCOMPARE(line.last().isEmpty(), line.at(14).isEmpty()); // names go with the remark
    }

    void failure_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("full disk") << true;
        QTest::newRow("locked by another program") << false;
    }

    // One warning, the alarm sounds all the same, and the next alarm is kept once the cause is gone.
    void failure()
    {
        QFETCH(bool, fullDisk);
        const QString folder = path(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(folder));
        std::optional<SmallDisk> disk;
        if (fullDisk && !disk.emplace(folder, 160).mounted())
            QSKIP("mounting a 64 KiB tmpfs is not permitted here (needs root)");
        const SoundCapture capture(m_dir.path());
        AppContext ctx;
        ctx.ProgramFolder = m_dir.path();
        ctx.settings.PlayAlarmWav = 1;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        const QByteArray sound = SoundWriter::write(path(QStringLiteral("alarm.wav")), 1);
        Announcer announcer(ctx);
        AnnouncementQueue queue(ctx, announcer);
        AlarmCore core(ctx);
        core.setAnnouncements(&queue);
        HistoryRecorder history(folder + QStringLiteral("/history.sqlite"), ctx.LastAlarmPath, {});
        QSignalSpy started(&history, &HistoryRecorder::started), written(&history, &HistoryRecorder::written),
            failed(&history, &HistoryRecorder::failed);
        history.start();
        QVERIFY(started.wait(10000) && started.first().first().toBool());
        history.watch(core);

        QFile filler(folder + QStringLiteral("/filler"));
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        if (fullDisk) {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(512, 'x')) == 512 && filler.flush()) { }
        } else {
            other.setDatabaseName(folder + QStringLiteral("/history.sqlite"));
            QVERIFY(other.open() && QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        capture.clear();
        core.HandleStationAlarm(fields({ { 4, QString(100000, QLatin1Char('y')) } }).join('\t'), 0);
        QVERIFY(failed.wait(10000));
        QTRY_VERIFY(!queue.busy());
        QCOMPARE(capture.captured(), sound);

        filler.close();
        if (fullDisk)
            QVERIFY(QFile::remove(filler.fileName()));
        else
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        core.HandleStationAlarm(fields({ { 4, "B9" } }).join('\t'), 0);
        QVERIFY(written.wait(10000));
        QCOMPARE(failed.size(), 1);
        HistoryReader reader(folder + QStringLiteral("/history.sqlite"));
        QVERIFY(reader.open());
        const std::vector<HistoryRow> list = reader.rows(std::nullopt);
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(list[0].keyword, QStringLiteral("B9"));
    }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("sql"); // makes the file when no content is given
        QTest::newRow("text") << QByteArray("Einsatzliste\r\n1;2;3\r\n") << "";
        QTest::newRow("damaged pages") << QByteArray()
                                       << "CREATE TABLE t (x);CREATE INDEX i ON t (x);"
                                          "INSERT INTO t VALUES (zeroblob(9000))";
        QTest::newRow("another program's database") << QByteArray() << "CREATE TABLE notes (text)";
    }

    // The file is renamed, nothing of it lost, and a new history takes the next alarm.
    void damagedFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, sql);
        if (content.isEmpty()) {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            other.setDatabaseName(db());
            QVERIFY(other.open());
            for (const QString& statement : sql.split(';'))
                QVERIFY(QSqlQuery(other).exec(statement));
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
            content = TestFiles::readAll(db());
            if (sql.contains("zeroblob")) // the last page, an overflow page of the row, overwritten
                content.replace(content.size() - 4096, 4096, QByteArray(4096, '\xA5'));
            QVERIFY(TestFiles::writeAll(db(), content));
        } else {
            QVERIFY(TestFiles::writeAll(db(), content));
        }
        QDateTime now = QDateTime::currentDateTime();
        auto history = recorder(now);
        QVERIFY(history);
        const QString aside = db() + QStringLiteral(".broken-") + QDate::currentDate().toString(Qt::ISODate);
        QCOMPARE(TestFiles::readAll(aside), content);
        AppContext ctx;
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        AlarmCore core(ctx);
        history->watch(core);
        QSignalSpy written(history.get(), &HistoryRecorder::written);
        core.HandleStationAlarm(fields().join('\t'), 0);
        QVERIFY(written.wait(10000));
        QCOMPARE(rows().size(), size_t(1));
    }

    // The list, its search, year and chart; an alarm of it on the display under its band until Esc
    // or a new alarm; the export of the rows shown.
    void listAndArchive()
    {
        {
            HistoryStore store(db());
            QVERIFY(store.open());
            QVERIFY(store.store({ { HistoryEntry::Kind::Station, at("2025-12-31T23:00:00"), fields({ { 4, "Alt" } }) },
                { HistoryEntry::Kind::Station, QDateTime::currentDateTime().addSecs(-60),
                    fields({ { 7, "Weg" } }) } }));
        }
        AppContext ctx;
        ctx.DataFolder = m_dir.path();
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        QWidget window;
        AlarmControls controls;
        for (QLabel*& label : controls.label_einsatz)
            label = new QLabel(&window);
        controls.MSFlexGrid1 = new QTableWidget(&window);
        AlarmCore core(ctx);
        Geocoder geocoder(ctx);
        Incident incident(geocoder);
        incident.follow(core);
        AlarmHandler handler(controls, nullptr);
        handler.watch(core);
        handler.follow(incident);
        HistoryDesk desk(ctx, core, handler, controls, new QWidget(&window));
        HistoryRecorder recorder(db(), ctx.LastAlarmPath, HistorySettings {});
        recorder.watch(core);
        recorder.start();
        QSignalSpy written(&recorder, &HistoryRecorder::written);
        core.HandleStationAlarm(fields({ { 4, "Neu" } }).join('\t'), 0);
        QVERIFY(written.wait(10000));

        desk.openList();
        HistoryView& view = *desk.view();
        QCOMPARE(view.model().rowCount(), 2);
        QCOMPARE(view.model().rowAt(0).keyword, QStringLiteral("Neu"));
        auto* search = view.findChild<QLineEdit*>(QStringLiteral("search"));
        QTest::keyClicks(search, QStringLiteral("WEG"));
        QCOMPARE(view.model().rowCount(), 1);
        view.exportPath = [this] { return path(QStringLiteral("shown.csv")); };
        view.findChild<QPushButton*>(QStringLiteral("export"))->click();
        const QList<QStringList> csv = readCsv(path(QStringLiteral("shown.csv")));
        QCOMPARE(csv.size(), 2);
        QCOMPARE(csv[1][6], QStringLiteral("Weg 12"));
        search->clear();
        QCOMPARE(view.model().rowCount(), 2);
        auto* year = view.findChild<QComboBox*>(QStringLiteral("year"));
        year->setCurrentIndex(year->findData(2025));
        emit year->activated(year->currentIndex());
        QCOMPARE(view.model().rowCount(), 1);
        QCOMPARE(view.findChild<MonthChart*>()->counts()[11], 1);

        auto* list = view.findChild<QTableView*>(QStringLiteral("list"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(controls.label_einsatz[1]->text(), QStringLiteral("Alt"));
        QVERIFY(desk.showsArchive() && !desk.band()->isHidden());
        QVERIFY(desk.band()->text().startsWith(QStringLiteral("Archiv: Einsatz vom 31.12.2025 23:00")));
        desk.returnToLive();
        QCOMPARE(controls.label_einsatz[1]->text(), QStringLiteral("Neu"));
        QVERIFY(desk.band()->isHidden());
        QTest::keyClick(list, Qt::Key_Return);
        core.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK\a"));
        QCOMPARE(
            controls.label_einsatz[1]->text() + controls.MSFlexGrid1->item(0, 0)->text(), QStringLiteral("NeuDLK"));
        QVERIFY(!desk.showsArchive() && desk.band()->isHidden());
    }
};

QTEST_MAIN(HistoryTest)
#include "tst_History.moc"
