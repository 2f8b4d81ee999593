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
using Rows = QByteArrayList;
const QByteArray kAgent = QByteArray("Kessvenn/%1.%2.%3 (wache@example.org)")
                              .replace("%1", QByteArray::number(KESSVENN_VERSION_MAJOR))
                              .replace("%2", QByteArray::number(KESSVENN_VERSION_MINOR))
                              .replace("%3", QByteArray::number(KESSVENN_VERSION_PATCH));

// Each tile "/z/x/y.png" has its own colour; the server dates its answers, as caches need.
QColor colourOf(const QByteArray& target)
{
    const QList<QByteArray> n = target.split('.').first().split('/');
    return QColor(n.value(2).toInt() % 256, n.value(3).toInt() % 256, n.value(1).toInt() * 10);
}

Response answer(const QByteArray& target, int status = 200, QByteArray body = {})
{
    Response r;
    r.status = status;
    r.contentType = "application/json";
    r.body = body;
    if (target.startsWith("/search"))
        return r;
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(colourOf(target));
    QBuffer buffer(&r.body);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    r.extraHeaders = { { "Date", QLocale::c().toString(now, "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1() } };
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

    // A control showing `centre` at `zoom`, asked for its tiles once; true when they have settled.
    bool showMap(QSize size, const QString& centre, int zoom)
    {
        m_map.emplace();
        m_map->resize(size);
        m_map->setGZoom(zoom);
        m_map->setGPoint(centre);
        m_map->setContext(&m_ctx);
        m_map->Refresh();
        return QTest::qWaitFor([this] { return m_map->tileLoader()->running() == 0; }, 10000);
    }
    QColor middle(int up = 0)
    {
        return m_map->grab().toImage().pixelColor(m_map->width() / 2, m_map->height() / 2 - up);
    }
    Rows asked(const QByteArray& part = "/")
    {
        Rows out;
        for (const HttpResponder::Request& r : m_server->requests())
            out += r.target.startsWith(part) ? Rows { r.target } : Rows {};
        std::sort(out.begin(), out.end());
        return out;
    }

private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8()); }

    void init()
    {
        m_answer = [](const HttpResponder::Request& r) { return answer(r.target); };
        m_server.emplace([this](const HttpResponder::Request& r) { return m_answer(r); });
        m_ctx.DataFolder = m_data.path();
        QFile ini(m_data.filePath(QStringLiteral("map.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("provider=osm\ntiles=" + m_server->base() + "/{z}/{x}/{y}.png\nsearch=" + m_server->base()
            + "/\ncontact=wache@example.org\ncountrycodes=de\n");
    }

    // The tiles asked for a view (the first one lies under the middle), each once, two at a time.
    void tilesAsked_data()
    {
        QTest::addColumn<QString>("centre");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Rows>("tiles");
        const QSize square(256, 256);
        QTest::newRow("city") << "48.1,11.5" << QSize(300, 200)
                              << Rows { "16/34861/22754", "16/34860/22753", "16/34861/22753", "16/34862/22753",
                                     "16/34860/22754", "16/34862/22754" };
        QTest::newRow("east edge wraps") << "0,180" << square << Rows { "2/0/2", "2/0/1", "2/3/1", "2/3/2" };
        QTest::newRow("west edge wraps twice")
            << "0,-180" << QSize(600, 256)
            << Rows { "2/0/2", "2/0/1", "2/1/1", "2/1/2", "2/2/1", "2/2/2", "2/3/1", "2/3/2" };
        QTest::newRow("north pole") << "85,0" << square << Rows { "2/2/0", "2/1/0" };
        QTest::newRow("south pole") << "-85,0" << square << Rows { "2/2/3", "2/1/3" };
    }

    void tilesAsked()
    {
        QFETCH(QString, centre);
        QFETCH(QSize, size);
        QFETCH(Rows, tiles);
        int running = 0, most = 0;
        connect(&*m_server, &HttpResponder::requestReceived, this, [&] { most = std::max(most, ++running); });
        connect(&*m_server, &HttpResponder::answered, this, [&] { --running; });
        m_answer = [](const HttpResponder::Request& r) {
            Response a = answer(r.target);
            a.delayMs = 20;
            return a;
        };
        QVERIFY(showMap(size, centre, tiles[0].split('/')[0].toInt()));
        for (QByteArray& tile : tiles)
            tile = '/' + tile + ".png";
        QCOMPARE(middle(), colourOf(tiles[0]));
        std::sort(tiles.begin(), tiles.end());
        QCOMPARE(asked(), tiles);
        QVERIFY(most <= TileLoader::MaximumRunning);
        for (const HttpResponder::Request& r : m_server->requests())
            QCOMPARE(r.header("user-agent"), kAgent);
    }

    // What a second view of the same four tiles shows after a first view got them with these
    // headers: the disk cache with the server gone, revalidated, kept a week, or empty squares.
    void cacheAndOffline_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("later"); // "gone", or what the server answers then
        QTest::addColumn<int>("askedAgain");
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
        QFETCH(QByteArray, header);
        QFETCH(int, status);
        QFETCH(QString, later);
        QFETCH(int, askedAgain);
        QFETCH(bool, shown);
        m_answer = [&](const HttpResponder::Request& r) {
            const bool valid = later == "304" && r.header("if-none-match") == "\"v1\"";
            Response a = answer(r.target, valid ? 304 : status);
            a.body = valid ? QByteArray() : a.body;
            a.extraHeaders += { { "ETag", "\"v1\"" }, { header.split(':')[0], header.mid(header.indexOf(':') + 2) } };
            return a;
        };
        QVERIFY(showMap(QSize(100, 100), QStringLiteral("0,0"), 2));
        QCOMPARE(asked().size(), 4); // once each, also when refused
        status = 503;
        if (later == "gone")
            m_server.reset();
        QVERIFY(showMap(QSize(100, 100), QStringLiteral("0,0"), 2));
        QCOMPARE(m_server ? asked().size() : 4, 4 + askedAgain);
        QCOMPARE(middle() == colourOf("/2/2/2.png"), shown);
    }

    // A newer view drops the older one's requests, even those the server never answers.
    void replacedView()
    {
        m_answer = [](const HttpResponder::Request& r) {
            Response a = answer(r.target);
            a.held = r.target.startsWith("/2/");
            return a;
        };
        showMap(QSize(600, 600), QStringLiteral("0,0"), 2);
        QVERIFY(m_server->waitForRequest("/2/") >= 0);
        m_map->setGZoom(3);
        QVERIFY(QTest::qWaitFor([this] { return m_map->tileLoader()->running() == 0; }, 10000));
        QCOMPARE(asked("/2/").size(), TileLoader::MaximumRunning);
        QCOMPARE(asked("/3/").size(), 16);
    }

    // What each search answer gets, the request's encoding, the marker at the place found. The
    // same address again is answered from memory unless the server failed; then it is asked again,
    // a second after the first request at the earliest.
    void search_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("found");
        QTest::addColumn<int>("searches");
        const QByteArray hit = R"([{"place_id":7,"lat":"48.1372","lon":"11.5755","display_name":"M"}])";
        QTest::newRow("found") << 200 << hit << "48.1372,11.5755" << 1;
        QTest::newRow("nothing found") << 200 << QByteArray("[]") << "" << 1;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>busy</html>") << "" << 1;
        QTest::newRow("beyond the pole") << 200 << QByteArray(R"([{"lat":"91","lon":"11"}])") << "" << 1;
        QTest::newRow("refused") << 429 << hit << "" << 2;
        QTest::newRow("over its cap") << 200 << hit + QByteArray(2 << 20, ' ') << "" << 2;
    }

    void search()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, found);
        QFETCH(int, searches);
        QElapsedTimer clock;
        clock.start();
        QList<qint64> times;
        m_answer = [&](const HttpResponder::Request& r) {
            times += r.target.startsWith("/search") ? QList<qint64> { clock.elapsed() } : QList<qint64> {};
            return answer(r.target, status, body);
        };
        QVERIFY(showMap(QSize(200, 200), QStringLiteral("0,0"), 16));
        for (int i = 0; i < 2; ++i) {
            QSignalSpy done(&*m_map, &ucGMap::locationLookupFinished);
            m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5, München"));
            QVERIFY(done.wait(5000));
            QCOMPARE(m_map->GGeoResult(), found);
            QCOMPARE(done.first().first().toBool(), !found.isEmpty());
        }
        const Rows sent = asked("/search");
        QCOMPARE(sent.size(), searches);
        QCOMPARE(sent[0], "/search?format=jsonv2&limit=1&q=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&countrycodes=de");
        QCOMPARE(m_server->requests().last().header("user-agent"), kAgent);
        QVERIFY(times.last() - times.first() >= (searches - 1) * 900);
        m_map->AddMarker(m_map->GGeoResult(), 65280, QStringLiteral("E"));
        QCOMPARE(middle(15) == QColor(0, 255, 0), !found.isEmpty());
    }
};

QTEST_MAIN(OsmMapTest)
#include "tst_OsmMap.moc"
