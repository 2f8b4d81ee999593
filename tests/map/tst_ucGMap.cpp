#include "tests/support/HttpResponder.h"

#include "common/AppContext.h"
#include "map/ucGMap.h"

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {

const QColor kQuadrants[4]
    = { Qt::red, Qt::green, Qt::blue, Qt::yellow }; // top left, top right, bottom left, bottom right
const QColor kOther[4] = { Qt::cyan, Qt::magenta, Qt::darkRed, Qt::darkGreen };

// A 640 × 640 PNG of four coloured quadrants, padded after its end with zero bytes to `size`
// bytes (decoders stop at the image's end, so the padding only changes the byte count).
QByteArray picture(const QColor (&colours)[4], qsizetype size = 9000)
{
    QImage image(640, 640, QImage::Format_RGB32);
    for (int y = 0; y < 640; ++y) {
        for (int x = 0; x < 640; ++x)
            image.setPixelColor(x, y, colours[(y >= 320 ? 2 : 0) + (x >= 320 ? 1 : 0)]);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (bytes.size() < size)
        bytes.append(size - bytes.size(), '\0');
    return bytes;
}

QColor colourAt(const QImage& image, double fx, double fy)
{
    return image.pixelColor(static_cast<int>(fx * (image.width() - 1)), static_cast<int>(fy * (image.height() - 1)));
}

bool sameQuadrants(const QImage& image, const QColor (&colours)[4])
{
    return colourAt(image, 0.25, 0.25) == colours[0] && colourAt(image, 0.75, 0.25) == colours[1]
        && colourAt(image, 0.25, 0.75) == colours[2] && colourAt(image, 0.75, 0.75) == colours[3];
}

QByteArray geocodeAnswer(const QByteArray& lat, const QByteArray& lng)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GeocodeResponse>\n <status>OK</status>\n <result>\n"
           "  <geometry>\n   <location>\n    <lat>"
        + lat + "</lat>\n    <lng>" + lng
        + "</lng>\n   </location>\n   <location_type>ROOFTOP</location_type>\n  </geometry>\n </result>\n"
          "</GeocodeResponse>\n";
}

using Response = HttpResponder::Response;

Response image(const QByteArray& body, int status = 200, int delayMs = 0)
{
    Response r;
    r.status = status;
    r.body = body;
    r.delayMs = delayMs;
    return r;
}

Response xml(const QByteArray& body, int status = 200, int delayMs = 0)
{
    Response r = image(body, status, delayMs);
    r.contentType = "text/xml";
    return r;
}

Response silence()
{
    Response r;
    r.silent = true;
    return r;
}

Response proxyChallenge()
{
    Response r;
    r.status = 407;
    r.contentType = "text/plain";
    r.extraHeaders = { { "Proxy-Authenticate", "Basic realm=\"Stadt\"" } };
    return r;
}

bool isMapRequest(const HttpResponder::Request& r)
{
    return r.target.contains("/maps/api/staticmap?");
}

} // namespace

class ucGMapTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<HttpResponder> m_server;
    std::unique_ptr<ucGMap> m_map;
    HttpResponder::Handler m_answer;

    void writeMapIni(const QByteArray& text)
    {
        QFile file(m_data->filePath(QStringLiteral("map.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Waits for map request `number` to end; true when its image was shown.
    std::optional<bool> finishOf(int number)
    {
        QSignalSpy spy(m_map.get(), &ucGMap::mapRequestFinished);
        for (;;) {
            for (const QList<QVariant>& args : spy) {
                if (args.at(0).toInt() == number)
                    return args.at(1).toBool();
            }
            if (!spy.wait(5000))
                return std::nullopt;
        }
    }

    int mapRequestsSeen() const
    {
        return static_cast<int>(std::count_if(m_server->requests().begin(), m_server->requests().end(), isMapRequest));
    }

private slots:
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        QVERIFY(m_data->isValid());
        m_ctx = std::make_unique<AppContext>();
        m_ctx->DataFolder = m_data->path();
        m_answer = [](const HttpResponder::Request&) { return image(picture(kQuadrants)); };
        m_server = std::make_unique<HttpResponder>([this](const HttpResponder::Request& r) { return m_answer(r); });
        QVERIFY(m_server->isListening());
        writeMapIni("host=" + m_server->base() + "\r\nkey=testkey\r\n");
        m_map = std::make_unique<ucGMap>();
        m_map->setContext(m_ctx.get());
        m_map->resize(300, 200);
    }

    void cleanup()
    {
        m_map.reset();
        m_server.reset();
        m_ctx.reset();
        m_data.reset();
    }

    void refreshSendsTheComposedRequest()
    {
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        QCOMPARE(m_map->GRequestCounter(), 1);
        m_map->AddMarker(QStringLiteral("48.1,11.5"), 65280, QStringLiteral("E"));
        QCOMPARE(m_map->GRequestCounter(), 1); // markers wait for the next Refresh
        m_map->setGZoom(16);
        QCOMPARE(m_map->GRequestCounter(), 2);
        const QByteArray path = "/maps/api/staticmap?sensor=false&format=jpg&center=48.1,11.5&zoom=16&size=640x640"
                                "&maptype=roadmap&markers=color:0x00FF00%7Clabel:E%7C48.1,11.5&key=testkey";
        QCOMPARE(m_map->GLastRequestUrl(), QString::fromLatin1(m_server->base() + path));
        QCOMPARE(finishOf(2), std::optional<bool>(true));
        // The control of 300 × 200 still asks for 640 × 640, and the path reaches the server as composed.
        QCOMPARE(m_server->requests().last().target, path);
        QCOMPARE(m_map->Refresh(), 3);
    }

    // What each kind of map answer gets: only an HTTP success that is an image of 8000 bytes or
    // more replaces the picture.
    void mapAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("shown");
        QTest::newRow("image of 9000 bytes") << 200 << picture(kOther, 9000) << true;
        QTest::newRow("image of exactly 8000 bytes") << 200 << picture(kOther, 8000) << true;
        QTest::newRow("image of 7999 bytes") << 200 << picture(kOther, 7999) << false;
        QTest::newRow("error status with an image") << 403 << picture(kOther, 9000) << false;
        QTest::newRow("server error") << 500 << picture(kOther, 9000) << false;
        QTest::newRow("not an image") << 200 << QByteArray(9000, 'x') << false;
        QTest::newRow("empty") << 200 << QByteArray() << false;
    }

    void mapAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, shown);
        QVERIFY(picture(kOther, 7999).size() == 7999); // the padding gives exact sizes
        m_map->setGZoom(16);
        QCOMPARE(finishOf(1), std::optional<bool>(true));
        QVERIFY(sameQuadrants(m_map->BackBuf(), kQuadrants));

        m_answer = [=](const HttpResponder::Request&) { return image(body, status); };
        m_map->setGZoom(15);
        QCOMPARE(finishOf(2), std::optional<bool>(shown));
        QCOMPARE(sameQuadrants(m_map->BackBuf(), kOther), shown);
        QCOMPARE(sameQuadrants(m_map->BackBuf(), kQuadrants), !shown);
    }

    void onlyTheLatestAnswerIsShown()
    {
        // The first request is answered late with the old picture, the second at once.
        m_answer = [](const HttpResponder::Request& r) {
            if (r.target.contains("zoom=15"))
                return image(picture(kOther), 200, 500);
            return image(picture(kQuadrants));
        };
        QSignalSpy firstSent(m_server.get(), &HttpResponder::requestReceived);
        m_map->setGZoom(15);
        QVERIFY(firstSent.wait(5000)); // the first request is on its way before the second starts
        m_map->setGZoom(16);
        QCOMPARE(finishOf(2), std::optional<bool>(true));
        QSignalSpy answered(m_server.get(), &HttpResponder::answered);
        while (!std::any_of(answered.begin(), answered.end(), [](const QList<QVariant>& a) { return a[0] == 0; }))
            QVERIFY(answered.wait(5000));
        QSignalSpy changed(m_map.get(), &ucGMap::mapPictureChanged);
        QVERIFY(!changed.wait(300));
        QVERIFY(sameQuadrants(m_map->BackBuf(), kQuadrants));
    }

    // Each change of centre, zoom or map type starts exactly one request; a resize starts none.
    void requestsPerChange_data()
    {
        QTest::addColumn<QString>("changes"); // applied one after the other
        QTest::addColumn<int>("requests");
        // Every row starts from zoom 12, centre 10,10, map type 2.
        QTest::newRow("zoom 16") << "zoom 16" << 1;
        QTest::newRow("same zoom") << "zoom 12" << 0;
        QTest::newRow("zoom 25 stores 20, 30 is still 20") << "zoom 25; zoom 30" << 1;
        QTest::newRow("zoom -3 stores 0, -1 is still 0") << "zoom -3; zoom -1" << 1;
        QTest::newRow("three zooms") << "zoom 13; zoom 14; zoom 13" << 3;
        QTest::newRow("centre") << "centre 48.1,11.5" << 1;
        QTest::newRow("same centre") << "centre 10,10" << 0;
        QTest::newRow("centre set twice") << "centre 48.1,11.5; centre 48.1,11.5" << 1;
        QTest::newRow("centre without comma, twice") << "centre 48.1; centre 48.1" << 0;
        QTest::newRow("centre with two commas") << "centre 1,2,3" << 0;
        QTest::newRow("centre abc,def") << "centre abc,def" << 1;
        QTest::newRow("empty centre") << "centre " << 0;
        QTest::newRow("same map type") << "type 2" << 1;
        QTest::newRow("map type 7 stores 3, twice") << "type 7; type 7" << 2;
        QTest::newRow("resize") << "resize 800x600; resize 10x10; resize 0x0" << 0;
        QTest::newRow("markers") << "marker; delmarkers" << 0;
    }

    void requestsPerChange()
    {
        QFETCH(QString, changes);
        QFETCH(int, requests);
        m_map->setGZoom(12);
        m_map->setGPoint(QStringLiteral("10,10"));
        m_map->setMapType(2);
        const int counted = m_map->GRequestCounter();
        QVERIFY(finishOf(counted).has_value());
        const int seen = mapRequestsSeen();

        for (const QString& change : changes.split(QStringLiteral("; "))) {
            const int before = m_map->GRequestCounter();
            const QString arg = change.section(QLatin1Char(' '), 1);
            if (change.startsWith(QLatin1String("zoom")))
                m_map->setGZoom(arg.toInt());
            else if (change.startsWith(QLatin1String("centre")))
                m_map->setGPoint(arg);
            else if (change.startsWith(QLatin1String("type")))
                m_map->setMapType(arg.toInt());
            else if (change.startsWith(QLatin1String("resize")))
                m_map->resize(arg.section(QLatin1Char('x'), 0, 0).toInt(), arg.section(QLatin1Char('x'), 1).toInt());
            else if (change == QLatin1String("marker"))
                m_map->AddMarker(QStringLiteral("1,2"), 0, QStringLiteral("E"));
            else if (change == QLatin1String("delmarkers"))
                m_map->DelMarker();
            // Each request is answered before the next change, so that every one reaches the server.
            if (m_map->GRequestCounter() > before)
                QVERIFY(finishOf(m_map->GRequestCounter()).has_value());
        }
        QCOMPARE(m_map->GRequestCounter(), counted + requests);
        if (requests == 0)
            QVERIFY(!QSignalSpy(m_server.get(), &HttpResponder::requestReceived).wait(200));
        QCOMPARE(mapRequestsSeen(), seen + requests);
    }

    void noRequestOnceEnding()
    {
        m_map->setGZoom(16);
        QVERIFY(finishOf(1).has_value());
        m_ctx->beginEnding();
        QCOMPARE(m_map->Refresh(), 0);
        m_map->setGZoom(12);
        m_map->setMapType(1);
        QCOMPARE(m_map->GZoom(), 12);
        QCOMPARE(m_map->GRequestCounter(), 1);
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.first().first().toBool(), false);
        QCOMPARE(m_server->requests().size(), 1);
    }

    void noServiceNoTraffic()
    {
        // Without map.ini the default host is the public service, and without a key it refuses
        // everything; nothing is sent. The responder stands in as proxy to catch any attempt.
        QFile::remove(m_data->filePath(QStringLiteral("map.ini")));
        m_ctx->settings.UseProxy = 1;
        m_ctx->settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_ctx->settings.ProxyPort = static_cast<qint16>(m_server->port());
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->setGZoom(16);
        QCOMPARE(m_map->GRequestCounter(), 1);
        QVERIFY(m_map->GLastRequestUrl().startsWith(QLatin1String("https://maps.googleapis.com/maps/api/staticmap?")));
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.first().first().toBool(), false);
        QVERIFY(!QSignalSpy(m_server.get(), &HttpResponder::requestReceived).wait(300));
        QVERIFY(m_server->requests().isEmpty());

        ucGMap loose; // no context at all: counts and composes, sends nothing
        QCOMPARE(loose.Refresh(), 1);
    }

    void proxy_data()
    {
        QTest::addColumn<int>("useProxy");
        QTest::addColumn<int>("auth");
        QTest::newRow("direct") << 0 << 0;
        QTest::newRow("through the proxy") << 1 << 0;
        QTest::newRow("through the proxy with login") << 1 << 1;
    }

    void proxy()
    {
        QFETCH(int, useProxy);
        QFETCH(int, auth);
        // The map host is a port where nothing listens: only the proxy can answer.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray host = "http://127.0.0.1:" + QByteArray::number(closed.serverPort());
        closed.close();
        if (useProxy == 1)
            writeMapIni("host=" + host + "\r\nkey=testkey\r\n");
        m_ctx->settings.UseProxy = static_cast<qint16>(useProxy);
        m_ctx->settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_ctx->settings.ProxyPort = static_cast<qint16>(m_server->port());
        m_ctx->settings.ProxyAuthRequired = static_cast<qint16>(auth);
        m_ctx->settings.ProxyLogin = QStringLiteral("wache");
        m_ctx->settings.ProxyPassword = QStringLiteral("geheim");
        const QByteArray credentials = "Basic " + QByteArray("wache:geheim").toBase64();
        m_answer = [auth, credentials](const HttpResponder::Request& r) {
            if (auth == 1 && r.header("proxy-authorization") != credentials)
                return proxyChallenge();
            if (r.target.contains("/geocode/"))
                return xml(geocodeAnswer("48.2", "11.6"));
            return image(picture(kOther));
        };

        m_map->setGZoom(16);
        QCOMPARE(finishOf(1), std::optional<bool>(true));
        QVERIFY(sameQuadrants(m_map->BackBuf(), kOther));
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Markt 1"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.first().first().toBool(), true);
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.2,11.6"));

        const HttpResponder::Request& lastMap = m_server->requests().at(m_server->requests().size() - 2);
        const HttpResponder::Request& lastLookup = m_server->requests().last();
        if (useProxy == 1) {
            // A proxy is asked for the whole URL.
            QVERIFY(lastMap.target.startsWith(host + "/maps/api/staticmap?"));
            QVERIFY(lastLookup.target.startsWith(host + "/maps/api/geocode/xml?"));
        } else {
            QVERIFY(lastMap.target.startsWith("/maps/api/staticmap?"));
        }
        QCOMPARE(lastMap.header("proxy-authorization"), auth == 1 ? credentials : QByteArray());
        QCOMPARE(lastLookup.header("proxy-authorization"), auth == 1 ? credentials : QByteArray());
    }

    void lookupMovesTheCentre()
    {
        m_map->setGZoom(16);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        QVERIFY(finishOf(2).has_value());
        m_answer = [](const HttpResponder::Request& r) {
            if (r.target.contains("/geocode/"))
                return xml(geocodeAnswer("48.1372", "11.5755"));
            return image(picture(kOther));
        };
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5, München"));
        // The call returns before the answer: nothing has moved yet.
        QCOMPARE(lookup.count(), 0);
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.1,11.5"));
        const QString lookupUrl = QString::fromLatin1(m_server->base())
            + QStringLiteral(
                "/maps/api/geocode/xml?&sensor=false&address=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&key=testkey");
        QCOMPARE(m_map->GLastRequestUrl(), lookupUrl);

        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), true);
        QCOMPARE(m_map->GGeoResult(), QStringLiteral("48.1372,11.5755"));
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.1372,11.5755"));
        QCOMPARE(m_map->Lat(), static_cast<double>(48.1372f));
        QCOMPARE(m_map->Lng(), static_cast<double>(11.5755f));
        QCOMPARE(m_server->requests().last().target, lookupUrl.mid(m_server->base().size()).toLatin1());
        // The new centre asked for its map at once.
        QCOMPARE(m_map->GRequestCounter(), 3);
        QCOMPARE(finishOf(3), std::optional<bool>(true));
        QVERIFY(m_server->requests().last().target.contains("center=48.1372,11.5755&"));
    }

    // What each kind of failed lookup gets: the centre stays, GGeoResult is empty, no map request,
    // and the host hears "not found". The earlier lookup's result is never reused.
    void failedLookup_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("silent server gives up") << "silent";
        QTest::newRow("server error") << "500";
        QTest::newRow("nothing found") << "zero";
        QTest::newRow("request refused") << "denied";
        QTest::newRow("not XML") << "garbage";
        QTest::newRow("nobody listens") << "refused";
        QTest::newRow("empty address") << "empty";
    }

    void failedLookup()
    {
        QFETCH(QString, failure);
        m_map->setLookupTimeoutMs(400); // the program's limit is 10 s; the test need not wait that long
        m_answer = [](const HttpResponder::Request& r) {
            if (r.target.contains("/geocode/"))
                return xml(geocodeAnswer("50.5", "9.5"));
            return image(picture(kOther));
        };
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Am Anger 1"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(m_map->GPoint(), QStringLiteral("50.5,9.5"));
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        const int counter = m_map->GRequestCounter();

        m_answer = [failure](const HttpResponder::Request&) {
            if (failure == QLatin1String("silent"))
                return silence();
            if (failure == QLatin1String("500"))
                return xml(geocodeAnswer("1", "2"), 500);
            if (failure == QLatin1String("zero"))
                return xml("<GeocodeResponse>\n <status>ZERO_RESULTS</status>\n</GeocodeResponse>\n");
            if (failure == QLatin1String("denied"))
                return xml("<GeocodeResponse><status>REQUEST_DENIED</status><error_message>"
                           "The provided API key is invalid.</error_message></GeocodeResponse>");
            return xml("\x01\xff<lat>");
        };
        if (failure == QLatin1String("refused")) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            writeMapIni("host=http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "\r\nkey=k\r\n");
        }
        lookup.clear();
        m_map->SetCenterToTextLocation(
            failure == QLatin1String("empty") ? QStringLiteral("  ") : QStringLiteral("Nirgendwo 0"));
        QCOMPARE(lookup.count(), 0);
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), false);
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.1,11.5"));
        QCOMPARE(m_map->Lat(), static_cast<double>(48.1f));
        QCOMPARE(m_map->GGeoResult(), QString());
        QCOMPARE(m_map->GRequestCounter(), counter);
    }

    void staleLookupAnswersAreDropped()
    {
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        m_answer = [](const HttpResponder::Request& r) {
            if (r.target.contains("address=Alt"))
                return xml(geocodeAnswer("1.5", "2.5"), 200, 300);
            if (r.target.contains("address=Neu"))
                return xml(geocodeAnswer("3.5", "4.5"));
            return image(picture(kOther));
        };
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        QSignalSpy received(m_server.get(), &HttpResponder::requestReceived);

        // A centre set while the lookup runs wins; the late answer changes nothing.
        m_map->SetCenterToTextLocation(QStringLiteral("Alt 1"));
        QVERIFY(received.wait(5000));
        m_map->setGPoint(QStringLiteral("50,10"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.takeFirst().first().toBool(), false);
        QCOMPARE(m_map->GPoint(), QStringLiteral("50,10"));
        QCOMPARE(m_map->GGeoResult(), QString());

        // A newer lookup replaces the running one, which then reports nothing.
        received.clear();
        m_map->SetCenterToTextLocation(QStringLiteral("Alt 2"));
        QVERIFY(received.wait(5000));
        m_map->SetCenterToTextLocation(QStringLiteral("Neu 3"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), true);
        QCOMPARE(m_map->GPoint(), QStringLiteral("3.5,4.5"));
        QVERIFY(!lookup.wait(600)); // well past the old answer's delay
        QCOMPARE(m_map->GPoint(), QStringLiteral("3.5,4.5"));
        QCOMPARE(lookup.count(), 1);
    }

    // The program's own limit, against a server that never answers.
    void lookupGivesUpAfterTenSeconds()
    {
        QCOMPARE(m_map->lookupTimeoutMs(), 10000);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        m_answer = [](const HttpResponder::Request&) { return silence(); };
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        QSignalSpy received(m_server.get(), &HttpResponder::requestReceived);
        m_map->SetCenterToTextLocation(QStringLiteral("Stille 1"));
        QVERIFY(received.wait(5000));
        QVERIFY(lookup.wait(30000));
        QCOMPARE(lookup.first().first().toBool(), false);
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.1,11.5"));
    }

    void stretchedPainting_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("squeezed 300 x 200") << QSize(300, 200);
        QTest::newRow("800 x 600") << QSize(800, 600);
        QTest::newRow("tall 200 x 700") << QSize(200, 700);
        QTest::newRow("full screen 1920 x 1080") << QSize(1920, 1080);
    }

    void stretchedPainting()
    {
        QFETCH(QSize, size);
        m_map->resize(size);
        const QImage blank = m_map->grab().toImage();
        QCOMPARE(blank.pixelColor(size.width() / 2, size.height() / 2), QColor(Qt::white));
        QVERIFY(m_map->LoadMapPicture(picture(kQuadrants)));
        const QImage shot = m_map->grab().toImage();
        QCOMPARE(shot.size(), size);
        // The whole control is the image: quadrant colours right up to the corners, the seam in the middle.
        QVERIFY(sameQuadrants(shot, kQuadrants));
        QCOMPARE(shot.pixelColor(0, 0), kQuadrants[0]);
        QCOMPARE(shot.pixelColor(size.width() - 1, 0), kQuadrants[1]);
        QCOMPARE(shot.pixelColor(0, size.height() - 1), kQuadrants[2]);
        QCOMPARE(shot.pixelColor(size.width() - 1, size.height() - 1), kQuadrants[3]);
        QCOMPARE(shot.pixelColor(size.width() / 2 - 3, size.height() / 2 - 3), kQuadrants[0]);
        QCOMPARE(shot.pixelColor(size.width() / 2 + 3, size.height() / 2 + 3), kQuadrants[3]);
        // Where the image is enlarged, smooth scaling blends across the seam instead of a hard step.
        const auto blendsAcross = [&shot](QPoint from, QPoint step, const QColor& a, const QColor& b) {
            for (int i = 0; i < 9; ++i) {
                const QColor c = shot.pixelColor(from + step * i);
                if (c != a && c != b)
                    return true;
            }
            return false;
        };
        const int w = size.width();
        const int h = size.height();
        if (w > 640)
            QVERIFY(blendsAcross(QPoint(w / 2 - 4, h / 4), QPoint(1, 0), kQuadrants[0], kQuadrants[1]));
        if (h > 640)
            QVERIFY(blendsAcross(QPoint(w / 4, h / 2 - 4), QPoint(0, 1), kQuadrants[0], kQuadrants[2]));
    }

    void smallOrBrokenPictureIsRefused()
    {
        QVERIFY(!m_map->LoadMapPicture(QByteArray(100, 'x')));
        QVERIFY(!m_map->LoadMapPicture(picture(kOther, 100).left(7999)));
        QVERIFY(!m_map->LoadMapPicture(QByteArray(9000, '\xff')));
        QCOMPARE(m_map->BackBuf().pixelColor(10, 10), QColor(Qt::white));
        // An image of another size fills BackBuf all the same.
        QImage small(64, 64, QImage::Format_RGB32);
        small.fill(Qt::blue);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        small.save(&buffer, "BMP");
        QVERIFY(bytes.size() >= 8000);
        QVERIFY(m_map->LoadMapPicture(bytes));
        QCOMPARE(m_map->BackBuf().size(), QSize(640, 640));
        QCOMPARE(m_map->BackBuf().pixelColor(639, 639), QColor(Qt::blue));
    }

    void resizeRepaintsWithoutRequest()
    {
        m_map->setGZoom(16);
        QCOMPARE(finishOf(1), std::optional<bool>(true));
        m_map->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_map.get()));
        int paints = 0;
        struct PaintCounter : QObject {
            int* count;
            explicit PaintCounter(int* c)
                : count(c)
            {
            }
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Paint)
                    ++*count;
                return false;
            }
        } counter(&paints);
        m_map->installEventFilter(&counter);
        m_map->resize(700, 500);
        QTRY_VERIFY_WITH_TIMEOUT(paints > 0, 5000);
        m_map->removeEventFilter(&counter);
        const QImage shot = m_map->grab().toImage();
        QCOMPARE(shot.size(), QSize(700, 500));
        QVERIFY(sameQuadrants(shot, kQuadrants));
        QCOMPARE(m_map->GRequestCounter(), 1);
        QVERIFY(!QSignalSpy(m_server.get(), &HttpResponder::requestReceived).wait(200));
        QCOMPARE(mapRequestsSeen(), 1);
    }

    void markers()
    {
        m_map->DelMarker(); // nothing to remove
        QVERIFY(m_map->Markers.isEmpty());
        m_map->AddMarker(QStringLiteral("48.1,11.5"), 65280, QStringLiteral("E"));
        m_map->AddMarker(QStringLiteral("1,2"), 0xFF0000, QStringLiteral("Xyz"));
        QCOMPARE(m_map->Markers,
            QStringList({ QStringLiteral("&markers=color:0x00FF00%7Clabel:E%7C48.1,11.5"),
                QStringLiteral("&markers=color:0xFF0000%7Clabel:X%7C1,2") }));
        QCOMPARE(m_map->GRequestCounter(), 0);
        m_map->Refresh();
        QVERIFY(m_map->GLastRequestUrl().endsWith(
            QLatin1String("&maptype=roadmap&markers=color:0x00FF00%7Clabel:E%7C48.1,11.5"
                          "&markers=color:0xFF0000%7Clabel:X%7C1,2&key=testkey")));
        m_map->DelMarker();
        QVERIFY(m_map->Markers.isEmpty());
        m_map->Refresh();
        QVERIFY(m_map->GLastRequestUrl().endsWith(QLatin1String("&maptype=roadmap&key=testkey")));
    }

    void cancelDownload()
    {
        // The answer would come after 300 ms and be shown; the cancelled read never shows it.
        m_answer = [](const HttpResponder::Request&) { return image(picture(kOther), 200, 300); };
        QSignalSpy received(m_server.get(), &HttpResponder::requestReceived);
        m_map->setGZoom(16);
        QVERIFY(received.wait(5000));
        QSignalSpy finished(m_map.get(), &ucGMap::mapRequestFinished);
        m_map->Cancel_Dwonload(QStringLiteral("C=2")); // no such read
        m_map->Cancel_Dwonload(QStringLiteral("nonsense"));
        m_map->Cancel_Dwonload(QStringLiteral("C=1"));
        QSignalSpy answered(m_server.get(), &HttpResponder::answered);
        QVERIFY(answered.wait(5000));
        QVERIFY(!finished.wait(300));
        QCOMPARE(m_map->BackBuf().pixelColor(10, 10), QColor(Qt::white));
        QCOMPARE(m_map->GRequestCounter(), 1);
    }

    // The mouse on an 800 × 600 control at zoom 16, centre 48.1,11.5.
    void mouse_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("events"); // the events raised, with their texts
        QTest::addColumn<QString>("centre");
        QTest::addColumn<int>("requests");
        QTest::newRow("move") << "move 600,150"
                              << "MouseMove 48.10229,11.50344"
                              << "48.1,11.5" << 0;
        QTest::newRow("drag right") << "move 400,300; press L 400,300; release L 480,300"
                                    << "MouseMove 48.09999,11.5; MouseUp 48.09999,11.5"
                                    << "48.09999,11.49863" << 1;
        QTest::newRow("drag down moves north") << "press L 400,300; release L 400,375"
                                               << "MouseUp "
                                               << "48.10114,11.5" << 1;
        QTest::newRow("click without movement") << "press L 400,300; release L 400,300"
                                                << "MouseUp "
                                                << "48.09999,11.5" << 1;
        QTest::newRow("right button") << "move 600,150; press R 600,150; release R 700,150"
                                      << "MouseMove 48.10229,11.50344; MouseUp 48.10229,11.50344"
                                      << "48.1,11.5" << 0;
        QTest::newRow("release before any move") << "release L 10,10"
                                                 << "MouseUp "
                                                 << "48.1,11.5" << 0;
        QTest::newRow("double-click before any move") << "dblclick 10,10"
                                                      << "DblClick "
                                                      << "48.1,11.5" << 0;
        QTest::newRow("double-click after a move") << "move 600,150; dblclick 600,150"
                                                   << "MouseMove 48.10229,11.50344; DblClick 48.10229,11.50344"
                                                   << "48.1,11.5" << 0;
    }

    void mouse()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, events);
        QFETCH(QString, centre);
        QFETCH(int, requests);
        // Each row's window stands somewhere else, so that no move is taken for a repeat of the
        // previous row's last pointer position.
        static int row = 0;
        m_map->setGeometry(20 + 7 * row, 20 + 3 * row, 800, 600);
        ++row;
        m_map->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_map.get()));
        m_map->setGZoom(16);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        const int counter = m_map->GRequestCounter();

        QStringList raised;
        connect(m_map.get(), &ucGMap::MouseMove, this, [&](const QString& t) { raised << "MouseMove " + t; });
        connect(m_map.get(), &ucGMap::MouseUp, this, [&](const QString& t) { raised << "MouseUp " + t; });
        connect(m_map.get(), &ucGMap::DblClick, this, [&](const QString& t) { raised << "DblClick " + t; });

        for (const QString& step : gesture.split(QStringLiteral("; "))) {
            const QStringList parts = step.split(QLatin1Char(' '));
            const QStringList xy = parts.last().split(QLatin1Char(','));
            const QPoint at(xy[0].toInt(), xy[1].toInt());
            const Qt::MouseButton button = parts.value(1) == QLatin1String("R") ? Qt::RightButton : Qt::LeftButton;
            if (parts[0] == QLatin1String("move"))
                QTest::mouseMove(m_map.get(), at);
            else if (parts[0] == QLatin1String("press"))
                QTest::mousePress(m_map.get(), button, {}, at);
            else if (parts[0] == QLatin1String("release"))
                QTest::mouseRelease(m_map.get(), button, {}, at);
            else if (parts[0] == QLatin1String("dblclick"))
                sendDoubleClick(at);
        }
        disconnect(m_map.get(), nullptr, this, nullptr);
        QCOMPARE(raised.join(QStringLiteral("; ")), events);
        QCOMPARE(m_map->GPoint(), centre);
        QCOMPARE(m_map->GRequestCounter(), counter + requests);
    }

private:
    // The second press of a double-click arrives as a double-click event alone.
    void sendDoubleClick(QPoint at)
    {
        QMouseEvent event(
            QEvent::MouseButtonDblClick, at, m_map->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_map.get(), &event);
    }
};

QTEST_MAIN(ucGMapTest)
#include "tst_ucGMap.moc"
