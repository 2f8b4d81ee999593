#include "MapFixture.h"

#include "map/MapClient.h"

#include <QPainter>

namespace {

constexpr qint64 kImageCap = MapClient::MaximumImageBytes;
constexpr qint64 kLookupCap = MapClient::MaximumLookupBytes;

// A 640 × 640 PNG, left half `left`, right half `right`, padded after its end with zero bytes to
// `size` (decoders stop at the image's end, so the padding only changes the byte count).
Response picture(const QColor& left, const QColor& right, qint64 size = 9000)
{
    QImage image(640, 640, QImage::Format_RGB32);
    image.fill(left);
    QPainter(&image).fillRect(320, 0, 320, 640, right);
    Response r = png(image);
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

} // namespace

class ucGMapTest : public QObject, MapFixture {
    Q_OBJECT

    void useHost(const QByteArray& host)
    {
        writeMapIni("# the local map service\r\nhost=" + host + "/\r\nkey=testkey\r\n");
    }

    void useProxy(bool login)
    {
        m_ctx.settings.UseProxy = 1;
        m_ctx.settings.ProxyServer = QStringLiteral("127.0.0.1");
        m_ctx.settings.ProxyPort = static_cast<qint16>(m_server->port());
        m_ctx.settings.ProxyAuthRequired = login ? 1 : 0;
        m_ctx.settings.ProxyLogin = QStringLiteral("wache");
        m_ctx.settings.ProxyPassword = QStringLiteral("geheim");
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

    void send(QEvent::Type type, Qt::MouseButton button, QPoint at)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, at, m_map->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&*m_map, &event);
    }

private slots:
    void init()
    {
        m_map.reset(); // the one of the test before
        m_ctx.settings = {};
        startServer([](const HttpResponder::Request&) { return picture(Qt::green, Qt::green); });
        useHost(m_server->base());
        m_map.emplace();
        m_map->setContext(&m_ctx);
        m_map->resize(300, 200);
    }

    // The texts that reach the service, directly or through the proxy of the settings.
    void requestTexts_data()
    {
        QTest::addColumn<bool>("proxy");
        QTest::addColumn<bool>("login");
        row("direct", false, false);
        row("through the proxy", true, false);
        row("through the proxy with login", true, true);
    }

    void requestTexts()
    {
        QFETCH(bool, proxy);
        QFETCH(bool, login);
        QTcpServer closed; // through the proxy the map host is a port where nothing listens
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray host = proxy ? "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) : "";
        closed.close();
        if (proxy) {
            useHost(host);
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
        QSignalSpy lookup(&*m_map, &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Hauptstraße 5, München"));
        QVERIFY(lookup.wait(5000));
        QCOMPARE(m_server->requests().last().target,
            host + "/maps/api/geocode/xml?&sensor=false&address=Hauptstra%C3%9Fe%205,%20M%C3%BCnchen&key=testkey");
        QCOMPARE(m_map->GGeoResult(), QStringLiteral("48.1372,11.5755"));
    }

    // What each kind of answer gets. A map image is shown only when it is an HTTP success of 8000
    // bytes up to the cap; a lookup answer is taken only when it holds a location and stays within
    // its cap, however fast it comes and whether or not it states its length. A lookup that finds
    // nothing leaves the centre, empties GGeoResult (an earlier result is never reused) and starts
    // no map request; no request goes out without a usable map service.
    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("length"); // "none": ends with the connection; "announced": past
        QTest::addColumn<bool>("taken"); //     the image cap, the body held back
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
        QFETCH(QString, answer);
        QFETCH(qint64, size);
        QFETCH(QString, length);
        QFETCH(bool, taken);
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
        QSignalSpy lookup(&*m_map, &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Am Anger 1"));
        QVERIFY(lookup.wait(5000));
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        lookup.clear();
        if (is("none")) { // the public service without a key; the proxy would see any request
            QFile::remove(m_data.filePath(QStringLiteral("map.ini")));
            useProxy(false);
        }
        const int counter = m_map->GRequestCounter();
        m_map->setLookupTimeoutMs(400);
        m_map->SetCenterToTextLocation(is("empty") ? QStringLiteral(" ") : QStringLiteral("Ort"));
        QVERIFY(lookup.wait(20000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), taken);
        QCOMPARE(m_map->GPoint(), taken ? QStringLiteral("48.1372,11.5755") : QStringLiteral("48.1,11.5"));
        QCOMPARE(m_map->GGeoResult(), taken ? m_map->GPoint() : QString());
        QCOMPARE(m_map->GRequestCounter(), counter + (taken ? 1 : 0));
        for (const HttpResponder::Request& r : m_server->requests()) // a lookup sent would be seen by now
            QVERIFY(!r.target.contains("googleapis"));
    }

    // What the operator and the host do while a lookup runs, on an 800 × 600 control at zoom 16,
    // centre 48.1,11.5. Steps: M move, L/R press then release of that button, D double-click at
    // x y; C the host's centre; A a newer lookup. The mouse reports the coordinate under the
    // pointer and drags the map; the answer of the latest lookup then sets the centre whatever the
    // operator did, and is dropped only when the host set a centre for a newer alarm or a newer
    // lookup overtook it.
    void duringLookup_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("events"); // the events raised, with their texts
        QTest::addColumn<QString>("meanwhile"); // the centre after the steps
        QTest::addColumn<QString>("centre"); // after the answer; the answer is dropped when it is the centre before
        const QString moved = QStringLiteral("MouseMove 48.10229,11.50344");
        row("move, drag right and down moves west and north", "M 600 150; L 400 300; L 480 375",
            moved + "; MouseUp 48.10229,11.50344", "48.10114,11.49863", "1.5,2.5");
        row("click without movement", "L 400 300; L 400 300", "MouseUp ", "48.09999,11.5", "1.5,2.5");
        row("right button, double-click", "M 600 150; R 600 150; R 700 150; D 600 150",
            moved + "; MouseUp 48.10229,11.50344; DblClick 48.10229,11.50344", "48.1,11.5", "1.5,2.5");
        row("host sets a newer centre", "C 50,10", "", "50,10", "50,10");
        row("newer lookup, older answer first", "A Neu", "", "48.1,11.5", "3.5,4.5");
    }

    void duringLookup()
    {
        QFETCH(QString, steps);
        QFETCH(QString, events);
        QFETCH(QString, meanwhile);
        QFETCH(QString, centre);
        m_answer = [](const HttpResponder::Request& r) {
            if (!r.target.contains("/geocode/"))
                return picture(Qt::green, Qt::green);
            Response held = r.target.contains("address=Alt") ? geocode("1.5", "2.5") : geocode("3.5", "4.5");
            held.held = true;
            return held;
        };
        m_map->resize(800, 600);
        m_map->setGZoom(16);
        m_map->setGPoint(QStringLiteral("48.1,11.5"));
        QSignalSpy lookup(&*m_map, &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(QStringLiteral("Alt 1"));
        const int older = m_server->waitForRequest("address=Alt");
        QVERIFY(older >= 0);
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
            if (what == u'C')
                m_map->setGPoint(step.mid(2));
            else if (what == u'A')
                m_map->SetCenterToTextLocation(step.mid(2));
            else if (what == u'M' || what == u'D')
                send(what == u'M' ? QEvent::MouseMove : QEvent::MouseButtonDblClick, Qt::NoButton, at);
            else
                send((pressed = !pressed) ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
                    what == u'R' ? Qt::RightButton : Qt::LeftButton, at);
        }
        disconnect(&*m_map, nullptr, this, nullptr);
        QCOMPARE(raised.join(QStringLiteral("; ")), events);
        QCOMPARE(m_map->GPoint(), meanwhile);
        // Every change of the view asks for one map; the right button and the double-click move nothing.
        QCOMPARE(m_map->GRequestCounter() - counter, int(meanwhile != QLatin1String("48.1,11.5")));
        const int newer = steps.startsWith(u'A') ? m_server->waitForRequest("address=Neu") : -1;
        m_server->release(older);
        if (newer >= 0) {
            // A map read answered after the older answer was sent: had that answer been taken, it
            // would have been handled by now.
            QVERIFY(finishOf(m_map->Refresh()).has_value());
            m_server->release(newer);
        }
        QVERIFY(lookup.wait(5000));
        QCOMPARE(lookup.count(), 1);
        QCOMPARE(lookup.first().first().toBool(), centre != meanwhile);
        QCOMPARE(m_map->GPoint(), centre);
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
        QSignalSpy lookup(&*m_map, &ucGMap::locationLookupFinished); // answered after the older map
        m_map->SetCenterToTextLocation(QStringLiteral("Ort"));
        QVERIFY(lookup.wait(5000));
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
        int blended = 0;
        for (int x = 950; x < 970; ++x)
            blended += shot.pixelColor(x, 540) != QColor(Qt::red) && shot.pixelColor(x, 540) != QColor(Qt::blue);
        QVERIFY(blended > 0);
        QCOMPARE(m_map->GRequestCounter(), 0); // a resize asks for nothing
    }
};

QTEST_MAIN(ucGMapTest)
#include "tst_ucGMap.moc"
