// The alarm on paper through a real CUPS scheduler of the test's own: what arrives in its queue
// (the page's text, the navigation code, the maps, the copies, print.ini's keys), the wait for maps,
// Ctrl+P, and the faults that must end in one warning each.
#include "paths/RadioAlarm.h"
#include "print/PrintArchive.h"
#include "print/PrintPage.h"
#include "route/RoutePlanner.h"
#include "station/Station.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/PrintStation.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/SilentServer.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

int g_printWarnings = 0;
QtMessageHandler g_previousHandler = nullptr;

void countPrintWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && context.category && QByteArray(context.category) == "kessvenn.print")
        ++g_printWarnings;
    g_previousHandler(type, context, message);
}

// The demo's alarm: umlauts, a two-line remark, three units, the informant; coordinates given.
QString alarm(const QString& keyword, const QString& lat = "51,3594", const QString& lng = "7,4738")
{
    return QStringList { "WACHALARM", "Alarm", "Zug 1", "Feuer", keyword, "58095", "Hagen", "Elberfelder Straße", "12",
        "Rauch aus Fenster\r\nPersonen vermutlich in der Wohnung", "Mitte", "Mehrfamilienhaus Kühne", "3. OG links", "",
        "ELW 1\aHLF 20(A)\aDLK 23(D)\a", "1", lat, lng, "Frau Jäger" }
        .join('\t');
}

// A tool's standard output; nothing when it failed.
std::optional<QString> output(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    const bool ran = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ran ? std::optional(QString::fromUtf8(p.readAllStandardOutput())) : std::nullopt;
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateCups> m_cups;
    QTemporaryDir m_cache;
    bool m_tilesAnswer = true; // false: the tile server never answers
    HttpResponder m_tiles { [this](const HttpResponder::Request& request) {
        HttpResponder::Response answer = HttpResponder::png(Qt::gray);
        // The address search answers only through the test.
        answer.held = !m_tilesAnswer || request.target.startsWith("/search");
        return answer;
    } };
    const QByteArray m_mapIni
        = "provider=osm\ntiles=" + m_tiles.base() + "/{z}/{x}/{y}.png\nsearch=" + m_tiles.base() + "\n";

private slots:
    void initTestCase()
    {
        g_previousHandler = qInstallMessageHandler(countPrintWarnings);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
        m_cups = std::make_unique<PrivateCups>();
        if (!m_cups->started())
            QSKIP(qPrintable(m_cups->whyNot()));
        QVERIFY(m_cups->addQueue("Test"));
    }

    // The page as it arrives in the queue, and as kept in Ausdrucke/.
    void pageInTheQueue_data()
    {
        // coordinates: lat TAB lng of the alarm; lookup: what the lookup answers, "lng,lat", "none" or "" (not asked);
        // texts: on the page, "-" before one that must not be; geo: the navigation code, empty for none; routed: the
        // real routino finds the way from the station
        columns<QByteArray, QString, QString, QStringList, QString, int, bool>(
            "printIni", "coordinates", "lookup", "texts", "geo", "copies", "routed");
        // The address right under the keyword; the coordinates once, with the precision they came with.
        const QStringList common { "Einsatzauftrag", "Wache Nord",
            "B3 Wohnungsbrand Elberfelder Straße 12 58095 Hagen / Mitte Feuer", "ELW 1, HLF 20(A), DLK 23(D)",
            "Personen vermutlich in der Wohnung", "-Adresse", "-geo:" };
        row("coordinates, informant, two copies",
            QByteArray("printer=Test   # the station's laser\ncopies=2\nwait_seconds=120\n"), "51,3594\t7,4738", "",
            common + QStringList { "Frau Jäger", "Koordinaten 51.3594, 7.4738", "-Keine Koordinaten" },
            "geo:51.359400,7.473800", 2, false);
        row("the route: waited for, its way on the page; informant=0",
            QByteArray("printer=Test\ninformant=0\nwait_seconds=120\n"), "51,52\t7,42", "",
            QStringList { "Anfahrt 4 min · 3,6 km: Hauptstraße 1,4 km → Kampstraße 2,2 km", "-Frau Jäger" },
            "geo:51.520000,7.420000", 1, true);
        row("informant unreadable, the lookup found nothing",
            QByteArray("printer=Test\ninformant=1\ninformant=nein\nwait_seconds=120\n"), "\t", "none",
            common + QStringList { "Keine Koordinaten", "-Frau Jäger", "-Mitteiler" }, "", 1, false);
        row("the lookup's answer on A5", QByteArray("printer=Test\ncopies=1\npaper=A5\nwait_seconds=120\n"), "\t",
            "7.473812345,51.371201234",
            common + QStringList { "Frau Jäger", "Koordinaten 51.37120, 7.47381", "-51.371201" },
            "geo:51.371201,7.473812", 1, false);
    }
    void pageInTheQueue()
    {
        auto [printIni, coordinates, lookup, texts, geo, copies, routed]
            = fetch<QByteArray, QString, QString, QStringList, QString, int, bool>(
                "printIni", "coordinates", "lookup", "texts", "geo", "copies", "routed");
        const int warningsBefore = g_printWarnings;
        const qsizetype tileRequests = m_tiles.requests().size();
        PrintStation station(printIni, m_mapIni);
        RouteSettings way;
        way.engine = RouteSettings::Engine::Routino, way.station = RoutinoTown::Station;
        if (routed && (way.data = RoutinoTown::prepare(station.home.path())).isEmpty())
            QSKIP("routino is missing");
        RoutePlanner planner(way);
        station.incident.setPlanner(routed ? &planner : nullptr);
        station.core.HandleStationAlarm(
            alarm("B3 Wohnungsbrand", coordinates.section('\t', 0, 0), coordinates.section('\t', 1, 1)), 0);
        if (!lookup.isEmpty())
            emit station.geocoder.answered(station.geocoder.lastLookup(),
                lookup == "none" ? std::nullopt
                                 : std::optional(lookup.section(',', 1) + ',' + lookup.section(',', 0, 0)));
        const std::optional<PrintResult> result = station.next(0);
        QVERIFY(result);
        QCOMPARE(result->warnings, QStringList());
        QCOMPARE(g_printWarnings, warningsBefore);
        QVERIFY(result->jobId > 0);
        const std::optional<PrivateCups::Job> job = m_cups->job(result->jobId);
        QVERIFY(job);
        QCOMPARE(job->copies, copies);
        // What CUPS got is the copy kept in Ausdrucke.
        QVERIFY(result->pdfPath.startsWith(station.home.filePath("Ausdrucke/")));
        QCOMPARE(job->document, TestFiles::readAll(result->pdfPath));

        const QString text = output("pdftotext", { "-layout", result->pdfPath, "-" }).value_or("").simplified();
        for (const QString& t : texts)
            QVERIFY2(t.startsWith('-') ? !text.contains(t.mid(1)) : text.contains(t), qPrintable(t + " in " + text));
        QCOMPARE(text.count("Koordinaten"), 1);
        // The address stands large, not in the rows' type: its words are taller.
        const QString boxes = output("pdftotext", { "-bbox", result->pdfPath, "-" }).value_or("");
        const auto height = [&](const QString& word) {
            const auto m = QRegularExpression("yMin=\"([\\d.]+)\"[^>]*yMax=\"([\\d.]+)\">" + word + "<").match(boxes);
            return m.captured(2).toDouble() - m.captured(1).toDouble();
        };
        QVERIFY2(height("Elberfelder") > 1.5 * height("Wohnung"), qPrintable(boxes));
        const QString picture = station.home.filePath("page");
        QVERIFY(output("pdftoppm", { "-r", "150", "-png", result->pdfPath, picture }));
        QString codes;
        for (const QFileInfo& page : QDir(station.home.path()).entryInfoList({ "page-*.png" }))
            codes += output("zbarimg", { "--raw", "-q", page.filePath() }).value_or("");
        QCOMPARE(codes.trimmed(), geo);
        // Two maps of at least 200 dpi, each made of tiles fetched with the program's User-Agent.
        const QStringList images = output("pdfimages", { "-list", result->pdfPath }).value_or("").split('\n').mid(2);
        int maps = 0;
        for (const QString& line : images) {
            const QStringList columns = line.simplified().split(' ');
            if (columns.size() > 13 && columns.at(2) == "image" && columns.at(12).toInt() >= 200)
                ++maps;
        }
        QCOMPARE(maps, geo.isEmpty() ? 0 : 2);
        for (qsizetype i = tileRequests; i < m_tiles.requests().size(); ++i)
            QVERIFY(m_tiles.requests().at(i).headers.value("user-agent").startsWith("Kessvenn/"));
    }

    // What of the informant and the remark a station's paper holds, by display.ini's privacy and
    // print.ini's informant=.
    void personalOnPaper_data()
    {
        columns<QByteArray, QByteArray, bool, bool>("display", "printIni", "informant", "remark");
        row("office, informant= not said", QByteArray(), QByteArray(), true, true);
        row("office, informant=0", QByteArray(), QByteArray("informant=0\n"), false, true);
        row("office, informant=1", QByteArray(), QByteArray("informant=1\n"), true, true);
        row("hall, informant= not said", QByteArray("privacy=1\n"), QByteArray(), false, false);
        row("hall, informant=0", QByteArray("privacy=1\n"), QByteArray("informant=0\n"), false, false);
        row("hall, informant=1", QByteArray("privacy=1\n"), QByteArray("informant=1\n"), true, true);
    }
    void personalOnPaper()
    {
        auto [display, printIni, informant, remark]
            = fetch<QByteArray, QByteArray, bool, bool>("display", "printIni", "informant", "remark");
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        const QDir folder(home.filePath("Torvelle"));
        QVERIFY(folder.mkpath(".") && TestFiles::writeAll(folder.filePath("display.ini"), display)
            && TestFiles::writeAll(folder.filePath("print.ini"), "printer=Test\nwait_seconds=0\n" + printIni));
        AppContext ctx;
        ctx.ProgramFolder = home.path();
        Station station(ctx, Station::Link::Idle);
        station.load();
        QSignalSpy printed(&station.printout(), &Printout::printed);
        station.core().HandleStationAlarm(alarm("B3 Wohnungsbrand", "", ""), 0);
        QTRY_COMPARE_WITH_TIMEOUT(printed.size(), 1, 60000);
        const QString pdf = printed.first().first().value<PrintResult>().pdfPath;
        const QString text = output("pdftotext", { pdf, "-" }).value_or("").simplified();
        QVERIFY2(text.contains("Elberfelder Straße 12"), qPrintable(text));
        QCOMPARE(text.contains("Frau Jäger"), informant);
        QCOMPARE(text.contains("Personen vermutlich"), remark);
    }

    // A test alarm is printed only with test_pages=1, marked on its page; a real alarm drops the
    // test's page that still waits, and is printed as always.
    void testAlarmOnPaper_data()
    {
        columns<QByteArray, bool, QStringList>("printIni", "waitForTest", "pages");
        row("test_pages=0: no page", QByteArray("printer=Test\nwait_seconds=0\n"), false, QStringList { "B2" });
        row("test_pages=1: a page marked as a test", QByteArray("printer=Test\nwait_seconds=0\ntest_pages=1\n"), true,
            QStringList { "Probealarm – kein Einsatz", "B2" });
        row("a real alarm drops the waiting test page", QByteArray("printer=Test\nwait_seconds=300\ntest_pages=1\n"),
            false, QStringList { "B2" });
    }
    void testAlarmOnPaper()
    {
        auto [printIni, waitForTest, pages] = fetch<QByteArray, bool, QStringList>("printIni", "waitForTest", "pages");
        m_tilesAnswer = true;
        PrintStation station(printIni, m_mapIni);
        QVERIFY(station.core.HandleTestAlarm());
        QVERIFY(!waitForTest || station.next(0));
        // Tiles of a place of its own: the cache serves no other test's alarm.
        station.core.HandleStationAlarm(alarm("B2 Zweite", "53,5", "10,1"), 0);
        QVERIFY(station.next(pages.size() - 1));
        for (qsizetype i = 0; i < pages.size(); ++i) {
            const QString pdf = station.printed.at(i).at(0).value<PrintResult>().pdfPath;
            QVERIFY2(output("pdftotext", { pdf, "-" }).value_or("").simplified().contains(pages[i]), qPrintable(pdf));
        }
        QCOMPARE(station.printed.size(), pages.size());
    }

    // A newer alarm while the older one waits for tiles that never come: the older one is printed
    // at once with what it has (one warning about the maps); Ctrl+P prints one copy at once also
    // when automatic printing is off; "Drucken" in the history prints the kept page again.
    void newerAlarmAndCtrlP()
    {
        m_tilesAnswer = false;
        PrintStation station("printer=Test\ncopies=3\nwait_seconds=300\n", m_mapIni);
        const int warningsBefore = g_printWarnings;
        const qsizetype asked = m_tiles.requests().size();
        station.core.HandleStationAlarm(alarm("B1/../Erste", "50,1", "8,1"), 0);
        QVERIFY(QTest::qWaitFor([&] { return m_tiles.requests().size() > asked; }, 10000));
        station.core.HandleStationAlarm(alarm("B2 Zweite", "51,4", "7,5"), 0);
        std::optional<PrintResult> first = station.next(0);
        QVERIFY(first && first->pdfPath.startsWith(station.home.filePath("Ausdrucke/"))
            && first->pdfPath.endsWith("_B1_.._Erste.pdf"));
        QVERIFY2(first->warnings.size() == 1 && first->warnings.first().contains("maps lack"),
            qPrintable(first->warnings.join(';')));
        QCOMPARE(g_printWarnings, warningsBefore + 1);
        QCOMPARE(m_cups->job(first->jobId).value_or(PrivateCups::Job {}).copies, 3);

        (void)TestFiles::writeAll(station.home.filePath(PrintSettings::FileName), "printer=Test\ncopies=0\n");
        station.config.reload();
        station.printout.printNow();
        const std::optional<PrintResult> now = station.next(1);
        QVERIFY(now && now->pdfPath.contains("B2_Zweite"));
        QCOMPARE(m_cups->job(now->jobId).value_or(PrivateCups::Job {}).copies, 1);

        QCOMPARE(first->alarmSequence, 1u);
        station.printout.printAgain(alarm("B1/../Erste", "50,1", "8,1").split('\t'), {}, first->pdfPath);
        const std::optional<PrintResult> again = station.next(2);
        QVERIFY(again && again->jobId > 0);
        QCOMPARE(again->pdfPath, first->pdfPath);
        QCOMPARE(m_cups->job(again->jobId).value_or(PrivateCups::Job {}).document, TestFiles::readAll(first->pdfPath));
    }

    // A scheduler that accepts and never answers: each job is given up after the time limit with
    // that reason, its PDF kept; at most three wait behind the one in hand, the oldest dropped
    // with a warning naming it; once a real scheduler answers, the later ones are printed.
    void stalledScheduler()
    {
        QTemporaryDir dir;
        SilentServer silent(dir.filePath("cups.sock"));
        QVERIFY(silent.server.isListening());
        qputenv("CUPS_SERVER", QFile::encodeName(dir.filePath("cups.sock")));
        const std::shared_ptr<void> restore(
            nullptr, [&](void*) { qputenv("CUPS_SERVER", QFile::encodeName(m_cups->socket())); });
        PrintStation station("printer=Test\nwait_seconds=0\n", "");
        station.printout.cupsTimeLimit = std::chrono::seconds(1);
        station.printout.clock = [] { return QDateTime(QDate(2026, 12, 8), QTime(3, 5, 4)); };
        station.core.HandleStationAlarm(alarm("B1 Erste", "", ""), 0);
        const std::optional<PrintResult> first = station.next(0);
        QVERIFY(first && first->jobId == 0 && QFile::exists(first->pdfPath));
        QVERIFY2(first->warnings == QStringList(first->warnings.value(0))
                && first->warnings.value(0).contains("did not answer within 1 s"),
            qPrintable(first->warnings.join(';')));

        station.printout.cupsTimeLimit = std::chrono::minutes(10);
        const size_t before = silent.clients.size();
        station.core.HandleStationAlarm(alarm("B2 Zweite", "", ""), 0);
        QVERIFY(QTest::qWaitFor([&] { return silent.clients.size() > before; }, 30000));
        for (const char* keyword : { "B3 Dritte", "B4 Vierte", "B5 Fünfte", "B6 Sechste", "B7 Siebte" })
            station.core.HandleStationAlarm(alarm(keyword, "", ""), 0);
        for (int i : { 1, 2 }) {
            const std::optional<PrintResult> dropped = station.next(i);
            QVERIFY(dropped && dropped->jobId == 0 && QFile::exists(dropped->pdfPath));
            QVERIFY2(dropped->warnings.value(0).contains(QStringList { "", "B3 Dritte", "B4 Vierte" }.at(i))
                    && dropped->warnings.value(0).contains("08.12.2026 03:05:04"),
                qPrintable(dropped->warnings.value(0)));
        }
        // The scheduler comes back where the silent one was; the stalled connection breaks.
        silent.server.close();
        QVERIFY(QFile::link(m_cups->socket(), dir.filePath("cups.sock")));
        silent.clients.clear();
        for (int i = 4; i < 7; ++i) {
            const std::optional<PrintResult> later = station.next(i);
            QVERIFY2(later && later->jobId > 0 && later->warnings.isEmpty(),
                qPrintable(later ? later->warnings.join(";") : "none"));
            QVERIFY(later->pdfPath.contains(QStringList { "Fünfte", "Sechste", "Siebte" }.at(i - 4)));
        }
    }

    // A radio alarm's page waits for its dispatch data, which a later copy brings; a copy after the
    // page went out prints nothing (the next page is the next alarm's). A radio alarm alone is
    // printed with what the radio brought.
    void pageOfMergedCopies()
    {
        PrintStation station("printer=Test\nwait_seconds=300\n", "");
        station.core.HandleRadioAlarm(RadioAlarm { "1234567", {}, "Alarm Löschzug Mitte", {} });
        QTRY_VERIFY(station.incident.isPlaced()); // nowhere: the radio alarm has no address
        const auto merge = [&](const QString& keyword) {
            station.core.MergeStationAlarm(
                *PlanStationAlarm(alarm(keyword, "", ""), false, station.ctx, station.settings), 1, false);
        };
        merge("B3 Erste");
        const std::optional<PrintResult> first = station.next(0);
        const QString text
            = output("pdftotext", { first.value_or(PrintResult()).pdfPath, "-" }).value_or("").simplified();
        QVERIFY2(text.contains("B3 Erste") && text.contains("Elberfelder Straße 12"), qPrintable(text));
        // A radio alarm without dispatch data, sent at once by Ctrl+C: its RIC's text and message.
        merge("B3 Später");
        station.core.HandleRadioAlarm(RadioAlarm { "7654321", {}, "Alarm Löschzug Nord", "Brand Halle" });
        station.incident.close();
        const std::optional<PrintResult> second = station.next(1);
        const QString radio
            = output("pdftotext", { second.value_or(PrintResult()).pdfPath, "-" }).value_or("").simplified();
        QVERIFY2(radio.contains("Alarm Löschzug Nord") && radio.contains("Brand Halle"), qPrintable(radio));
    }

    // An unreadable print.ini (here too large) prints nothing, though its defaults would print the
    // informant (the journal says so when it is read); the next alarm, with the file readable again
    // and read anew, is the first printout.
    void unreadablePrintIni()
    {
        PrintStation station("informant=0\n" + QByteArray(1100 * 1024, '#') + "\nprinter=Test\nwait_seconds=0\n", "");
        station.core.HandleStationAlarm(alarm("B1 Erste", "", ""), 0);
        QVERIFY(TestFiles::writeAll(station.home.filePath(PrintSettings::FileName), "printer=Test\nwait_seconds=0\n"));
        station.config.reload();
        station.core.HandleStationAlarm(alarm("B2 Zweite", "", ""), 0);
        const std::optional<PrintResult> result = station.next(0);
        QVERIFY(result && result->pdfPath.contains("B2_Zweite"));
    }

    // Each fault is one warning; the PDF is kept where it can be written. Last: it stops the scheduler.
    void faults_data()
    {
        columns<QString, QByteArray, bool, bool, QString>("fault", "printer", "queued", "kept", "warning");
        row("unknown queue", "", QByteArray("Nirgends"), false, true, "no such queue");
        row("NUL in the queue name, not cut to \"Test\"", "", QByteArray("Test\0Lager", 10), false, true,
            "cannot be the name of a CUPS queue");
        row("stopped printer", "stop", QByteArray("Test"), true, true, "stopped");
        row("full disk", "disk", QByteArray("Test"), true, false, "could not be written");
        row("no scheduler", "cupsd", QByteArray("Test"), false, true, "cannot be reached");
    }
    void faults()
    {
        auto [fault, printer, queued, kept, warning]
            = fetch<QString, QByteArray, bool, bool, QString>("fault", "printer", "queued", "kept", "warning");
        PrintStation station("wait_seconds=0\nprinter=" + printer, "", [&](PrintStation& s) {
            if (fault == "disk" && QDir(s.home.path()).mkpath("Ausdrucke"))
                s.disk.emplace(s.home.filePath("Ausdrucke")).fill();
        });
        if (station.disk && !station.disk->mounted())
            QSKIP("no small disk without root");
        if (fault == "stop")
            QVERIFY(m_cups->tool("cupsdisable", { "Test" }));
        if (fault == "cupsd")
            m_cups->stop();
        const int warningsBefore = g_printWarnings;
        station.core.HandleStationAlarm(alarm("B3 Fehler", "", ""), 0);
        const std::optional<PrintResult> result = station.next(0);
        if (fault == "stop")
            QVERIFY(m_cups->tool("cupsenable", { "Test" }));
        QVERIFY(result);
        QCOMPARE(result->jobId > 0, queued);
        QCOMPARE(!result->pdfPath.isEmpty(), kept);
        QCOMPARE(result->warnings.size(), 1);
        QVERIFY2(result->warnings.first().contains(warning), qPrintable(result->warnings.first()));
        QCOMPARE(g_printWarnings, warningsBefore + 1);
    }

    // A long remark is cut to the pages; what follows it (the informant, the units) stays, and the
    // water line under the detail map is printed whole, over the lines it needs.
    void longRemark_data()
    {
        columns<QString, int>("remark", "pages");
        row("one line: no text is cut", "Rauch", 1);
        row("two lines", "Rauch\r\nPersonen vermutlich in der Wohnung", 1);
        row("100 KB of words", QString("Anrufer meldet Rauch ").repeated(5000), PrintPage::kMostPages);
        row("900 KB without a blank", QString(900 * 1024, 'x'), PrintPage::kMostPages);
        row("20,000 line breaks", QString("a\n").repeated(20000), PrintPage::kMostPages);
    }
    void longRemark()
    {
        auto [remark, pages] = fetch<QString, int>("remark", "pages");
        QStringList fields = alarm("B3 Wohnungsbrand").split('\t');
        fields[9] = remark;
        PrintPageContent page = PrintPage::fromAlarm(fields, true, true);
        page.position = QPointF(7.4738, 51.3594);
        page.water = "U 100 · 36 m NO, O 150 · 79 m SW, B · 138 m S";
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeAll(dir.filePath("page.pdf"), PrintPage::render(page)));
        const QString info = output("pdfinfo", { dir.filePath("page.pdf") }).value_or("");
        QCOMPARE(QRegularExpression("Pages:\\s+(\\d+)").match(info).captured(1).toInt(), pages);
        const QString text = output("pdftotext", { dir.filePath("page.pdf"), "-" }).value_or("").simplified();
        QCOMPARE(text.contains(PrintPage::CutNote), pages > 1);
        QVERIFY(text.contains("Frau Jäger") && text.contains("DLK 23(D)") && text.contains("Koordinaten 51.3594"));
        QVERIFY2(QString(text).remove(' ').contains(QString("Wasser:" + page.water + "Navigation").remove(' ')),
            qPrintable(text.right(300)));
    }

    // Only the archive's own copies older than keep_days go: the oldest, never the newest, nor
    // the station's other files or links.
    void pruning_data()
    {
        // name: "@": a link to an old copy elsewhere; days: since last changed
        columns<QString, int, bool>("name", "days", "deleted");
        row("the oldest copy", "2026-10-01_080000_B3_Brand.pdf", 40, true);
        row("its second of the same second", "2026-10-01_080000_B3_Brand-2.pdf", 40, true);
        row("a copy within keep_days", "2026-11-10_080000_B3_Brand.pdf", 29, false);
        row("the newest copy", "2026-12-07_080000_TH_Öl.pdf", 0, false);
        row("the station's report", "Jahresbericht_2025.pdf", 400, false);
        row("upper case", "GROSS.PDF", 400, false);
        row("the pattern in upper case", "2025-01-01_080000_B3.PDF", 400, false);
        row("a link", "@2025-01-01_080000_B3_Link.pdf", 400, false);
    }
    void pruning()
    {
        auto [name, days, deleted] = fetch<QString, int, bool>("name", "days", "deleted");
        QTemporaryDir dir;
        const bool link = name.startsWith('@');
        const QString path = dir.filePath(name.remove('@'));
        const QString target = link ? dir.filePath("elsewhere.pdf") : path;
        QVERIFY(TestFiles::writeAll(target, "%PDF-1.4\n"));
        QVERIFY(TestFiles::setModified(target, QDateTime::currentDateTime().addDays(-days)));
        QVERIFY(!link || QFile::link(target, path));
        QCOMPARE(PrintArchive::prune(dir.path(), 30, QDateTime::currentDateTime()), deleted ? 1 : 0);
        QCOMPARE(QFileInfo::exists(path), !deleted);
    }

    // The first prune runs once the data folder is known, not before it.
    void firstPruneAfterTheDataFolder()
    {
        QTemporaryDir home;
        QVERIFY(TestFiles::writeAll(home.filePath(PrintSettings::FileName), "keep_days=30\n"));
        QVERIFY(QDir(home.path()).mkpath("Ausdrucke"));
        const QString copy = home.filePath("Ausdrucke/2026-10-01_080000_B3_Brand.pdf");
        QVERIFY(TestFiles::writeAll(copy, "%PDF-1.4\n"));
        AppContext ctx;
        StationSettings record;
        AlarmCore core(ctx, record);
        Printout printout(ctx, record);
        printout.setSettings(PrintSettings::from(ConfigValues::read(home.path(), ConfigFile::Print)));
        printout.clock = [] { return QDateTime::currentDateTime().addDays(31); };
        printout.watch(core);
        ctx.DataFolder = home.path();
        QVERIFY(QTest::qWaitFor([&] { return !QFile::exists(copy); }, 20000));
    }
};

QTEST_MAIN(PrintTest)
#include "tst_Print.moc"
