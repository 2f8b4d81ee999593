// The water sources where the crews see them on screen: the signs on the tile map, the map fitted
// to the route, the line in the top bar.
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"
#include "map/ucGMap.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"
#include "water/WaterIndex.h"
#include "water/WaterSigns.h"

#include <QLabel>
#include <QTemporaryDir>

#include <cmath>

namespace {

const QPointF kIncident(7.4738, 51.3594); // x longitude, y latitude

// A point `metres` away in the direction `degrees` (clockwise from north), on a flat earth, close
// enough at a few hundred metres.
QPointF offset(QPointF from, double degrees, double metres)
{
    const double rad = qDegreesToRadians(degrees);
    return { from.x() + metres * std::sin(rad) / (111'195.0 * std::cos(qDegreesToRadians(from.y()))),
        from.y() + metres * std::cos(rad) / 111'195.0 };
}

// World pixels of a place at a zoom, by the web map's Mercator formula.
QPointF worldPixel(QPointF place, int zoom)
{
    const double size = 256.0 * std::pow(2.0, zoom), lat = qDegreesToRadians(place.y());
    return { (place.x() + 180) / 360 * size, (1 - std::log(std::tan(lat) + 1 / std::cos(lat)) / M_PI) / 2 * size };
}

const auto reddish = [](QColor c) { return c.red() > 150 && c.green() < 90 && c.blue() < 90; };
const auto bluish = [](QColor c) { return c.blue() > 150 && c.red() < 90; };

} // namespace

class TestWaterWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    HttpResponder m_tiles { [](const HttpResponder::Request&) { return HttpResponder::png(Qt::lightGray); } };

private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath("cache"))); }

    // What the tile map draws over the tiles at the paint scale of a full-HD (1) and a 4K wall
    // screen (2): the hydrant's red frame and the pond's blue square centred on their places, the
    // diameter's dark digits under the frame, the marker's pin with a hydrant by the incident
    // beside it, not under it, the route's line and the attribution, each `scale` times as large.
    void signsOnTheMap_data()
    {
        columns<int, double>("zoom", "scale");
        row("zoom 16", 16, 1.0);
        row("zoom 18", 18, 1.0);
        row("zoom 18 on a 4K wall screen", 18, 2.0);
        row("zoom 14: streets first, no signs", 14, 1.0);
    }
    void signsOnTheMap()
    {
        auto [zoom, s] = fetch<int, double>("zoom", "scale");
        QVERIFY(TestFiles::writeAll(
            m_dir.filePath("map.ini"), "provider=osm\ntiles=" + m_tiles.base() + "/{z}/{x}/{y}.png\n"));
        AppContext ctx;
        StationSettings record;
        ctx.DataFolder = m_dir.path();
        ucGMap map;
        map.resize(600, 600);
        map.setPaintScale(s);
        map.setGZoom(zoom);
        const QString centre = QStringLiteral("%1,%2").arg(kIncident.y()).arg(kIncident.x());
        map.setGPoint(centre);
        map.setContext(&ctx, &record);
        map.setConfig(MapConfig::from(ConfigValues::read(m_dir.path(), ConfigFile::Map)));
        map.AddMarker(centre, 0x00FF00, "E");
        map.Refresh();
        const double south = offset(kIncident, 180, 60).y();
        map.setRoute({ QPointF(kIncident.x() - 0.01, south), QPointF(kIncident.x() + 0.01, south) });
        const QPointF hydrant = offset(kIncident, 120, 100), pond = offset(kIncident, 270, 55),
                      near = offset(kIncident, 10, 12);
        const QList<WaterFound> water = { { { WaterKind::Pillar, 100, {}, 'n', 3, near.y(), near.x() }, 12, "N" },
            { { WaterKind::Pond, 0, {}, 'n', 2, pond.y(), pond.x() }, 55, "W" },
            { { WaterKind::Underground, 100, {}, 'n', 1, hydrant.y(), hydrant.x() }, 100, "O" } };
        map.setWaterSources(water);
        const QImage shot = map.grab().toImage();
        const auto onScreen
            = [&](QPointF place) { return worldPixel(place, zoom) - worldPixel(kIncident, zoom) + QPointF(300, 300); };
        const auto box = [&shot](QPointF around, int reach, auto colour) {
            QRect found;
            for (int x = int(around.x()) - reach; x <= int(around.x()) + reach; ++x)
                for (int y = int(around.y()) - reach; y <= int(around.y()) + reach; ++y)
                    found |= colour(shot.pixelColor(x, y)) ? QRect(x, y, 1, 1) : QRect();
            return found;
        };
        const auto within
            = [s](int pixels, double least, double most) { return pixels >= least * s && pixels <= most * s; };
        const QRect pin = box(QPointF(300, 250), 50 * s, [](QColor c) { return c.green() > 200 && c.red() < 80; });
        QVERIFY2(within(pin.width(), 19, 24) && within(pin.height(), 28, 36),
            qPrintable(QStringLiteral("%1 %2").arg(pin.width()).arg(pin.height())));
        int route = 0, attribution = 0;
        for (int y = 300; y < 600; ++y)
            route += bluish(shot.pixelColor(300, y));
        for (int y = 599; y >= 0 && shot.pixelColor(597, y).lightness() > 235; --y)
            ++attribution;
        QVERIFY2(within(route, 5, 8) && within(attribution, 15, 19),
            qPrintable(QStringLiteral("%1 %2").arg(route).arg(attribution)));
        const QPoint h = onScreen(hydrant).toPoint(), p = onScreen(pond).toPoint();
        const QRect frame = box(h, 25 * s, reddish), square = box(p, 25 * s, bluish);
        QCOMPARE(frame.isEmpty() || square.isEmpty(), zoom < 15);
        if (zoom < 15)
            return;
        QVERIFY((frame.center() - h).manhattanLength() <= 2 * s && within(frame.width(), 20, 25));
        QVERIFY((square.center() - p).manhattanLength() <= 2 * s && within(square.width(), 17, 25));
        int dark = 0;
        for (int x = -10 * s; x <= 10 * s; ++x)
            for (int y = 12 * s; y <= 22 * s; ++y)
                dark += shot.pixelColor(h + QPoint(x, y)).lightness() < 80;
        QVERIFY(dark > 10 * s);
        // The nearest sign whole beside the pin: its frame drawn where places() puts it, clear of the pin.
        const QRect nearSign
            = WaterSigns::places(water, onScreen, s, ucGMap::markerPin(QPoint(300, 300), s)).first().sign.toRect();
        QVERIFY(!nearSign.intersects(pin));
        for (const int y : { nearSign.top(), nearSign.bottom() })
            QVERIFY(!box(QPointF(nearSign.center().x(), y), 1, reddish).isEmpty());
        map.setWaterSources({});
        QVERIFY(!reddish(map.grab().toImage().pixelColor(frame.left() + 1, h.y())));
    }

    // Fitted to the route, the map keeps both of its ends well inside: at least 15 % of the
    // shorter side from every edge, and the marker's pin above the incident whole.
    void routeFitted_data()
    {
        columns<QSize, double, double>("size", "scale", "bearing"); // bearing: from the incident to the station
        row("the classic map, 3 km west", QSize(640, 640), 1.0, 270.0);
        row("a wall's map on a 4K screen, south-west", QSize(1920, 2008), 2.0, 225.0);
        row("a low map: the pin counts", QSize(400, 160), 1.0, 90.0);
    }
    void routeFitted()
    {
        auto [size, scale, bearing] = fetch<QSize, double, double>("size", "scale", "bearing");
        ucGMap map;
        map.resize(size);
        map.setPaintScale(scale);
        const QPointF station = offset(kIncident, bearing, 2983);
        map.setRoute({ station, offset(station, bearing + 100, 400), kIncident });
        QVERIFY(map.fitRoute());
        const double margin = ucGMap::FitMargin * std::min(size.width(), size.height()) - 1.5;
        const QPointF centre = worldPixel(QPointF(map.Lng(), map.Lat()), map.GZoom());
        for (const QPointF end : { station, kIncident }) {
            const QPointF at = worldPixel(end, map.GZoom()) - centre + QPointF(size.width(), size.height()) / 2;
            QVERIFY2(at.x() >= margin && at.x() <= size.width() - margin && at.y() >= margin
                    && at.y() <= size.height() - margin && at.y() >= ucGMap::markerPin(QPoint(), scale).height(),
                qPrintable(QStringLiteral("%1,%2 at zoom %3").arg(at.x()).arg(at.y()).arg(map.GZoom())));
        }
    }

    // The window: the line in the top bar and the sources on the map once the incident is placed,
    // the line kept with the alarm in the history; the next alarm shows its own.
    void window()
    {
        WindowFixture f;
        const QString index = m_dir.filePath("window.sqlite");
        QVERIFY(WaterIndex::write(index, { { WaterKind::Underground, 100, {}, 'n', 1, 51.5203, 7.4204 } }, nullptr));
        QVERIFY(f.putDataFile("map.ini", "water=" + index.toUtf8() + "\n"));
        f.form->load();
        auto* line = f.control<QLabel>("lbl_Wasser");
        auto* map = f.control<ucGMap>("ucGMap1");
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", {}) + "\t51,52\t7,42", 0);
        QTRY_COMPARE(line->text(), QString("U 100 · 43 m NO"));
        QCOMPARE(map->waterSources().size(), 1);
        const auto water = [&f] {
            return SqliteRows(f.dataFile("history.sqlite"), "SELECT water FROM alarms ORDER BY id DESC").value(0);
        };
        QTRY_COMPARE(water(), QString("U 100 · 43 m NO"));
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B 4", {}) + "\t52,52\t7,42", 0);
        QTRY_COMPARE(line->text(), QString("Kein Hydrant im Umkreis von 500 m"));
        QVERIFY(map->waterSources().isEmpty());
        QTRY_COMPARE(water(), QString("Kein Hydrant im Umkreis von 500 m"));
    }
};

QTEST_MAIN(TestWaterWindow)
#include "tst_WaterWindow.moc"
