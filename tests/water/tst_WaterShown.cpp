// The water sources where the crews see them: the signs on the tile map, the line on the printout
// under the detail map (through a CUPS scheduler of the test's own), the line kept in the history.
#include "alarm/AlarmCore.h"
#include "common/AppContext.h"
#include "history/HistoryStore.h"
#include "map/ucGMap.h"
#include "print/PrintSettings.h"
#include "print/Printout.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/TestFiles.h"
#include "water/WaterIndex.h"
#include "water/WaterLookup.h"

#include <QBuffer>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QPointF kIncident(7.4738, 51.3594); // x longitude, y latitude

// World pixels of a longitude and latitude at a zoom, by the web map's Mercator formula.
QPointF worldPixel(QPointF place, int zoom)
{
    const double size = 256.0 * std::pow(2.0, zoom);
    const double lat = qDegreesToRadians(place.y());
    return { (place.x() + 180) / 360 * size, (1 - std::log(std::tan(lat) + 1 / std::cos(lat)) / M_PI) / 2 * size };
}

WaterFound found(WaterKind kind, int diameter, QPointF place)
{
    WaterFound f;
    f.source.kind = kind;
    f.source.diameterMm = diameter;
    f.source.lat = place.y();
    f.source.lon = place.x();
    return f;
}

std::optional<QString> output(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool reddish(QColor c)
{
    return c.red() > 150 && c.green() < 90 && c.blue() < 90;
}
bool bluish(QColor c)
{
    return c.blue() > 150 && c.red() < 90;
}

} // namespace

class TestWaterShown : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    HttpResponder m_tiles { [](const HttpResponder::Request&) {
        HttpResponder::Response answer;
        QBuffer png(&answer.body);
        png.open(QIODevice::WriteOnly);
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(Qt::lightGray);
        tile.save(&png, "PNG");
        return answer;
    } };
    QByteArray mapIni() const { return "provider=osm\ntiles=" + m_tiles.base() + "/{z}/{x}/{y}.png\n"; }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath("cache")));
        QVERIFY(TestFiles::writeAll(m_home.filePath("map.ini"), mapIni()));
    }

    void signsOnTheMap_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("zoom 16") << 16 << true;
        QTest::newRow("zoom 18") << 18 << true;
        QTest::newRow("zoom 14: streets first") << 14 << false;
    }
    void signsOnTheMap()
    {
        QFETCH(int, zoom);
        QFETCH(bool, drawn);
        AppContext ctx;
        ctx.DataFolder = m_home.path();
        ucGMap map;
        map.resize(600, 600);
        map.setGZoom(zoom);
        map.setGPoint(QStringLiteral("%1,%2").arg(kIncident.y()).arg(kIncident.x()));
        map.setContext(&ctx);
        map.Refresh();
        const QPointF hydrant(kIncident.x() + 0.0008, kIncident.y()); // about 55 m east
        const QPointF pond(kIncident.x(), kIncident.y() + 0.0005); // about 55 m north
        map.setWaterSources({ found(WaterKind::Underground, 100, hydrant), found(WaterKind::Pond, 0, pond) });
        const QImage shot = map.grab().toImage();
        const QPointF middle = worldPixel(kIncident, zoom);
        const auto onScreen
            = [&](QPointF place) { return (worldPixel(place, zoom) - middle + QPointF(300, 300)).toPoint(); };
        const QPoint h = onScreen(hydrant), p = onScreen(pond);
        // Each sign's pixels, found in a window around where it belongs: the hydrant's red frame and
        // the pond's blue square centred on their places, the diameter's dark digits under the
        // hydrant's sign.
        const auto box = [&shot](QPoint around, bool (*colour)(QColor)) {
            QRect found;
            for (int x = around.x() - 25; x <= around.x() + 25; ++x) {
                for (int y = around.y() - 25; y <= around.y() + 25; ++y) {
                    if (colour(shot.pixelColor(x, y)))
                        found |= QRect(x, y, 1, 1);
                }
            }
            return found;
        };
        const QRect frame = box(h, reddish), square = box(p, bluish);
        QCOMPARE(!frame.isEmpty(), drawn);
        QCOMPARE(!square.isEmpty(), drawn);
        if (!drawn)
            return;
        QVERIFY2((frame.center() - h).manhattanLength() <= 2,
            qPrintable(QStringLiteral("%1,%2").arg(frame.center().x()).arg(frame.center().y())));
        QVERIFY(frame.width() >= 20 && frame.width() <= 25);
        QVERIFY((square.center() - p).manhattanLength() <= 2);
        QVERIFY(square.width() >= 18 && square.width() <= 25);
        int dark = 0;
        for (int x = -10; x <= 10; ++x) {
            for (int y = 12; y <= 22; ++y)
                dark += shot.pixelColor(h + QPoint(x, y)).lightness() < 80;
        }
        QVERIFY(dark > 10);
        map.setWaterSources({});
        QVERIFY(!reddish(map.grab().toImage().pixelColor(frame.left() + 1, h.y())));
    }

    // The printout waits for the look-up and prints the nearest three under the detail map.
    void listOnPaper()
    {
        PrivateCups cups;
        if (!cups.started())
            QSKIP(qPrintable(cups.whyNot()));
        QVERIFY(cups.addQueue("Test"));
        QTemporaryDir home;
        QVERIFY(TestFiles::writeAll(home.filePath(PrintSettings::FileName), "printer=Test\nwait_seconds=120\n"));
        // No map service: the maps are in at once, and the printout has only the water to wait for.
        QVERIFY(TestFiles::writeAll(home.filePath("map.ini"), "# no map\n"));
        const QString index = home.filePath("water.sqlite");
        WaterSource u { WaterKind::Underground, 100, QStringLiteral("H1"), 'n', 1, kIncident.y() + 0.0003,
            kIncident.x() + 0.0004 };
        WaterSource o { WaterKind::Pillar, 150, {}, 'n', 2, kIncident.y() - 0.0010, kIncident.x() };
        QVERIFY(WaterIndex::write(index, { u, o }, nullptr));

        AppContext ctx;
        ctx.DataFolder = home.path();
        ctx.MonitorName = QStringLiteral("Wache Nord");
        ctx.LastAlarmPath = home.filePath("last.dat");
        AlarmCore core(ctx);
        Printout printout(ctx);
        QSignalSpy printed(&printout, &Printout::printed);
        printout.watch(core);
        WaterLookup lookup;
        lookup.setIndex(index);
        printout.setWaterExpected(true);
        QObject::connect(&lookup, &WaterLookup::found, &printout, &Printout::waterFound);
        core.HandleStationAlarm(
            QStringList { "WACHALARM", "Alarm", "Zug 1", "Feuer", "B3", "58095", "Hagen", "Elberfelder Straße", "12",
                "", "", "", "", "", "HLF 20\a", "1", "51,3594", "7,4738", "" }
                .join('\t'),
            0);
        QCoreApplication::processEvents();
        lookup.lookUp(kIncident);
        QVERIFY(QTest::qWaitFor([&] { return !printed.isEmpty(); }, 60000));
        const auto result = printed.first().first().value<PrintResult>();
        const QString text = output("pdftotext", { result.pdfPath, "-" }).value_or("").simplified();
        QVERIFY2(text.contains(QString::fromUtf8("Wasser: U 100 · 43 m NO, O 150 · 111 m S")), qPrintable(text));
    }

    // The history keeps the line with the alarm (a schema step of its own).
    void lineInTheHistory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        {
            HistoryStore store(path);
            QVERIFY(store.open());
            const auto ids = store.store({ { HistoryEntry::Kind::Station, QDateTime::currentDateTime(),
                { "WACHALARM", "", "", "", "B3", "", "", "", "", "", "", "", "", "", "HLF 20\a" } } });
            QVERIFY(ids && ids->size() == 1);
            QVERIFY(store.water(ids->first(), QString::fromUtf8("U 100 · 42 m NO")));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT water FROM alarms") && q.next());
            QCOMPARE(q.value(0).toString(), QString::fromUtf8("U 100 · 42 m NO"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }
};

QTEST_MAIN(TestWaterShown)
#include "tst_WaterShown.moc"
