// The way from the station to the incident: the real routino on a small map of the test's own,
// a local server that answers as OSRM does, and what each fault of a router gets.
#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "common/KeyValueFile.h"
#include "map/MapConfig.h"
#include "map/ucGMap.h"
#include "route/RoutePlanner.h"
#include "station/Station.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QPointF kStation = RoutinoTown::Station, kIncident = RoutinoTown::Incident;

// The steps as the printout lists them, the summary last.
QStringList described(const Route& route)
{
    QStringList lines;
    for (const Route::Step& step : route.steps)
        lines << RouteText::step(step);
    return lines << RouteText::summary(route, 1.0);
}

// The route's keys of a map.ini.
RouteSettings routeOf(const QString& ini)
{
    return RouteSettings::parse(KeyValueFile::parse(ini.toUtf8(), MapConfig::FileName, MapConfig::Keys));
}

} // namespace

class RouteTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_data;

private slots:
    void initTestCase()
    {
        m_data = RoutinoTown::prepare(m_dir.path());
        if (m_data.isEmpty())
            QSKIP("routino is missing or could not prepare the town");
    }

    void routino_data()
    {
        QTest::addColumn<QString>("router"); // empty: the real one
        QTest::addColumn<QPointF>("incident");
        QTest::addColumn<QStringList>("expected"); // empty: no route, one warning matching `why`
        QTest::addColumn<QString>("why");
        QTest::newRow("the quickest way, street by street")
            << QString() << kIncident
            << QStringList { "Hauptstraße 1,4 km", "Kampstraße 2,2 km", "Anfahrt 4 min · 3,6 km" } << QString();
        QTest::newRow("a position outside the data") << QString() << QPointF(9.9, 53.5) << QStringList() << "code 1";
        QTest::newRow("no router installed") << "/nonexistent/router" << kIncident << QStringList() << "not be started";
        QTest::newRow("a router that hangs") << "exec sleep 60" << kIncident << QStringList() << "no answer within";
        QTest::newRow("garbage") << "echo 'garbage\tin'" << kIncident << QStringList() << "could not be read";
        QTest::newRow("an answer without end") << "exec yes" << kIncident << QStringList() << "more than";
        QTest::newRow("a router that fails")
            << "echo broken >&2; exit 3" << kIncident << QStringList() << "code 3: broken";
    }
    void routino()
    {
        QFETCH(QString, router);
        QFETCH(QPointF, incident);
        QFETCH(QStringList, expected);
        QFETCH(QString, why);
        RouteSettings settings;
        settings.engine = RouteSettings::Engine::Routino;
        settings.station = kStation;
        settings.data = m_data;
        RoutePlanner planner(settings);
        planner.timeLimit = std::chrono::milliseconds(router.contains("sleep") ? 300 : 30000);
        planner.answerCap = 64 * 1024;
        // A router of the test's own where the row names one, the real one otherwise.
        QVERIFY(TestFiles::writeScript(m_dir.filePath(QStringLiteral("router")), router.toUtf8()));
        if (!router.isEmpty())
            planner.routinoRouter = router.startsWith('/') ? router : m_dir.filePath(QStringLiteral("router"));
        QSignalSpy found(&planner, &RoutePlanner::routeFound), failed(&planner, &RoutePlanner::routeFailed);
        if (!why.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No route: .*") + why));
        planner.plan(incident);
        QTRY_VERIFY_WITH_TIMEOUT(found.size() + failed.size() == 1, 30000);
        QCOMPARE(found.isEmpty() ? QStringList() : described(found[0][0].value<Route>()), expected);
        if (!found.isEmpty()) // from the station by the junction to the incident
            QCOMPARE(found[0][0].value<Route>().points,
                QList<QPointF>({ kStation, QPointF(7.42, 51.5), QPointF(7.42, 51.51), kIncident }));
    }

    // The station without a window: the way to the incident once the router found it, kept in the
    // history with its alarm.
    void station()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        QVERIFY(QDir().mkpath(home.filePath("Torvelle")));
        QVERIFY(TestFiles::writeAll(home.filePath("Torvelle/map.ini"),
            "station=51.5,7.4\nroute=routino\nroute.data=" + m_data.toUtf8() + "\n"));
        AppContext ctx;
        ctx.ProgramFolder = home.path();
        Station station(ctx, Station::Link::Idle);
        station.load();
        QSignalSpy routed(&station.incident(), &Incident::routed);
        station.core().HandleStationAlarm(WindowFixture::stationAlarm(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QVERIFY(routed.wait(30000));
        QCOMPARE(routed[0][0].value<std::optional<Route>>().value_or(Route {}).points.size(), 4);
        QSqlDatabase kept = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("route"));
        kept.setDatabaseName(ctx.dataFile(QStringLiteral("history.sqlite")));
        QVERIFY(kept.open());
        const auto way = [&kept] {
            QSqlQuery row
                = kept.exec(QStringLiteral("SELECT round(route_m), round(route_s) FROM alarms ORDER BY id DESC"));
            return row.next() ? row.value(0).toString() + " m " + row.value(1).toString() + " s" : QString();
        };
        QTRY_COMPARE(way(), QStringLiteral("3610 m 219 s"));
    }

    // The window: the idle map on the station, the drive time and distance in the top bar once the
    // route is known, the line on the tile map, F10 fitting the whole route into view; all gone with
    // the next alarm or Ctrl+C.
    void window_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("the next alarm") << false;
        QTest::newRow("Ctrl+C") << true;
    }
    void window()
    {
        QFETCH(bool, clear);
        HttpResponder tiles([](const HttpResponder::Request&) {
            HttpResponder::Response none;
            none.status = 404;
            return none;
        });
        WindowFixture f;
        QVERIFY(f.putDataFile("map.ini",
            "provider=osm\ntiles=" + tiles.base() + "/{z}/{x}/{y}.png\nsearch=" + tiles.base()
                + "\nstation=51.5,7.4\nroute=routino\nroute.data=" + m_data.toUtf8() + "\n"));
        f.form->load();
        // Before the first alarm the map shows the station (tile x 34115 at zoom 16), not 0° / 0°.
        QTRY_VERIFY(!tiles.requests().isEmpty());
        for (const HttpResponder::Request& request : tiles.requests())
            QVERIFY2(request.target.startsWith("/16/3411"), request.target.constData());
        auto* drive = f.control<QLabel>(QStringLiteral("lbl_Anfahrt"));
        auto* map = f.control<ucGMap>(QStringLiteral("ucGMap1"));
        const auto blue = [map] { // pixels of the route's colour
            const QImage shot = map->grab().toImage();
            int count = 0;
            for (int i = 0; i < shot.width() * shot.height(); ++i)
                count += qBlue(shot.pixel(i % shot.width(), i / shot.width()))
                    > qRed(shot.pixel(i % shot.width(), i / shot.width())) + 80;
            return count;
        };
        f.station->core().HandleStationAlarm(
            WindowFixture::stationAlarm(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QTRY_COMPARE(drive->text(), QStringLiteral("Anfahrt 4 min · 3,6 km"));
        QCOMPARE(map->route().size(), 4);
        QTest::keyRelease(f.form.get(), Qt::Key_F10);
        QCOMPARE(map->GZoom(), 14); // 1.4 km by 2.2 km into 640 pixels
        QVERIFY(blue() > 500);
        f.answerYes = true;
        if (clear)
            QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        else
            f.station->core().HandleStationAlarm(WindowFixture::stationAlarm(QStringLiteral("B 4"), {}), 0);
        QCOMPARE(drive->text(), QString());
        QCOMPARE(blue(), 0);
        QCOMPARE(map->Markers, QStringList());
    }

    void osrm_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("expected");
        const QByteArray ok = R"({"code":"Ok","routes":[{"distance":4210.4,"duration":415.2,
            "geometry":{"type":"LineString","coordinates":[[7.4,51.5],[7.42,51.5],[7.42,51.52]]},
            "legs":[{"steps":[{"name":"Hauptstraße","distance":1384.0},{"name":"Hauptstraße","distance":100.0},
            {"name":"","distance":2726.4},{"name":"Kampstraße","distance":0}]}]}]})";
        QTest::newRow("the route, steps of one street joined")
            << 200 << ok << QStringList { "Hauptstraße 1,5 km", "Straße ohne Namen 2,7 km", "Anfahrt 7 min · 4,2 km" };
        QTest::newRow("no route") << 400 << QByteArray(R"({"code":"NoRoute","message":"Impossible route"})")
                                  << QStringList();
        QTest::newRow("an answer over its cap") << 200 << QByteArray(300 * 1024, ' ') + ok << QStringList();
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << QStringList();
        QTest::newRow("a point off the globe")
            << 200 << QByteArray(ok).replace("[7.42,51.52]", "[7.42,151.52]") << QStringList();
    }
    void osrm()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, expected);
        HttpResponder server([&](const HttpResponder::Request&) {
            HttpResponder::Response response;
            response.status = status, response.contentType = "application/json", response.body = body;
            return response;
        });
        const RouteSettings settings = routeOf(
            QStringLiteral("station=51.5,7.4\nroute=%1/\nroute.factor=0.8\n").arg(QString::fromLatin1(server.base())));
        QCOMPARE(settings.engine, RouteSettings::Engine::Osrm);
        RoutePlanner planner(settings);
        planner.answerCap = 256 * 1024;
        QSignalSpy found(&planner, &RoutePlanner::routeFound), failed(&planner, &RoutePlanner::routeFailed);
        if (expected.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No route: ")));
        planner.plan(kIncident);
        QTRY_VERIFY_WITH_TIMEOUT(found.size() + failed.size() == 1, 30000);
        QCOMPARE(server.requests().at(0).target,
            QByteArray("/route/v1/driving/7.400000,51.500000;7.420000,51.520000"
                       "?overview=full&geometries=geojson&steps=true"));
        QCOMPARE(found.isEmpty() ? QStringList() : described(found[0][0].value<Route>()), expected);
        if (!found.isEmpty())
            QCOMPARE(RouteText::summary(found[0][0].value<Route>(), settings.factor), "Anfahrt 6 min · 4,2 km");
    }

    // What map.ini's route keys give; a value that cannot be used leaves the route off, with a word.
    void settings_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("warning");
        QTest::newRow("routino") << "station=51.5136, 7.4653\nroute=routino\nroute.data=/x" << true << QString();
        QTest::newRow("no station") << "route=routino" << false << "route without station";
        QTest::newRow("a station off the globe")
            << "station=95,7\nroute=routino" << false << "station=95,7 is not used";
        QTest::newRow("an unknown router") << "station=51,7\nroute=ftp://x" << false << "route=ftp://x is not used";
        QTest::newRow("a profile that is no word")
            << "station=51,7\nroute=routino\nroute.profile=a b;rm" << false << "route.profile";
        QTest::newRow("a factor of nothing")
            << "station=51,7\nroute=routino\nroute.factor=0" << false << "route.factor";
    }
    void settings()
    {
        QFETCH(QString, ini);
        QFETCH(bool, active);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        QCOMPARE(routeOf(ini).active(), active);
    }
};

QTEST_MAIN(RouteTest)
#include "tst_Route.moc"
