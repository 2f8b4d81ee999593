// The way from the station to the incident: the real routino on a small map of the test's own,
// a local server that answers as OSRM does, and what each fault of a router gets.
#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "map/Geocoder.h"
#include "map/MapConfig.h"
#include "route/RoutePlanner.h"
#include "station/Station.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
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

// The route's keys of a map.ini.
RouteSettings routeOf(const QString& ini)
{
    return RouteSettings::from(ConfigValues::parse(ConfigFile::Map, ini.toUtf8()));
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
        // router: empty for the real routino, "HTTP <status> <body>" for OSRM's answer; expected: empty for no route
        // and one warning matching `why`
        columns<QString, QPointF, QStringList, QString>("router", "incident", "expected", "why");
        // A router's table of two points 2.6 km apart, the way between them of `km` in a minute.
        const auto answer = [](const char* km) {
            return QStringLiteral(
                "printf '51.5\\t7.4\\t1\\tW\\t0\\t0\\t0\\t0\\n51.52\\t7.42\\t2\\tW\\t%1\\t1\\t0\\t0\\n'")
                .arg(km);
        };
        const QStringList way { "Hauptstraße 1,4 km", "Kampstraße 2,2 km", "Anfahrt 3 min · 3,6 km" }, none;
        row("the quickest way, street by street", QString(), kIncident, way, QString());
        row("a position outside the data", QString(), QPointF(9.9, 53.5), none, "code 1");
        row("no router installed", "/nonexistent/router", kIncident, none, "not be started");
        // A router that is a script ends with what it started.
        row("a router that hangs", m_left + " & wait", kIncident, none, "no answer within");
        row("a router that hangs, the limit left as it is", m_left + " & wait", kIncident, none,
            "no answer within 10000 ms");
        row("garbage", "echo 'garbage\tin'", kIncident, none, "could not be read");
        row("a way of 1e300 km", answer("1e300"), kIncident, none, "longer than any");
        row("no way, the incident at the station", answer("0"), kStation,
            QStringList { "Straße ohne Namen 0 m", "Anfahrt 1 min · 0,0 km" }, QString());
        row("an answer without end", "exec yes", kIncident, none, "more than");
        row("a router that fails", "echo broken >&2; exit 3", kIncident, none, "code 3: broken");
        // An older alarm's router that answers once the newer alarm's route is in: dropped.
        row("an older alarm's slow answer",
            "cd " + m_dir.path()
                + "; case \"$*\" in *lat2=51.51*) echo $$ > older; while [ ! -e go ]; do sleep "
                  "0.05; done;; esac; exec routino-router \"$@\"",
            kIncident, way, QString());
        const QString ok = R"(HTTP 200 {"code":"Ok","routes":[{"distance":4210.4,"duration":415.2,
            "geometry":{"type":"LineString","coordinates":[[7.4,51.5],[7.42,51.5],[7.42,51.52]]},
            "legs":[{"steps":[{"name":"Hauptstraße","distance":1384.0},{"name":"Hauptstraße","distance":100.0},
            {"name":"","distance":2726.4},{"name":"Kampstraße","distance":0}]}]}]})";
        row("OSRM: the route, steps of one street joined", ok, kIncident,
            QStringList { "Hauptstraße 1,5 km", "Straße ohne Namen 2,7 km", "Anfahrt 6 min · 4,2 km" }, QString());
        row("OSRM: no route", R"(HTTP 400 {"code":"NoRoute","message":"Impossible route"})", kIncident, none,
            "route server");
        row("OSRM: an answer over its cap", "HTTP 200 " + QString(300 * 1024, ' ') + ok.mid(9), kIncident, none,
            "route server");
        row("OSRM: not JSON", "HTTP 200 <html>", kIncident, none, "route server");
        row("OSRM: a point off the globe", QString(ok).replace("[7.42,51.52]", "[7.42,151.52]"), kIncident, none,
            "route server");
        row("OSRM: 1e300 m", QString(ok).replace("4210.4", "1e300"), kIncident, none, "longer than any");
        row("OSRM: 1e15 s", QString(ok).replace("415.2", "1e15"), kIncident, none, "drive time of");
        row("OSRM: 0 m, 0 s", QString(ok).replace("4210.4", "0").replace("415.2", "0"), kIncident, none, "2619 m from");
    }
    void route()
    {
        auto [router, incident, expected, why]
            = fetch<QString, QPointF, QStringList, QString>("router", "incident", "expected", "why");
        const bool osrm = router.startsWith("HTTP ");
        HttpResponder server([&](const HttpResponder::Request&) {
            HttpResponder::Response response;
            response.status = router.section(' ', 1, 1).toInt(), response.contentType = "application/json";
            response.body = router.section(' ', 2).toUtf8();
            return response;
        });
        const RouteSettings settings
            = routeOf(QStringLiteral("station=51.5,7.4\nroute=%1\nroute.data=%2\nroute.factor=0.8\n")
                          .arg(osrm ? QString::fromLatin1(server.base() + '/') : "routino", m_data));
        RoutePlanner planner(settings);
        if (!why.contains("10000"))
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

    // A newer alarm ends the older alarm's router at once, while its own place is still looked up.
    void newerAlarmEndsOlderRouter()
    {
        QTcpServer lookup; // takes the address lookup and never answers
        QVERIFY(lookup.listen(QHostAddress::LocalHost, 0));
        AppContext ctx;
        StationSettings record;
        ctx.LastAlarmPath = m_dir.filePath(QStringLiteral("last.dat"));
        AlarmCore core(ctx, record);
        Geocoder geocoder(ctx, record);
        geocoder.setConfig(MapConfig::from(ConfigValues::parse(
            ConfigFile::Map, QStringLiteral("host=http://127.0.0.1:%1\n").arg(lookup.serverPort()).toUtf8())));
        Incident incident(geocoder);
        incident.follow(core);
        RoutePlanner planner(routeOf("station=51.5,7.4\nroute=routino\nroute.data=" + m_data + "\n"));
        planner.timeLimit = std::chrono::minutes(10);
        planner.routinoRouter = m_dir.filePath(QStringLiteral("slow"));
        QVERIFY(TestFiles::writeScript(planner.routinoRouter, m_left.toUtf8() + " & wait"));
        incident.setPlanner(&planner);
        core.HandleStationAlarm(AlarmText::station(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QTRY_VERIFY(running(m_left.toUtf8()));
        core.HandleStationAlarm(AlarmText::station(QStringLiteral("B 4"), {}), 0);
        QTRY_VERIFY(!running(m_left.toUtf8()));
        incident.setPlanner(nullptr);
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
        station.core().HandleStationAlarm(AlarmText::station(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QVERIFY(routed.wait(30000));
        QCOMPARE(routed[0][0].value<std::optional<Route>>().value_or(Route {}).points.size(), 4);
        QTRY_COMPARE(SqliteRows(ctx.dataFile(QStringLiteral("history.sqlite")),
                         QStringLiteral("SELECT round(route_m), round(route_s) FROM alarms ORDER BY id DESC"))
                         .value(0),
            QStringLiteral("3610|219"));
    }

    // What map.ini's route keys give; a value that cannot be used leaves the route off, with a word.
    void settings_data()
    {
        columns<QString, bool, QString>("ini", "active", "warning");
        row("routino", "station=51.5136, 7.4653\nroute=routino\nroute.data=/x", true, QString());
        row("no station", "route=routino", false, "route without station");
        row("a station off the globe", "station=95,7\nroute=routino", false,
            "map.ini:1: station: \"95,7\" is not latitude,longitude; no route");
        row("a station of no number", "station=nan,nan\nroute=routino", false, "station: \"nan,nan\" is not");
        row("an unknown router", "station=51,7\nroute=ftp://x", false,
            "route: \"ftp://x\" is not an http:// or https:// address or routino; no route");
        row("a profile that is no word", "station=51,7\nroute=routino\nroute.profile=a b;rm", false,
            "route.profile: \"a b;rm\" is not one word");
        row("a factor of nothing", "station=51,7\nroute=routino\nroute.factor=0", false,
            "route.factor: \"0\" is not a number above 0 up to 10; no route");
    }
    void settings()
    {
        auto [ini, active, warning] = fetch<QString, bool, QString>("ini", "active", "warning");
        // A value that cannot be used is a problem of the file; a route without station, the journal's.
        const ConfigValues values = ConfigValues::parse(ConfigFile::Map, ini.toUtf8());
        const QString problem = values.problems().isEmpty() ? QString() : values.problems().first().text();
        if (!warning.isEmpty() && !problem.contains(warning))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        QCOMPARE(RouteSettings::from(values).active(), active);
    }
};

QTEST_MAIN(RouteTest)
#include "tst_Route.moc"
