#include "tests/support/HttpResponder.h"

#include "common/AppContext.h"
#include "map/TileLoader.h"
#include "map/ucGMap.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Response = HttpResponder::Response;
const QByteArray kAgent = "Kessvenn/" + QByteArray::number(KESSVENN_VERSION_MAJOR) + '.'
    + QByteArray::number(KESSVENN_VERSION_MINOR) + '.' + QByteArray::number(KESSVENN_VERSION_PATCH)
    + " (wache@example.org)";

// Each tile has its own colour, from its numbers "/z/x/y.png".
QColor colourOf(const QByteArray& target)
{
    const QList<QByteArray> parts = target.split('.').first().split('/');
    return QColor(parts.value(2).toInt() % 256, parts.value(3).toInt() % 256, parts.value(1).toInt() * 10);
}

Response tile(const QByteArray& target, QList<QPair<QByteArray, QByteArray>> headers = {})
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(colourOf(target));
    Response r;
    QBuffer buffer(&r.body);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    r.extraHeaders = std::move(headers);
    // Caches judge freshness from the server's Date.
    r.extraHeaders.append({ "Date",
        QLocale::c().toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1() });
    return r;
}

Response json(int status, const QByteArray& body)
{
    Response r;
    r.status = status;
    r.contentType = "application/json";
    r.body = body;
    return r;
}

} // namespace

class OsmMapTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_data, m_cache;
    AppContext m_ctx;
    HttpResponder::Handler m_answer;
    std::optional<HttpResponder> m_server;
    std::optional<ucGMap> m_map;

    // A control of `size` showing `centre` at `zoom`, asked for its tiles only once it is all set.
    void showMap(QSize size, const QString& centre, int zoom)
    {
        m_map.emplace();
        m_map->resize(size);
        m_map->setGZoom(zoom);
        m_map->setGPoint(centre);
        m_map->setContext(&m_ctx);
        m_map->Refresh();
    }
    [[nodiscard]] bool settled()
    {
        return QTest::qWaitFor([this] { return m_map->tileLoader()->running() == 0; }, 10000);
    }
    [[nodiscard]] QColor middle(int up = 0)
    {
        return m_map->grab().toImage().pixelColor(m_map->width() / 2, m_map->height() / 2 - up);
    }
    // The targets asked that start with `part`, sorted.
    [[nodiscard]] QByteArrayList targets(const QByteArray& part = "/") const
    {
        QByteArrayList out;
        for (const HttpResponder::Request& r : m_server->requests())
            if (r.target.startsWith(part))
                out.append(r.target);
        std::sort(out.begin(), out.end());
        return out;
    }

private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8()); }

    void init()
    {
        m_map.reset();
        m_ctx.DataFolder = m_data.path();
        m_answer = [](const HttpResponder::Request& r) { return tile(r.target); };
        m_server.emplace([this](const HttpResponder::Request& r) { return m_answer(r); });
        QFile ini(m_data.filePath(QStringLiteral("map.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("provider=osm\r\ntiles=" + m_server->base() + "/{z}/{x}/{y}.png\r\nsearch=" + m_server->base()
            + "/\r\ncontact=wache@example.org\r\ncountrycodes=de\r\n");
    }

    // The tiles asked for a view, each once, at most two at a time; the tile under the middle.
    void tilesAsked_data()
    {
        QTest::addColumn<QString>("centre");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArrayList>("tiles");
        QTest::addColumn<QByteArray>("middle");
        QTest::newRow("city") << "48.1,11.5" << 16 << QSize(300, 200)
                              << QByteArrayList { "34860/22753", "34861/22753", "34862/22753", "34860/22754",
                                     "34861/22754", "34862/22754" }
                              << QByteArray("/16/34861/22754.png");
        QTest::newRow("east edge wraps to column 0")
            << "0,180" << 2 << QSize(256, 256) << QByteArrayList { "0/1", "0/2", "3/1", "3/2" }
            << QByteArray("/2/0/2.png");
        QTest::newRow("west edge wraps twice")
            << "0,-180" << 2 << QSize(600, 256)
            << QByteArrayList { "0/1", "0/2", "1/1", "1/2", "2/1", "2/2", "3/1", "3/2" } << QByteArray("/2/0/2.png");
        QTest::newRow("north pole") << "85,0" << 2 << QSize(256, 256) << QByteArrayList { "1/0", "2/0" }
                                    << QByteArray("/2/2/0.png");
        QTest::newRow("south pole") << "-85,0" << 2 << QSize(256, 256) << QByteArrayList { "1/3", "2/3" }
                                    << QByteArray("/2/2/3.png");
    }

    void tilesAsked()
    {
        QFETCH(QString, centre);
        QFETCH(int, zoom);
        QFETCH(QSize, size);
        QFETCH(QByteArrayList, tiles);
        QFETCH(QByteArray, middle);
        int inFlight = 0, most = 0;
        connect(&*m_server, &HttpResponder::requestReceived, this, [&] { most = std::max(most, ++inFlight); });
        connect(&*m_server, &HttpResponder::answered, this, [&] { --inFlight; });
        m_answer = [](const HttpResponder::Request& r) {
            Response a = tile(r.target);
            a.delayMs = 20;
            return a;
        };
        showMap(size, centre, zoom);
        QVERIFY(settled());
        QByteArrayList expected;
        for (const QByteArray& t : tiles)
            expected.append('/' + QByteArray::number(zoom) + '/' + t + ".png");
        std::sort(expected.begin(), expected.end());
        QCOMPARE(targets(), expected);
        QVERIFY2(most <= TileLoader::MaximumRunning, QByteArray::number(most));
        for (const HttpResponder::Request& r : m_server->requests())
            QCOMPARE(r.header("user-agent"), kAgent);
        QCOMPARE(this->middle(), colourOf(middle));
    }

    // What a second view of the same place shows after the first was loaded with these cache
    // headers: from the disk cache with the server gone, revalidated, or an empty square.
    void cacheAndOffline_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("later"); // "gone", or the server answers "304" or "503"
        QTest::addColumn<int>("asked"); // by the second view
        QTest::addColumn<bool>("shown");
        const QByteArray stale = "Expires: Mon, 01 Jan 2001 00:00:00 GMT";
        QTest::newRow("fresh, server gone") << QByteArray("Cache-Control: max-age=3600") << 200 << "gone" << 0 << true;
        QTest::newRow("no cache headers: kept a week") << QByteArray() << 200 << "503" << 0 << true;
        QTest::newRow("stale, server gone") << stale << 200 << "gone" << 0 << true;
        QTest::newRow("stale, revalidated") << stale << 200 << "304" << 4 << true;
        QTest::newRow("not storable, server gone")
            << QByteArray("Cache-Control: no-store") << 200 << "gone" << 0 << false;
        QTest::newRow("refused, asked again by the next view") << QByteArray() << 503 << "503" << 4 << false;
    }

    void cacheAndOffline()
    {
        QFETCH(QByteArray, headers);
        QFETCH(int, status);
        QFETCH(QString, later);
        QFETCH(int, asked);
        QFETCH(bool, shown);
        m_answer = [&](const HttpResponder::Request& r) {
            Response a = tile(r.target, { { "ETag", "\"v1\"" } });
            if (!headers.isEmpty())
                a.extraHeaders.append({ headers.split(':').first(), headers.mid(headers.indexOf(':') + 2) });
            if (later == "304" && r.header("if-none-match") == "\"v1\"")
                a.status = 304, a.body.clear();
            else
                a.status = status;
            return a;
        };
        showMap(QSize(100, 100), QStringLiteral("0,0"), 2);
        QVERIFY(settled());
        QCOMPARE(m_server->requests().size(), 4); // once each, also when refused
        m_map.reset();
        status = 503;
        if (later == "gone")
            m_server.reset();
        showMap(QSize(100, 100), QStringLiteral("0,0"), 2);
        QVERIFY(settled());
        if (m_server)
            QCOMPARE(m_server->requests().size(), 4 + asked);
        QCOMPARE(middle() == colourOf("/2/2/2.png"), shown);
    }

    // A newer view drops the older one's requests, even those the server never answers.
    void replacedView()
    {
        m_answer = [](const HttpResponder::Request& r) {
            Response a = tile(r.target);
            a.held = r.target.startsWith("/2/");
            return a;
        };
        showMap(QSize(600, 600), QStringLiteral("0,0"), 2);
        QVERIFY(m_server->waitForRequest("/2/") >= 0);
        m_map->setGZoom(3);
        QVERIFY(settled());
        QCOMPARE(targets("/2/").size(), TileLoader::MaximumRunning);
        QCOMPARE(targets("/3/").size(), 16);
        QCOMPARE(middle(), colourOf("/3/4/4.png"));
    }

    // What each search answer gets; the request's encoding; the marker where the answer is.
    void search_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("found");
        const QByteArray hit = R"([{"place_id":7,"lat":"48.1372","lon":"11.5755","display_name":"M"}])";
        QTest::newRow("found") << 200 << hit << "48.1372,11.5755";
        QTest::newRow("nothing found") << 200 << QByteArray("[]") << "";
        QTest::newRow("not JSON") << 200 << QByteArray("<html>busy</html>") << "";
        QTest::newRow("latitude beyond the pole") << 200 << QByteArray(R"([{"lat":"91","lon":"11"}])") << "";
        QTest::newRow("refused") << 429 << hit << "";
        QTest::newRow("over its cap") << 200 << hit + QByteArray(2 << 20, ' ') << "";
    }

    void search()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, found);
        m_answer = [&](const HttpResponder::Request& r) {
            return r.target.startsWith("/search") ? json(status, body) : tile(r.target);
        };
        showMap(QSize(200, 200), QStringLiteral("0,0"), 16);
        QSignalSpy done(&*m_map, &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5, München"));
        QVERIFY(done.wait(5000));
        const int index = m_server->waitForRequest("/search");
        QCOMPARE(m_server->requests().at(index).target,
            "/search?format=jsonv2&limit=1&q=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&countrycodes=de");
        QCOMPARE(m_server->requests().at(index).header("user-agent"), kAgent);
        QCOMPARE(m_map->GGeoResult(), found);
        QCOMPARE(done.first().first().toBool(), !found.isEmpty());
        m_map->AddMarker(m_map->GGeoResult(), 65280, QStringLiteral("E"));
        QVERIFY(settled());
        QCOMPARE(middle(15) == QColor(0, 255, 0), !found.isEmpty());
    }

    // Searches go out at most one a second; an address asked before is answered from memory.
    void oneSearchASecond()
    {
        QList<qint64> arrivals;
        QElapsedTimer clock;
        clock.start();
        m_answer = [&](const HttpResponder::Request& r) {
            if (r.target.startsWith("/search"))
                arrivals.append(clock.elapsed());
            return json(200, "[{\"lat\":\"" + r.target.mid(r.target.indexOf("q=") + 2, 1) + "\",\"lon\":\"2\"}]");
        };
        showMap(QSize(1, 1), QStringLiteral("0,0"), 16);
        for (const char* address : { "1", "3", "1" }) {
            QSignalSpy done(&*m_map, &ucGMap::locationLookupFinished);
            m_map->SetCenterToTextLocation(QString::fromLatin1(address));
            QVERIFY(done.wait(5000));
            QCOMPARE(m_map->GGeoResult(), QString::fromLatin1(address) + ",2");
        }
        QCOMPARE(arrivals.size(), 2);
        QVERIFY2(arrivals[1] - arrivals[0] >= 900, QByteArray::number(arrivals[1] - arrivals[0]));
    }
};

QTEST_MAIN(OsmMapTest)
#include "tst_OsmMap.moc"
