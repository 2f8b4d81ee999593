#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/TestFiles.h"

#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "config/StationSettings.h"
#include "map/Geocoder.h"
#include "map/MapClient.h"
#include "map/TileLoader.h"
#include "map/ucGMap.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Response = HttpResponder::Response;

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
    Response r = HttpResponder::png(colourOf(target), side);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    r.extraHeaders = { { "Date", QLocale::c().toString(now, "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1() } };
    return r;
}

constexpr qint64 kImageCap = MapClient::MaximumImageBytes;
constexpr qint64 kLookupCap = MapClient::MaximumLookupBytes;

// A 640 × 640 PNG, left half `left`, right half `right`, padded after its end with zero bytes to
// `size` (decoders stop at the image's end, so the padding only changes the byte count).
Response picture(const QColor& left, const QColor& right, qint64 size = 9000)
{
    QImage image(640, 640, QImage::Format_RGB32);
    image.fill(left);
    QPainter(&image).fillRect(320, 0, 320, 640, right);
    Response r = HttpResponder::png(image);
    r.body.append(qMax<qint64>(0, size - r.body.size()), '\0');
    return r;
}

// The service's answer for one match, padded with blanks after its end to `size` bytes.
Response geocode(const QByteArray& lat, const QByteArray& lng, qint64 size = 0)
{
    Response r;
    r.contentType = "text/xml";
    r.body = "<GeocodeResponse><status>OK</status><result><geometry>\n <location>\n  <lat>" + lat + "</lat>\n  <lng>"
        + lng + "</lng>\n </location>\n <location_type>ROOFTOP</location_type>\n</geometry></result></GeocodeResponse>";
    r.body.append(qMax<qint64>(0, size - r.body.size()), ' ');
    return r;
}

// Every message logged while it lives, as "category: text".
struct LoggedLines {
    static inline QStringList lines;
    QtMessageHandler before
        = (lines.clear(), qInstallMessageHandler([](QtMsgType, const QMessageLogContext& at, const QString& text) {
              lines << at.category + (": " + text);
          }));
    ~LoggedLines() { qInstallMessageHandler(before); }
};

} // namespace

// The map control against a local static-map service, or tile and address search servers.
class ucGMapTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_data, m_cache;
    AppContext m_ctx;
    StationSettings m_settings;
    HttpResponder::Handler m_answer;
    std::optional<HttpResponder> m_server;
    std::optional<ucGMap> m_map;
    std::optional<Geocoder> m_geocoder;
    int m_tileLimitMs = 0;
    int m_lookupTimeoutMs = Geocoder::DefaultTimeoutMs;

    void writeMapIni(const QByteArray& text)
    {
        QVERIFY(TestFiles::writeAll(m_data.filePath(QStringLiteral("map.ini")), text));
        if (m_map) // as when the settings dialog closes
            m_map->setConfig(mapIni());
    }
    MapConfig mapIni() { return MapConfig::from(ConfigValues::read(m_data.path(), ConfigFile::Map)); }
    // Looks `address` up with map.ini as it stands: the place found, "" for none, "no answer" when
    // the lookup never ended.
    QString lookUp(const QString& address, int timeoutMs = 5000)
    {
        m_geocoder->setConfig(mapIni());
        m_geocoder->timeoutMs = m_lookupTimeoutMs;
        QSignalSpy done(&*m_geocoder, &Geocoder::answered);
        const quint64 id = m_geocoder->lookUp(address);
        if (!done.wait(timeoutMs) || done.count() != 1 || done.first().first().toULongLong() != id)
            return QStringLiteral("no answer");
        return done.first().at(1).value<std::optional<QString>>().value_or(QString());
    }

    void useProxy(bool login)
    {
        m_settings.UseProxy = true;
        m_settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_settings.ProxyPort = m_server->port();
        m_settings.ProxyAuthRequired = login;
        m_settings.ProxyLogin = QStringLiteral("wache");
        m_settings.ProxyPassword = QStringLiteral("geheim");
    }

    // Waits for map request `number` to end; true when its image was shown.
    std::optional<bool> finishOf(int number)
    {
        QSignalSpy spy(&*m_map, &ucGMap::mapRequestFinished);
        while (spy.isEmpty() || spy.last().at(0).toInt() != number) {
            if (!spy.wait(20000))
                return std::nullopt;
        }
        return spy.last().at(1).toBool();
    }

    bool settled()
    {
        return QTest::qWaitFor([this] { return m_map->tileLoader()->running() == 0; }, 10000);
    }
    // A new control showing `centre` at `zoom`, asked for its tiles once; true when they settled.
    bool showMap(QSize size, const QString& centre, int zoom)
    {
        m_map.reset();
        if (m_server) // else the map.ini before stays
            writeMapIni("provider=osm\ntiles=" + m_server->base() + "/{z}/{x}/{y}.png\nsearch=" + m_server->base()
                + "/\ncontact=wache@example.org\ncountrycodes=de\n");
        m_map.emplace();
        m_map->setTileTimeLimitMs(m_tileLimitMs);
        m_map->resize(size);
        m_map->setGZoom(zoom);
        m_map->setGPoint(centre);
        m_map->setContext(&m_ctx, &m_settings);
        m_map->setConfig(mapIni());
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
        m_map.reset(); // the one of the test before
        m_settings = {};
        m_tileLimitMs = 0;
        m_lookupTimeoutMs = Geocoder::DefaultTimeoutMs;
        m_geocoder.emplace(m_ctx, m_settings);
        m_answer = [](const HttpResponder::Request& r) {
            return r.target.contains("/maps/api/") ? picture(Qt::green, Qt::green) : tile(r.target);
        };
        m_server.emplace([this](const HttpResponder::Request& r) { return m_answer(r); });
        m_ctx.DataFolder = m_data.path();
        writeMapIni("# the local map service\r\nhost=" + m_server->base() + "/\r\nkey=testkey\r\n");
        m_map.emplace();
        m_map->setContext(&m_ctx, &m_settings);
        m_map->setConfig(mapIni());
        m_map->resize(300, 200);
    }

    // The texts that reach the service, directly or through the proxy of the settings.
    void requestTexts_data()
    {
        columns<bool, bool>("proxy", "login");
        row("direct", false, false);
        row("through the proxy", true, false);
        row("through the proxy with login", true, true);
    }

    void requestTexts()
    {
        auto [proxy, login] = fetch<bool, bool>("proxy", "login");
        const QByteArray host = proxy ? "http://127.0.0.1:1" : ""; // through the proxy: a port where nothing listens
        if (proxy) {
            writeMapIni("# the local map service\r\nhost=" + host + "/\r\nkey=testkey\r\n");
            useProxy(login);
        }
        const QByteArray credentials = login ? "Basic " + QByteArray("wache:geheim").toBase64() : QByteArray();
        m_answer = [credentials](const HttpResponder::Request& r) {
            Response challenge;
            challenge.status = 407;
            challenge.extraHeaders = { { "Proxy-Authenticate", "Basic realm=\"Stadt\"" } };
            if (r.headers.value("proxy-authorization") != credentials)
                return challenge;
            return r.target.contains("/geocode/") ? geocode("48.1372", "11.5755") : picture(Qt::green, Qt::green);
        };
        m_map->AddMarker(QStringLiteral("48.1,11.5"), 65280, QStringLiteral("E"));
        QCOMPARE(m_map->GRequestCounter(), 0); // markers wait for the next Refresh
        m_map->setGZoom(16);
        QCOMPARE(finishOf(1), std::optional<bool>(true));
        // A control of 300 × 200 still asks for 640 × 640.
        QCOMPARE(m_server->requests().last().target,
            host
                + "/maps/api/staticmap?sensor=false&format=jpg&center=0,0&zoom=16&size=640x640&maptype=roadmap"
                  "&markers=color:0x00FF00%7Clabel:E%7C48.1,11.5&key=testkey");
        QCOMPARE(lookUp(QStringLiteral("Hauptstraße 5, München")), QStringLiteral("48.1372,11.5755"));
        QCOMPARE(m_server->requests().last().target,
            host + "/maps/api/geocode/xml?&sensor=false&address=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&key=testkey");
    }

    // What each kind of answer gets. A map image is shown only when it is an HTTP success of 8000
    // bytes up to the cap; a lookup answer is taken only when it holds a location and stays within
    // its cap, however fast it comes and whether or not it states its length. An earlier result is
    // never reused; no request goes out without a usable map service.
    void answers_data()
    {
        // length "none": ends with the connection; "announced": past the image cap, the body held back
        columns<QString, qint64, QString, bool>("answer", "size", "length", "taken");
        const QString exact = QStringLiteral("exact"), none = QStringLiteral("none");
        row("image of 8000 bytes", "image", qint64(8000), exact, true);
        row("image of 7999 bytes", "image", qint64(7999), exact, false);
        row("image with error status", "image 403", qint64(9000), exact, false);
        row("no image", "image text", qint64(9000), exact, false);
        row("image as big as its cap", "image", kImageCap, exact, true);
        row("image over its cap", "image", kImageCap + 1, exact, false);
        row("image over its cap, no length", "image", kImageCap + 1, none, false);
        row("image announced over its cap", "image", qint64(9000), "announced", false);
        row("lookup found", "lookup", qint64(0), exact, true);
        row("lookup as big as its cap", "lookup", kLookupCap, exact, true);
        row("lookup over its cap", "lookup", kLookupCap + 1, exact, false);
        row("lookup over its cap, no length", "lookup", kLookupCap + 1, none, false);
        row("lookup, server error", "lookup 500", qint64(0), exact, false);
        row("lookup, nothing found", "lookup zero", qint64(0), exact, false);
        row("lookup, silent server", "lookup silent", qint64(0), exact, false);
        row("lookup, no map service", "lookup none", qint64(0), exact, false);
        row("lookup, empty address", "lookup empty", qint64(0), exact, false);
    }

    void answers()
    {
        auto [answer, size, length, taken] = fetch<QString, qint64, QString, bool>("answer", "size", "length", "taken");
        QTest::failOnWarning(QRegularExpression(QStringLiteral("testkey"))); // the journal never sees the key
        const auto is = [&answer](const char* word) { return answer.endsWith(QLatin1String(word)); };
        const bool isImage = answer.startsWith(QLatin1String("image"));
        m_answer = [=](const HttpResponder::Request& q) {
            if (q.target.contains("Anger"))
                return geocode("50.5", "9.5");
            Response r = isImage ? picture(Qt::green, Qt::green, size) : geocode("48.1372", "11.5755", size);
            r.status = is("403") ? 403 : is("500") ? 500 : 200;
            r.body = is("text") ? QByteArray(size, 'x') : is("zero") ? "<status>ZERO_RESULTS</status>" : r.body;
            r.held = is("silent");
            r.sendLength = length != QLatin1String("none");
            r.keepOpen = length == QLatin1String("announced");
            r.announcedLength = r.keepOpen ? std::optional(kImageCap + 1) : std::nullopt;
            return r;
        };
        if (isImage) {
            m_map->setGZoom(16);
            QCOMPARE(finishOf(1), std::optional<bool>(taken));
            QCOMPARE(m_map->BackBuf().pixelColor(10, 10), taken ? QColor(Qt::green) : QColor(Qt::white));
            return;
        }
        QCOMPARE(lookUp(QStringLiteral("Am Anger 1")), QStringLiteral("50.5,9.5")); // a result never reused
        if (is("none")) { // the public service without a key; the proxy would see any request
            QFile::remove(m_data.filePath(QStringLiteral("map.ini")));
            useProxy(false);
        }
        m_lookupTimeoutMs = 400;
        QCOMPARE(lookUp(is("empty") ? QStringLiteral(" ") : QStringLiteral("Ort"), 20000),
            taken ? QStringLiteral("48.1372,11.5755") : QString());
        for (const HttpResponder::Request& r : m_server->requests()) // a lookup sent would be seen by now
            QVERIFY(!r.target.contains("googleapis"));
    }

    // The mouse on a map of 800 × 600, zoom 16, centre 48.1,11.5: steps M move, L/R press then
    // release, D double-click at x y. It reports the coordinate under it and drags the map.
    void mouse_data()
    {
        columns<QString, QString, QString>("steps", "events", "centre"); // events raised with their texts
        const QString moved = QStringLiteral("MouseMove 48.10229,11.50344");
        row("move, drag right and down moves west and north", "M 600 150; L 400 300; L 480 375",
            moved + "; MouseUp 48.10229,11.50344", "48.10114,11.49863");
        row("click without movement", "L 400 300; L 400 300", "MouseUp ", "48.09999,11.5");
        row("right button, double-click", "M 600 150; R 600 150; R 700 150; D 600 150",
            moved + "; MouseUp 48.10229,11.50344; DblClick 48.10229,11.50344", "48.1,11.5");
    }

    void mouse()
    {
        auto [steps, events, centre] = fetch<QString, QString, QString>("steps", "events", "centre");
        m_map->resize(800, 600);
        m_map->setGZoom(16);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        const int counter = m_map->GRequestCounter();
        QStringList raised;
        connect(&*m_map, &ucGMap::MouseMove, this, [&](const QString& t) { raised << "MouseMove " + t; });
        connect(&*m_map, &ucGMap::MouseUp, this, [&](const QString& t) { raised << "MouseUp " + t; });
        connect(&*m_map, &ucGMap::DblClick, this, [&](const QString& t) { raised << "DblClick " + t; });
        bool pressed = false;
        for (const QString& step : steps.split(QStringLiteral("; "))) {
            const QChar what = step.front();
            const QStringList xy = step.mid(2).split(QLatin1Char(' '));
            const QPoint at(xy.value(0).toInt(), xy.value(1).toInt());
            const QEvent::Type type = what == u'M' ? QEvent::MouseMove
                : what == u'D'                     ? QEvent::MouseButtonDblClick
                : (pressed = !pressed)             ? QEvent::MouseButtonPress
                                                   : QEvent::MouseButtonRelease;
            const Qt::MouseButton button = what == u'R' ? Qt::RightButton
                : what == u'L'                          ? Qt::LeftButton
                                                        : Qt::NoButton;
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
            QMouseEvent event(type, at, m_map->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(&*m_map, &event);
        }
        disconnect(&*m_map, nullptr, this, nullptr);
        QCOMPARE(raised.join(QStringLiteral("; ")), events);
        QCOMPARE(m_map->GPoint(), centre);
        // Every change of the view asks for one map; the right button and the double-click move nothing.
        QCOMPARE(m_map->GRequestCounter() - counter, int(centre != QLatin1String("48.1,11.5")));
    }

    // A newer lookup replaces a running one, which answers nothing even when its answer comes first.
    void newerLookupWins()
    {
        m_answer = [](const HttpResponder::Request& r) {
            Response held = r.target.contains("address=Alt") ? geocode("1.5", "2.5") : geocode("3.5", "4.5");
            held.held = true;
            return held;
        };
        m_geocoder->setConfig(mapIni());
        QSignalSpy done(&*m_geocoder, &Geocoder::answered);
        m_geocoder->lookUp(QStringLiteral("Alt 1"));
        const int older = m_server->waitForRequest("address=Alt");
        const quint64 newer = m_geocoder->lookUp(QStringLiteral("Neu"));
        const int newerRequest = m_server->waitForRequest("address=Neu");
        QVERIFY(older >= 0 && newerRequest >= 0);
        m_server->release(older);
        m_server->release(newerRequest);
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().toULongLong(), newer);
        QCOMPARE(done.first().at(1).value<std::optional<QString>>(), std::optional(QStringLiteral("3.5,4.5")));
    }

    void latestMapAnswerWins()
    {
        m_answer = [](const HttpResponder::Request& r) {
            Response held = r.target.contains("zoom=15") ? picture(Qt::red, Qt::red) : picture(Qt::green, Qt::green);
            held.held = !r.target.contains("/geocode/");
            return held;
        };
        m_map->setGZoom(15);
        const int older = m_server->waitForRequest("zoom=15");
        m_map->setGZoom(16);
        m_server->release(m_server->waitForRequest("zoom=16"));
        QCOMPARE(finishOf(2), std::optional<bool>(true));
        m_server->release(older);
        QVERIFY(lookUp(QStringLiteral("Ort")) != QLatin1String("no answer")); // answered after the older map
        QCOMPARE(m_map->BackBuf().pixelColor(10, 10), QColor(Qt::green));
    }

    void smoothScaling()
    {
        // Enlarged over a full screen, the image fills the control and blends across its seam.
        m_map->resize(1920, 1080);
        QVERIFY(m_map->LoadMapPicture(picture(Qt::red, Qt::blue).body));
        const QImage shot = m_map->grab().toImage();
        QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(1919, 1079), QColor(Qt::blue));
        QVERIFY(shot.pixelColor(959, 540) != QColor(Qt::red) && shot.pixelColor(959, 540) != QColor(Qt::blue));
        QCOMPARE(m_map->GRequestCounter(), 0); // a resize asks for nothing
    }

    // The tiles asked for a view (the first lies under the middle), each once.
    void tilesAsked_data()
    {
        columns<QString, QSize, Rows>("centre", "size", "tiles");
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
        auto [centre, size, tiles] = fetch<QString, QSize, Rows>("centre", "size", "tiles");
        QVERIFY(showMap(size, centre, tiles[0].split('/')[0].toInt()));
        for (QByteArray& t : tiles)
            t = '/' + t + ".png";
        QCOMPARE(middle(), colourOf(tiles[0]));
        std::sort(tiles.begin(), tiles.end());
        QCOMPARE(asked(), tiles);
        for (const HttpResponder::Request& r : m_server->requests())
            QVERIFY(kAgent.match(QString::fromLatin1(r.headers.value("user-agent"))).hasMatch());
    }

    // A first view gets its four tiles once each, as `first` says; then a new control shows the
    // same view: from the disk cache with the server gone, revalidated, kept a week, or empty.
    void cacheAndOffline_data()
    {
        // later: "gone", or what the server answers then
        columns<QString, QString, int, bool>("first", "later", "askedAgain", "shown");
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
        auto [first, later, askedAgain, shown]
            = fetch<QString, QString, int, bool>("first", "later", "askedAgain", "shown");
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

    // At most two tiles at a time; a newer view drops the older one's requests, even unanswered ones.
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

    // Decoded tiles in memory are bounded: a view's new tiles push out the least recently used
    // ones, never the tiles of the same view that were in memory already; a loader for pages keeps
    // its view's alone.
    void tilesInMemory()
    {
        TileLoader loader(m_cache.filePath(QStringLiteral("bounded")));
        QStringList urls; // tile x of row 7 at zoom 10
        for (int x = 0; x < 120; ++x)
            urls << QString::fromLatin1(m_server->base() + "/10/%1/7.png").arg(x);
        const auto show = [&loader](const QStringList& view) {
            QSignalSpy idle(&loader, &TileLoader::idle);
            loader.setView(view);
            return !idle.isEmpty() || idle.wait(10000);
        };
        QVERIFY(show(urls.first(10)));
        for (int x = 10; x < TileLoader::MemoryTiles; ++x) // the first view's tiles are now the oldest
            QVERIFY(show({ urls[x] }));
        const QStringList view = urls.first(10) + urls.mid(100, 14);
        QVERIFY(show(view));
        const auto inMemory = [&loader](const QStringList& some) {
            return std::count_if(some.begin(), some.end(), [&loader](const QString& u) { return loader.tile(u); });
        };
        QCOMPARE(inMemory(view), view.size());
        QCOMPARE(inMemory(urls), TileLoader::MemoryTiles);
        // The printout's loader keeps the tiles of its page alone.
        loader.keepViewOnly();
        QVERIFY(show(urls.mid(100, 5)));
        QCOMPARE(inMemory(urls), 5);
    }

    // What a failing tile server (a view of four tiles) or search server gets: one line under
    // kessvenn.map however many tiles fail alike, and nothing else in the log. A tile is never
    // decoded unless it is a PNG, JPEG or WebP, is stopped at its time limit or its cap however its
    // bytes come, and follows at most three redirects, only on its own host.
    void failures_data()
    {
        // logged: what the one line holds; asked: requests (searches for "search")
        columns<QString, QString, int, bool>("answer", "logged", "asked", "shown");
        const QString tile = QStringLiteral("kessvenn.map: Tile from 127.0.0.1 failed: ");
        const QString notPicture = tile + "not a PNG, JPEG or WebP picture";
        row("server error", "500", tile + "HTTP status 500", 4, false);
        row("web page", "html", notPicture, 4, false);
        row("SVG picture", "svg", notPicture, 4, false);
        row("trickling, one byte at a time", "trickle", tile + "no whole answer within 1 s", 4, false);
        row("over the cap, no length", "over cap", tile + "answer larger than 2097152 bytes", 4, false);
        row("redirect loop", "loop", tile + "more than 3 redirects", 16, false);
        row("redirect to another host", "other host", tile + "redirect to another host (localhost) not followed", 4,
            false);
        row("redirect on the same host", "moved", QString(), 8, true);
        row("cache folder not writable", "no cache", QStringLiteral(" failed: the folder cannot be written"), 4, true);
        row("search refused", "search",
            QStringLiteral("kessvenn.map: Address search from 127.0.0.1 failed: HTTP status 500"), 1, true);
    }

    void failures()
    {
        auto [answer, logged, requests, shown]
            = fetch<QString, QString, int, bool>("answer", "logged", "asked", "shown");
        const QByteArray other = "http://localhost:" + QByteArray::number(m_server->port());
        m_answer = [answer, other](const HttpResponder::Request& r) {
            Response a = tile(r.target);
            const QByteArray to = answer == "loop"                  ? r.target
                : answer == "other host"                            ? other + r.target
                : answer == "moved" && !r.target.endsWith("?moved") ? r.target + "?moved"
                                                                    : QByteArray();
            if (!to.isEmpty())
                a.extraHeaders.append({ "Location", to });
            a.status = !to.isEmpty()                                                        ? 302
                : answer == "500" || (answer == "search" && r.target.startsWith("/search")) ? 500
                                                                                            : 200;
            a.body = answer == "html" ? "<html>busy</html>"
                : answer == "svg" // in the tile's colour, as if it were the tile
                ? R"(<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256"><rect width="256" )"
                  "height=\"256\" fill=\""
                    + colourOf(r.target).name().toLatin1() + "\"/></svg>"
                : answer == "over cap" ? QByteArray(TileLoader::MaximumTileBytes + 1, '\0') : a.body;
            a.contentType = answer == "svg" ? "image/svg+xml" : a.contentType;
            a.sendLength = answer != "over cap" && answer != "trickle";
            a.trickleMs = answer == "trickle" ? 20 : 0;
            return a;
        };
        const QString notAFolder = m_data.filePath(QStringLiteral("cache"));
        QFile(notAFolder).open(QIODevice::WriteOnly);
        if (answer == "no cache")
            qputenv("XDG_CACHE_HOME", notAFolder.toUtf8());
        m_tileLimitMs = answer == "trickle" ? 1000 : 0;
        std::optional<LoggedLines> log(std::in_place);
        const bool tilesSettled = showMap(QSize(100, 100), QStringLiteral("0,0"), 2);
        const QString found = answer == "search" ? lookUp(QStringLiteral("Ort")) : QStringLiteral("not asked");
        log.reset();
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
        QVERIFY(tilesSettled);
        QCOMPARE(found, answer == "search" ? QString() : QStringLiteral("not asked"));
        QCOMPARE(asked(answer == "search" ? "/search" : "/").size(), requests);
        QCOMPARE(middle() == colourOf("/2/2/2.png"), shown);
        QCOMPARE(LoggedLines::lines.size(), logged.isEmpty() ? 0 : 1);
        QVERIFY2(logged.isEmpty()
                || (LoggedLines::lines[0].startsWith("kessvenn.map: ") && LoggedLines::lines[0].endsWith(logged)),
            qPrintable(LoggedLines::lines.join('\n')));
    }

    // map.ini is read at the first request and then only when the settings dialog closes (see
    // writeMapIni): one that blocks when opened (a pipe nobody writes to) does not hold up a refresh.
    void mapIniReadOnce()
    {
        QVERIFY(showMap(QSize(100, 100), QStringLiteral("0,0"), 2));
        const QByteArray ini = QFile::encodeName(m_data.filePath(QStringLiteral("map.ini")));
        QVERIFY(QFile::remove(ini) && ::mkfifo(ini.constData(), 0600) == 0);
        std::atomic_bool opened = false;
        std::thread writer([&] {
            const int fd = ::open(ini.constData(), O_WRONLY); // returns once a reader opens it
            opened = true;
            ::close(fd);
        });
        m_map->setGZoom(3);
        const bool tilesSettled = settled();
        const bool readOnRefresh = opened;
        ::close(::open(ini.constData(), O_RDONLY | O_NONBLOCK)); // lets the writer go
        writer.join();
        QFile::remove(ini);
        QVERIFY(tilesSettled && !readOnRefresh);
        QCOMPARE(asked("/3/").size(), 4);
    }

    // What each search answer gets, the request's encoding, the marker at the place found. The
    // same address again is answered from memory unless the server failed; then it is asked
    // again, a second after the first request at the earliest.
    void search_data()
    {
        columns<int, QByteArray, QString, int>("status", "body", "found", "searches");
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
        auto [status, body, found, searches]
            = fetch<int, QByteArray, QString, int>("status", "body", "found", "searches");
        QElapsedTimer clock;
        clock.start();
        QList<qint64> times;
        m_answer = [&](const HttpResponder::Request& r) {
            if (!r.target.startsWith("/search"))
                return tile(r.target);
            times += clock.elapsed();
            return Response { status, "application/json", body, {}, false, std::nullopt, true, false };
        };
        QVERIFY(showMap(QSize(200, 200), QStringLiteral("0,0"), 16));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(lookUp(QStringLiteral("Hauptstraße 5, München")), found);
        const Rows sent = asked("/search");
        QCOMPARE(sent.size(), searches);
        QCOMPARE(sent[0], "/search?format=jsonv2&limit=1&q=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&countrycodes=de");
        QVERIFY(kAgent.match(QString::fromLatin1(m_server->requests().last().headers.value("user-agent"))).hasMatch());
        QVERIFY(times.last() - times.first() >= (searches - 1) * 900);
        if (!found.isEmpty())
            m_map->setGPoint(found);
        m_map->AddMarker(found, 65280, QStringLiteral("E"));
        QCOMPARE(middle(15) == QColor(0, 255, 0), !found.isEmpty());
    }
};

QTEST_MAIN(ucGMapTest)
#include "tst_ucGMap.moc"
