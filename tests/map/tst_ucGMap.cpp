#include "tests/support/HttpResponder.h"

#include "common/AppContext.h"
#include "map/MapClient.h"
#include "map/ucGMap.h"

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Response = HttpResponder::Response;
constexpr qint64 kImageCap = MapClient::MaximumImageBytes;
constexpr qint64 kLookupCap = MapClient::MaximumLookupBytes;

// A 640 × 640 PNG, left half `left`, right half `right`, padded after its end with zero bytes to
// `size` (decoders stop at the image's end, so the padding only changes the byte count).
QByteArray picture(const QColor& left, const QColor& right, qsizetype size = 9000)
{
    QImage image(640, 640, QImage::Format_RGB32);
    image.fill(left);
    for (int y = 0; y < 640; ++y) {
        for (int x = 320; x < 640; ++x)
            image.setPixelColor(x, y, right);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    bytes.append(qMax<qsizetype>(0, size - bytes.size()), '\0');
    return bytes;
}

// The service's answer for one match, padded with blanks after its end to `size` bytes.
Response geocode(const QByteArray& lat, const QByteArray& lng, qsizetype size = 0)
{
    Response r;
    r.contentType = "text/xml";
    r.body = "<GeocodeResponse>\n <status>OK</status>\n <result><geometry>\n  <location>\n   <lat>" + lat
        + "</lat>\n   <lng>" + lng + "</lng>\n  </location>\n  <location_type>ROOFTOP</location_type>\n"
        + " </geometry></result>\n</GeocodeResponse>\n";
    r.body.append(qMax<qsizetype>(0, size - r.body.size()), ' ');
    return r;
}

Response image(const QByteArray& body, int status = 200)
{
    Response r;
    r.status = status;
    r.body = body;
    return r;
}

// How an answer states its size: "exact" Content-Length, "none" (ends with the connection), or
// "announced" past the image cap while the body is held back.
Response sized(Response r, const QString& length)
{
    r.sendLength = length != QLatin1String("none");
    if (length == QLatin1String("announced")) {
        r.announcedLength = kImageCap + 1;
        r.keepOpen = true;
    }
    return r;
}

} // namespace

class ucGMapTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<HttpResponder> m_server;
    std::unique_ptr<ucGMap> m_map;
    HttpResponder::Handler m_answer;

    void writeMapIni(const QByteArray& host)
    {
        QFile file(m_data->filePath(QStringLiteral("map.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("host=" + host + "\r\nkey=testkey\r\n");
    }

    // Waits for map request `number` to end; true when its image was shown.
    std::optional<bool> finishOf(int number)
    {
        QSignalSpy spy(m_map.get(), &ucGMap::mapRequestFinished);
        while (spy.isEmpty() || spy.last().at(0).toInt() != number) {
            if (!spy.wait(20000))
                return std::nullopt;
        }
        return spy.last().at(1).toBool();
    }

    // The index of the first request whose target contains `part`, once it has arrived.
    int requestWith(const QByteArray& part)
    {
        QSignalSpy received(m_server.get(), &HttpResponder::requestReceived);
        for (;;) {
            for (int i = 0; i < m_server->requests().size(); ++i) {
                if (m_server->requests().at(i).target.contains(part))
                    return i;
            }
            if (!received.wait(5000))
                return -1;
        }
    }

    void send(QEvent::Type type, Qt::MouseButton button, QPoint at)
    {
        QMouseEvent event(type, at, m_map->mapToGlobal(at), button,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QApplication::sendEvent(m_map.get(), &event);
    }

private slots:
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        m_ctx = std::make_unique<AppContext>();
        m_ctx->DataFolder = m_data->path();
        m_answer = [](const HttpResponder::Request&) { return image(picture(Qt::green, Qt::green)); };
        m_server = std::make_unique<HttpResponder>([this](const HttpResponder::Request& r) { return m_answer(r); });
        QVERIFY(m_server->isListening());
        writeMapIni(m_server->base());
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

    // The texts that reach the service, directly or through the proxy of the settings.
    void requestTexts_data()
    {
        QTest::addColumn<bool>("proxy");
        QTest::addColumn<bool>("login");
        QTest::newRow("direct") << false << false;
        QTest::newRow("through the proxy") << true << false;
        QTest::newRow("through the proxy with login") << true << true;
    }

    void requestTexts()
    {
        QFETCH(bool, proxy);
        QFETCH(bool, login);
        // Through the proxy the map host is a port where nothing listens: only the proxy can answer.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray host = proxy ? "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) : "";
        closed.close();
        if (proxy)
            writeMapIni(host);
        m_ctx->settings.UseProxy = proxy ? 1 : 0;
        m_ctx->settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_ctx->settings.ProxyPort = static_cast<qint16>(m_server->port());
        m_ctx->settings.ProxyAuthRequired = login ? 1 : 0;
        m_ctx->settings.ProxyLogin = QStringLiteral("wache");
        m_ctx->settings.ProxyPassword = QStringLiteral("geheim");
        const QByteArray credentials = login ? "Basic " + QByteArray("wache:geheim").toBase64() : QByteArray();
        m_answer = [credentials](const HttpResponder::Request& r) {
            if (r.header("proxy-authorization") != credentials) {
                Response challenge = image({}, 407);
                challenge.extraHeaders = { { "Proxy-Authenticate", "Basic realm=\"Stadt\"" } };
                return challenge;
            }
            return r.target.contains("/geocode/") ? geocode("48.1372", "11.5755")
                                                  : image(picture(Qt::green, Qt::green));
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

        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5, München"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.first().first().toBool(), true);
        QCOMPARE(m_server->requests().last().target,
            host + "/maps/api/geocode/xml?&sensor=false&address=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&key=testkey");
        QCOMPARE(m_map->GPoint(), QStringLiteral("48.1372,11.5755"));
        QCOMPARE(finishOf(2), std::optional<bool>(true));
        m_map->DelMarker();
        QCOMPARE(m_map->Refresh(), 3);
        QCOMPARE(finishOf(3), std::optional<bool>(true));
        QVERIFY(m_server->requests().last().target.endsWith("center=48.1372,11.5755&zoom=16&size=640x640"
                                                            "&maptype=roadmap&key=testkey"));
    }

    void noServiceNoTraffic()
    {
        // Without map.ini the host is the public service, which refuses requests without a key:
        // nothing is sent. The responder stands in as proxy to catch any attempt.
        QFile::remove(m_data->filePath(QStringLiteral("map.ini")));
        m_ctx->settings.UseProxy = 1;
        m_ctx->settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_ctx->settings.ProxyPort = static_cast<qint16>(m_server->port());
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->setGZoom(16);
        QVERIFY(m_map->GLastRequestUrl().startsWith(QLatin1String("https://maps.googleapis.com/maps/api/staticmap?")));
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.first().first().toBool(), false);
        // A request that does go out is answered; the earlier ones would have arrived before it.
        writeMapIni(m_server->base());
        QCOMPARE(finishOf(m_map->Refresh()), std::optional<bool>(true));
        QCOMPARE(m_server->requests().size(), 1);
    }

    // What each kind of map answer gets: only an HTTP success that is an image of 8000 bytes up to
    // the cap is shown, however fast it comes and whether or not it states its length.
    void mapAnswers_data()
    {
        QTest::addColumn<int>("status"); // 0: a body that is no image
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("length");
        QTest::addColumn<bool>("shown");
        QTest::newRow("image of 8000 bytes") << 200 << qint64(8000) << "exact" << true;
        QTest::newRow("image of 7999 bytes") << 200 << qint64(7999) << "exact" << false;
        QTest::newRow("error status with an image") << 403 << qint64(9000) << "exact" << false;
        QTest::newRow("not an image") << 0 << qint64(9000) << "exact" << false;
        QTest::newRow("image as big as the cap") << 200 << kImageCap << "exact" << true;
        QTest::newRow("one byte over the cap") << 200 << kImageCap + 1 << "exact" << false;
        QTest::newRow("over the cap without a length") << 200 << kImageCap + 1 << "none" << false;
        QTest::newRow("length over the cap, body held back") << 200 << qint64(9000) << "announced" << false;
    }

    void mapAnswers()
    {
        QFETCH(int, status);
        QFETCH(qint64, size);
        QFETCH(QString, length);
        QFETCH(bool, shown);
        const QByteArray body = status == 0 ? QByteArray(size, 'x') : picture(Qt::green, Qt::green, size);
        QCOMPARE(body.size(), size);
        m_answer = [=](const HttpResponder::Request&) { return sized(image(body, status ? status : 200), length); };
        m_map->setGZoom(16);
        QCOMPARE(finishOf(1), std::optional<bool>(shown));
        QCOMPARE(m_map->BackBuf().pixelColor(10, 10), shown ? QColor(Qt::green) : QColor(Qt::white));
    }

    // What each kind of lookup answer gets. Not found leaves the centre, GGeoResult is emptied (an
    // earlier lookup's result is never reused), no map request follows, the host hears "not found".
    void lookupAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("length");
        QTest::addColumn<bool>("found");
        QTest::newRow("found") << "found" << qint64(0) << "exact" << true;
        QTest::newRow("answer as big as the cap") << "found" << kLookupCap << "exact" << true;
        QTest::newRow("one byte over the cap") << "found" << kLookupCap + 1 << "exact" << false;
        QTest::newRow("over the cap without a length") << "found" << kLookupCap + 1 << "none" << false;
        QTest::newRow("server error") << "500" << qint64(0) << "exact" << false;
        QTest::newRow("nothing found") << "zero" << qint64(0) << "exact" << false;
        QTest::newRow("not XML") << "garbage" << qint64(0) << "exact" << false;
        QTest::newRow("silent server, time limit") << "silent" << qint64(0) << "exact" << false;
        QTest::newRow("nobody listens") << "refused" << qint64(0) << "exact" << false;
        QTest::newRow("empty address") << "empty" << qint64(0) << "exact" << false;
    }

    void lookupAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(qint64, size);
        QFETCH(QString, length);
        QFETCH(bool, found);
        m_map->setLookupTimeoutMs(400);
        m_answer = [](const HttpResponder::Request& r) {
            return r.target.contains("/geocode/") ? geocode("50.5", "9.5") : image(picture(Qt::green, Qt::green));
        };
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Am Anger 1"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(m_map->GGeoResult(), QStringLiteral("50.5,9.5"));
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        const int counter = m_map->GRequestCounter();

        m_answer = [=](const HttpResponder::Request&) {
            Response r = geocode("48.1372", "11.5755", size);
            r.status = answer == QLatin1String("500") ? 500 : 200;
            if (answer == QLatin1String("zero"))
                r.body = "<GeocodeResponse>\n <status>ZERO_RESULTS</status>\n</GeocodeResponse>\n";
            else if (answer == QLatin1String("garbage"))
                r.body = "\x01\xff<lat>";
            r.held = answer == QLatin1String("silent");
            return sized(r, length);
        };
        if (answer == QLatin1String("refused")) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            writeMapIni("http://127.0.0.1:" + QByteArray::number(closed.serverPort()));
        }
        lookup.clear();
        m_map->SetCenterToTextLocation(answer == QLatin1String("empty") ? QStringLiteral(" ") : QStringLiteral("Ort"));
        QVERIFY(lookup.wait(20000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), found);
        QCOMPARE(m_map->GPoint(), found ? QStringLiteral("48.1372,11.5755") : QStringLiteral("48.1,11.5"));
        QCOMPARE(m_map->GGeoResult(), found ? m_map->GPoint() : QString());
        QCOMPARE(m_map->GRequestCounter(), counter + (found ? 1 : 0));
    }

    // The answer of the latest lookup sets the centre whatever the operator did meanwhile; it is
    // dropped only when the host set a centre for a newer alarm or a newer lookup overtook it.
    void lookupRaces_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("centre");
        QTest::newRow("operator drags the map") << "drag" << true << "1.5,2.5";
        QTest::newRow("operator zooms") << "zoom" << true << "1.5,2.5";
        QTest::newRow("host sets a newer centre") << "centre" << false << "50,10";
        QTest::newRow("newer lookup, older answer comes first") << "lookup" << true << "3.5,4.5";
    }

    void lookupRaces()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, found);
        QFETCH(QString, centre);
        m_answer = [](const HttpResponder::Request& r) {
            if (!r.target.contains("/geocode/"))
                return image(picture(Qt::green, Qt::green));
            Response held = r.target.contains("address=Alt") ? geocode("1.5", "2.5") : geocode("3.5", "4.5");
            held.held = true;
            return held;
        };
        m_map->resize(800, 600);
        m_map->setGZoom(16);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        QSignalSpy lookup(m_map.get(), &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Alt 1"));
        const int older = requestWith("address=Alt");
        QVERIFY(older >= 0);
        if (meanwhile == QLatin1String("drag")) {
            send(QEvent::MouseButtonPress, Qt::LeftButton, { 400, 300 });
            send(QEvent::MouseButtonRelease, Qt::LeftButton, { 480, 300 });
            QCOMPARE(m_map->GPoint(), QStringLiteral("48.09999,11.49863"));
        } else if (meanwhile == QLatin1String("zoom")) {
            m_map->setGZoom(15);
        } else if (meanwhile == QLatin1String("centre")) {
            m_map->setGPoint(QStringLiteral("50,10"));
        } else {
            m_map->SetCenterToTextLocation(QStringLiteral("Neu 3"));
        }
        const int newer = meanwhile == QLatin1String("lookup") ? requestWith("address=Neu") : -1;
        m_server->release(older);
        if (newer >= 0) {
            // A map read answered after the older answer was sent: had that answer been taken, it
            // would have been handled by now.
            QVERIFY(finishOf(m_map->Refresh()).has_value());
            m_server->release(newer);
        }
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), found);
        QCOMPARE(m_map->GPoint(), centre);
    }

    void smoothScaling()
    {
        // Enlarged over a full screen, the image fills the control and blends across its seam.
        m_map->resize(1920, 1080);
        QVERIFY(m_map->LoadMapPicture(picture(Qt::red, Qt::blue)));
        const QImage shot = m_map->grab().toImage();
        QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(1919, 1079), QColor(Qt::blue));
        int blended = 0;
        for (int x = 950; x < 970; ++x) {
            const QColor c = shot.pixelColor(x, 540);
            blended += c != QColor(Qt::red) && c != QColor(Qt::blue);
        }
        QVERIFY(blended > 0);
        QCOMPARE(m_map->GRequestCounter(), 0); // a resize asks for nothing
    }

    // The mouse on an 800 × 600 control at zoom 16, centre 48.1,11.5.
    void mouse_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("events"); // the events raised, with their texts
        QTest::addColumn<QString>("centre");
        QTest::newRow("move") << "move 600,150"
                              << "MouseMove 48.10229,11.50344"
                              << "48.1,11.5";
        QTest::newRow("drag right moves west") << "move 400,300; press L 400,300; release L 480,300"
                                               << "MouseMove 48.09999,11.5; MouseUp 48.09999,11.5"
                                               << "48.09999,11.49863";
        QTest::newRow("drag down moves north") << "press L 400,300; release L 400,375"
                                               << "MouseUp "
                                               << "48.10114,11.5";
        QTest::newRow("click without movement") << "press L 400,300; release L 400,300"
                                                << "MouseUp "
                                                << "48.09999,11.5";
        QTest::newRow("right button") << "move 600,150; press R 600,150; release R 700,150"
                                      << "MouseMove 48.10229,11.50344; MouseUp 48.10229,11.50344"
                                      << "48.1,11.5";
        QTest::newRow("release without press") << "release L 10,10"
                                               << "MouseUp "
                                               << "48.1,11.5";
        QTest::newRow("double-click after a move") << "move 600,150; dblclick 600,150"
                                                   << "MouseMove 48.10229,11.50344; DblClick 48.10229,11.50344"
                                                   << "48.1,11.5";
    }

    void mouse()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, events);
        QFETCH(QString, centre);
        m_map->resize(800, 600);
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
            const QHash<QString, QEvent::Type> types { { "move", QEvent::MouseMove },
                { "press", QEvent::MouseButtonPress }, { "release", QEvent::MouseButtonRelease },
                { "dblclick", QEvent::MouseButtonDblClick } };
            send(types.value(parts[0]), parts[0] == QLatin1String("move") ? Qt::NoButton : button, at);
        }
        disconnect(m_map.get(), nullptr, this, nullptr);
        QCOMPARE(raised.join(QStringLiteral("; ")), events);
        QCOMPARE(m_map->GPoint(), centre);
        QCOMPARE(m_map->GRequestCounter(), counter + (centre == QLatin1String("48.1,11.5") ? 0 : 1));
    }
};

QTEST_MAIN(ucGMapTest)
#include "tst_ucGMap.moc"
