// The way from the station to the incident: the real routino on a small map of the test's own,
// a local server that answers as OSRM does, and what each fault of a router gets.
#include "map/MapConfig.h"
#include "map/ucGMap.h"
#include "route/RoutePlanner.h"
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
QStringList described(const Route& route, double factor)
{
    QStringList lines;
    for (const Route::Step& step : route.steps)
        lines << RouteText::step(step);
    return lines << RouteText::summary(route, factor);
}

// Whether a process with this command line runs (an ended one has none).
bool running(const QByteArray& command)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (TestFiles::readAll("/proc/" + pid + "/cmdline").replace('\0', ' ').trimmed() == command)
            return true;
    return false;
}

} // namespace

class RouteTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_data;
    // What a hanging router leaves running, unless it is ended with it.
    const QString m_left = QStringLiteral("sleep 3600.%1").arg(QCoreApplication::applicationPid());

private slots:
    void initTestCase()
    {
        m_data = RoutinoTown::prepare(m_dir.path());
        if (m_data.isEmpty())
            QSKIP("routino is missing or could not prepare the town");
    }

    // routino (the real one, or a router of the test's own) and an OSRM server's answers.
    void route_data()
    {
        QTest::addColumn<QString>("router"); // empty: the real routino; "HTTP <status> <body>": OSRM's answer
        QTest::addColumn<QPointF>("incident");
        QTest::addColumn<QStringList>("expected"); // empty: no route, one warning matching `why`
        QTest::addColumn<QString>("why");
        // A router's table of two points 2.6 km apart, the way between them of `km` in a minute.
        const auto answer = [](const char* km) {
            return QStringLiteral(
                "printf '51.5\\t7.4\\t1\\tW\\t0\\t0\\t0\\t0\\n51.52\\t7.42\\t2\\tW\\t%1\\t1\\t0\\t0\\n'")
                .arg(km);
        };
        QTest::newRow("the quickest way, street by street")
            << QString() << kIncident
            << QStringList { "Hauptstraße 1,4 km", "Kampstraße 2,2 km", "Anfahrt 3 min · 3,6 km" } << QString();
        QTest::newRow("a position outside the data") << QString() << QPointF(9.9, 53.5) << QStringList() << "code 1";
        QTest::newRow("no router installed") << "/nonexistent/router" << kIncident << QStringList() << "not be started";
        // A router that is a script ends with what it started.
        QTest::newRow("a router that hangs") << m_left + " & wait" << kIncident << QStringList() << "no answer within";
        QTest::newRow("garbage") << "echo 'garbage\tin'" << kIncident << QStringList() << "could not be read";
        QTest::newRow("a way of 1e300 km") << answer("1e300") << kIncident << QStringList() << "longer than any";
        QTest::newRow("no way, the incident at the station")
            << answer("0") << kStation << QStringList { "Straße ohne Namen 0 m", "Anfahrt 1 min · 0,0 km" }
            << QString();
        QTest::newRow("an answer without end") << "exec yes" << kIncident << QStringList() << "more than";
        QTest::newRow("a router that fails")
            << "echo broken >&2; exit 3" << kIncident << QStringList() << "code 3: broken";
        // An older alarm's router that answers once the newer alarm's route is in: dropped.
        QTest::newRow("an older alarm's slow answer")
            << "cd " + m_dir.path()
                + "; case \"$*\" in *lat2=51.51*) echo $$ > older; while [ ! -e go ]; do sleep "
                  "0.05; done;; esac; exec routino-router \"$@\""
            << kIncident << QStringList { "Hauptstraße 1,4 km", "Kampstraße 2,2 km", "Anfahrt 3 min · 3,6 km" }
            << QString();
        const QString ok = R"(HTTP 200 {"code":"Ok","routes":[{"distance":4210.4,"duration":415.2,
            "geometry":{"type":"LineString","coordinates":[[7.4,51.5],[7.42,51.5],[7.42,51.52]]},
            "legs":[{"steps":[{"name":"Hauptstraße","distance":1384.0},{"name":"Hauptstraße","distance":100.0},
            {"name":"","distance":2726.4},{"name":"Kampstraße","distance":0}]}]}]})";
        QTest::newRow("OSRM: the route, steps of one street joined")
            << ok << kIncident
            << QStringList { "Hauptstraße 1,5 km", "Straße ohne Namen 2,7 km", "Anfahrt 6 min · 4,2 km" } << QString();
        QTest::newRow("OSRM: no route") << R"(HTTP 400 {"code":"NoRoute","message":"Impossible route"})" << kIncident
                                        << QStringList() << "route server";
        QTest::newRow("OSRM: an answer over its cap")
            << "HTTP 200 " + QString(300 * 1024, ' ') + ok.mid(9) << kIncident << QStringList() << "route server";
        QTest::newRow("OSRM: not JSON") << "HTTP 200 <html>" << kIncident << QStringList() << "route server";
        QTest::newRow("OSRM: a point off the globe")
            << QString(ok).replace("[7.42,51.52]", "[7.42,151.52]") << kIncident << QStringList() << "route server";
        QTest::newRow("OSRM: 1e300 m") << QString(ok).replace("4210.4", "1e300") << kIncident << QStringList()
                                       << "longer than any";
        QTest::newRow("OSRM: 1e15 s") << QString(ok).replace("415.2", "1e15") << kIncident << QStringList()
                                      << "drive time of";
        QTest::newRow("OSRM: 0 m, 0 s") << QString(ok).replace("4210.4", "0").replace("415.2", "0") << kIncident
                                        << QStringList() << "2619 m from";
    }
    void route()
    {
        QFETCH(QString, router);
        QFETCH(QPointF, incident);
        QFETCH(QStringList, expected);
        QFETCH(QString, why);
        const bool osrm = router.startsWith("HTTP ");
        HttpResponder server([&](const HttpResponder::Request&) {
            HttpResponder::Response response;
            response.status = router.section(' ', 1, 1).toInt(), response.contentType = "application/json";
            response.body = router.section(' ', 2).toUtf8();
            return response;
        });
        const RouteSettings settings
            = MapConfig::parse(QStringLiteral("station=51.5,7.4\nroute=%1\nroute.data=%2\nroute.factor=0.8\n")
                                   .arg(osrm ? QString::fromLatin1(server.base() + '/') : "routino", m_data))
                  .route;
        RoutePlanner planner(settings);
        planner.timeLimit = std::chrono::milliseconds(router.contains("sleep") ? 300 : 30000);
        planner.answerCap = 256 * 1024;
        // A router of the test's own where the row names one, the real one otherwise.
        QVERIFY(TestFiles::writeScript(m_dir.filePath(QStringLiteral("router")), router.toUtf8()));
        if (!router.isEmpty() && !osrm)
            planner.routinoRouter = router.startsWith('/') ? router : m_dir.filePath(QStringLiteral("router"));
        QSignalSpy found(&planner, &RoutePlanner::routeFound), failed(&planner, &RoutePlanner::routeFailed);
        if (!why.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No route: .*") + why));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        const QString older = m_dir.filePath(QStringLiteral("older"));
        if (router.contains("older")) {
            planner.plan(QPointF(7.42, 51.51));
            QTRY_VERIFY(TestFiles::readAll(older).endsWith('\n'));
        }
        planner.plan(incident);
        QTRY_VERIFY_WITH_TIMEOUT(found.size() + failed.size() == 1, 30000);
        if (router.contains("older")) { // once the older router has gone and been reaped, its answer would be in
            QVERIFY(TestFiles::writeAll(m_dir.filePath(QStringLiteral("go")), {}));
            QTRY_VERIFY(!QFile::exists("/proc/" + TestFiles::readAll(older).trimmed()));
        }
        QCOMPARE(found.size() + failed.size(), 1);
        QCOMPARE(found.isEmpty() ? QStringList() : described(found[0][0].value<Route>(), settings.factor), expected);
        QTRY_VERIFY(!running(m_left.toUtf8()));
        if (osrm)
            QCOMPARE(server.requests().at(0).target,
                QByteArray("/route/v1/driving/7.400000,51.500000;7.420000,51.520000"
                           "?overview=full&geometries=geojson&steps=true"));
        else if (expected.size() == 3) // from the station by the junction to the incident
            QCOMPARE(found[0][0].value<Route>().points,
                QList<QPointF>({ kStation, QPointF(7.42, 51.5), QPointF(7.42, 51.51), kIncident }));
    }

    // The window: the drive time and distance in the top bar once the route is known, the line on
    // the tile map, F10 fitting the whole route into view; all gone with the next alarm.
    void window()
    {
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
        auto* drive = f.control<QLabel>(QStringLiteral("lbl_Anfahrt"));
        auto* map = f.control<ucGMap>(QStringLiteral("ucGMap1"));
        const auto blue = [map] { // pixels of the route's colour
            const QImage shot = map->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const auto* pixels = reinterpret_cast<const QRgb*>(shot.constBits());
            return std::count_if(pixels, pixels + shot.width() * shot.height(),
                [](QRgb pixel) { return qBlue(pixel) > qRed(pixel) + 80; });
        };
        f.form->HandleStationAlarm(WindowFixture::stationAlarm(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QTRY_COMPARE(drive->text(), QStringLiteral("Anfahrt 4 min · 3,6 km"));
        QCOMPARE(map->route().size(), 4);
        // The history keeps the way with the alarm.
        QSqlDatabase kept = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("route"));
        kept.setDatabaseName(f.dataFile(QStringLiteral("history.sqlite")));
        QVERIFY(kept.open());
        const auto way = [&kept] {
            QSqlQuery row
                = kept.exec(QStringLiteral("SELECT round(route_m), round(route_s) FROM alarms ORDER BY id DESC"));
            return row.next() ? row.value(0).toString() + " m " + row.value(1).toString() + " s" : QString();
        };
        QTRY_COMPARE(way(), QStringLiteral("3610 m 219 s"));
        QTest::keyRelease(f.form.get(), Qt::Key_F10);
        QCOMPARE(map->GZoom(), 14); // 1.4 km by 2.2 km into 640 pixels
        QVERIFY(blue() > 500);
        f.form->HandleStationAlarm(WindowFixture::stationAlarm(QStringLiteral("B 4"), {}), 0);
        QCOMPARE(drive->text(), QString());
        QCOMPARE(blue(), 0);
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
        QTest::newRow("a station of no number") << "station=nan,nan\nroute=routino" << false << "station=nan,nan is";
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
        QCOMPARE(MapConfig::parse(ini).route.active(), active);
    }
};

QTEST_MAIN(RouteTest)
#include "tst_Route.moc"
