#include "MapFixture.h"

#include "map/TileLoader.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

using Rows = QByteArrayList;
const QRegularExpression kAgent(QStringLiteral("^Kessvenn/\\d+\\.\\d+\\.\\d+ \\(wache@example.org\\)$"));

// Tile "/z/x/y.png" has its own colour; the server dates its answers, as caches need.
QColor colourOf(const QByteArray& target)
{
    const Rows n = target.split('.').first().split('/');
    return QColor(n.value(2).toInt() % 256, n.value(3).toInt() % 256, n.value(1).toInt() * 10);
}

Response tile(const QByteArray& target, int side = 256)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colourOf(target));
    Response r = png(image);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    r.extraHeaders = { { "Date", QLocale::c().toString(now, "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1() } };
    return r;
}

} // namespace

class OsmMapTest : public QObject, MapFixture {
    Q_OBJECT

    QTemporaryDir m_cache;

    bool settled()
    {
        return QTest::qWaitFor([this] { return m_map->tileLoader()->running() == 0; }, 10000);
    }
    // A new control showing `centre` at `zoom`, asked for its tiles once; true when they settled.
    bool showMap(QSize size, const QString& centre, int zoom)
    {
        m_map.emplace();
        m_map->resize(size);
        m_map->setGZoom(zoom);
        m_map->setGPoint(centre);
        m_map->setContext(&m_ctx);
        m_map->Refresh();
        return settled();
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
        startServer([](const HttpResponder::Request& r) { return tile(r.target); });
        writeMapIni("provider=osm\ntiles=" + m_server->base() + "/{z}/{x}/{y}.png\nsearch=" + m_server->base()
            + "/\ncontact=wache@example.org\ncountrycodes=de\n");
    }

    // The tiles asked for a view (the first lies under the middle), each once, two at a time.
    void tilesAsked_data()
    {
        QTest::addColumn<QString>("centre");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Rows>("tiles");
        const QSize square(256, 256);
        row("city", QStringLiteral("48.1,11.5"), QSize(300, 200),
            Rows { "16/34861/22754", "16/34860/22753", "16/34861/22753", "16/34862/22753", "16/34860/22754",
                "16/34862/22754" });
        row("east edge wraps", QStringLiteral("0,180"), square, Rows { "2/0/2", "2/0/1", "2/3/1", "2/3/2" });
        row("west edge wraps twice", QStringLiteral("0,-180"), QSize(600, 256),
            Rows { "2/0/2", "2/0/1", "2/1/1", "2/1/2", "2/2/1", "2/2/2", "2/3/1", "2/3/2" });
        row("north pole", QStringLiteral("85,0"), square, Rows { "2/2/0", "2/1/0" });
        row("south pole", QStringLiteral("-85,0"), square, Rows { "2/2/3", "2/1/3" });
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
            Response a = tile(r.target);
            a.delayMs = 20;
            return a;
        };
        QVERIFY(showMap(size, centre, tiles[0].split('/')[0].toInt()));
        for (QByteArray& t : tiles)
            t = '/' + t + ".png";
        QCOMPARE(middle(), colourOf(tiles[0]));
        std::sort(tiles.begin(), tiles.end());
        QCOMPARE(asked(), tiles);
        QVERIFY(most <= TileLoader::MaximumRunning);
        for (const HttpResponder::Request& r : m_server->requests())
            QVERIFY(kAgent.match(QString::fromLatin1(r.headers.value("user-agent"))).hasMatch());
    }

    // A first view gets its four tiles once each, as `first` says; then a new control shows the
    // same view: from the disk cache with the server gone, revalidated, kept a week, or empty.
    void cacheAndOffline_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("later"); // "gone", or what the server answers then
        QTest::addColumn<int>("askedAgain");
        QTest::addColumn<bool>("shown");
        row("fresh, server gone", QStringLiteral("max-age=3600"), QStringLiteral("gone"), 0, true);
        row("no cache headers: kept a week", QString(), QStringLiteral("503"), 0, true);
        row("stale, server gone", QStringLiteral("expired"), QStringLiteral("gone"), 0, true);
        row("stale, revalidated", QStringLiteral("expired"), QStringLiteral("304"), 4, true);
        row("not storable, server gone", QStringLiteral("no-store"), QStringLiteral("gone"), 0, false);
        row("refused, asked again by the next view", QStringLiteral("503"), QStringLiteral("503"), 4, false);
        row("not a picture", QStringLiteral("junk"), QStringLiteral("gone"), 0, false);
        row("picture too large", QStringLiteral("2048"), QStringLiteral("gone"), 0, false);
        row("answer over the cap", QStringLiteral("over cap"), QStringLiteral("gone"), 0, false);
        row("512-pixel tile", QStringLiteral("512"), QStringLiteral("gone"), 0, true);
    }

    void cacheAndOffline()
    {
        QFETCH(QString, first);
        QFETCH(QString, later);
        QFETCH(int, askedAgain);
        QFETCH(bool, shown);
        QString now = first;
        m_answer = [&](const HttpResponder::Request& r) {
            Response a = tile(r.target, now.toInt() > 256 ? now.toInt() : 256);
            const bool valid = now == "304" && r.headers.value("if-none-match") == "\"v1\"";
            a.status = valid ? 304 : now == "503" || now == "304" ? 503 : 200;
            a.body = valid ? QByteArray() : now == "junk" ? "<html>busy</html>" : a.body;
            a.body += now == "over cap" ? QByteArray(TileLoader::MaximumTileBytes, '\0') : QByteArray();
            a.extraHeaders.append(qMakePair(QByteArray("ETag"), QByteArray("\"v1\"")));
            if (now == "expired" || now.contains('-')) // a fixed date long past, or the cache directive
                a.extraHeaders.append({ QByteArray(now.contains('-') ? "Cache-Control" : "Expires"),
                    now.contains('-') ? now.toLatin1() : "Mon, 01 Jan 2001 00:00:00 GMT" });
            return a;
        };
        QVERIFY(showMap(QSize(100, 100), QStringLiteral("0,0"), 2));
        QCOMPARE(asked().size(), 4); // never asked again by itself
        now = later;
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
            Response a = tile(r.target);
            a.held = r.target.startsWith("/2/");
            return a;
        };
        showMap(QSize(600, 600), QStringLiteral("0,0"), 2);
        QVERIFY(m_server->waitForRequest("/2/") >= 0);
        m_map->setGZoom(3);
        QVERIFY(settled());
        QCOMPARE(asked("/2/").size(), TileLoader::MaximumRunning);
        QCOMPARE(asked("/3/").size(), 16);
    }

    // What each search answer gets, the request's encoding, the marker at the place found. The
    // same address again is answered from memory unless the server failed; then it is asked
    // again, a second after the first request at the earliest.
    void search_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("found");
        QTest::addColumn<int>("searches");
        const QByteArray hit = R"([{"place_id":7,"lat":"48.1372","lon":"11.5755","display_name":"M"}])";
        row("found", 200, hit, QStringLiteral("48.1372,11.5755"), 1);
        row("nothing found", 200, QByteArray("[]"), QString(), 1);
        row("not JSON", 200, QByteArray("<html>busy</html>"), QString(), 1);
        row("beyond the pole", 200, QByteArray(R"([{"lat":"91","lon":"11"}])"), QString(), 1);
        row("refused", 429, hit, QString(), 2);
        row("over its cap", 200, hit + QByteArray(2 << 20, ' '), QString(), 2);
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
            if (!r.target.startsWith("/search"))
                return tile(r.target);
            times += clock.elapsed();
            return Response { status, "application/json", body, {}, 0, false, std::nullopt, true, false };
        };
        QVERIFY(showMap(QSize(200, 200), QStringLiteral("0,0"), 16));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(lookUp(QStringLiteral("Hauptstraße 5, München")), std::optional(!found.isEmpty()));
            QCOMPARE(m_map->GGeoResult(), found);
        }
        const Rows sent = asked("/search");
        QCOMPARE(sent.size(), searches);
        QCOMPARE(sent[0], "/search?format=jsonv2&limit=1&q=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&countrycodes=de");
        QVERIFY(kAgent.match(QString::fromLatin1(m_server->requests().last().headers.value("user-agent"))).hasMatch());
        QVERIFY(times.last() - times.first() >= (searches - 1) * 900);
        m_map->AddMarker(m_map->GGeoResult(), 65280, QStringLiteral("E"));
        QCOMPARE(middle(15) == QColor(0, 255, 0), !found.isEmpty());
    }
};

QTEST_MAIN(OsmMapTest)
#include "tst_OsmMap.moc"
