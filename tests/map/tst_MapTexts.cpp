#include "map/CoordinateText.h"
#include "map/GeocodeXml.h"
#include "map/MapMarker.h"
#include "map/MapProjection.h"
#include "map/MapUrls.h"
#include "map/MapViewState.h"

#include <QLocale>
#include <QTest>

namespace {

template <typename... Values> void row(const char* name, const Values&... values)
{
    (QTest::newRow(name) << ... << values);
}

} // namespace

// What the map computes and writes without the network: pixels and degrees, centre and coordinate
// texts, the requests' texts and what is read from an answer.
class MapTextsTest : public QObject {
    Q_OBJECT

private slots:
    // The numbers the map has always produced: a changed constant, a rounding that is not half to
    // even or a double where a 32-bit float belongs shows up here. Degrees with eight digits.
    void projection_data()
    {
        QTest::addColumn<char>("call"); // x, y: degrees to pixels; X, Y: pixels to degrees; t: text
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("result");
        row("x of 11.5 at 16", 'x', 11.5, 16.0, QStringLiteral("8924547"));
        row("y of 48.1f at 16", 'y', double(48.1f), 16.0, QStringLiteral("5825031"));
        row("x beyond 180 is 180", 'x', 200.0, 0.0, QStringLiteral("256"));
        row("y beyond -85 is -85", 'y', -89.0, 0.0, QStringLiteral("256"));
        row("x at zoom 40 saturates", 'x', 180.0, 40.0, QString::number(INT_MAX));
        row("lng of 8924547 at 16", 'X', 8924547.0, 16.0, QStringLiteral("11.500004"));
        row("lat of 5825031 at 16", 'Y', 5825031.0, 16.0, QStringLiteral("48.099995"));
        row("lng left of the world", 'X', -5.0, 16.0, QStringLiteral("-180"));
        row("lat above the world", 'Y', -5.0, 16.0, QStringLiteral("85.051132"));
        row("lng held at the image size", 'X', 10000.0, 0.0, QStringLiteral("720"));
        row("text: seven digits, a point", 't', double(48.099995f), 0.0, QStringLiteral("48.09999"));
        row("text: no trailing zeros", 't', double(-11.500004f), 0.0, QStringLiteral("-11.5"));
        row("text: negative zero", 't', -0.0, 0.0, QStringLiteral("0"));
        row("text: below 0.0001", 't', 0.00001, 0.0, QStringLiteral("1e-05"));
        row("text: infinite", 't', qInf(), 0.0, QStringLiteral("0"));
    }

    void projection()
    {
        QFETCH(char, call);
        QFETCH(double, value);
        QFETCH(double, zoom);
        QFETCH(QString, result);
        using namespace MapProjection;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the point stays a point
        const auto v = static_cast<float>(value);
        if (call == 't')
            QCOMPARE(CoordinateText::join(v, v), result + QLatin1Char(',') + result);
        else if (call == 'x' || call == 'y')
            QCOMPARE(QString::number(call == 'x' ? lngToPxlX(value, zoom) : latToPxlY(value, zoom)), result);
        else
            QCOMPARE(QString::number(call == 'X' ? pxlXToLng(value, zoom) : pxlYToLat(value, zoom), 'g', 8), result);
        QLocale::setDefault(QLocale::c());
    }

    // Two fields move the map, whatever they hold; anything else is kept as the text, moves nothing.
    void centreTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<float>("lat");
        QTest::addColumn<float>("lng");
        row("no comma", QStringLiteral("48.1"), false, 10.25f, 20.5f);
        row("two commas", QStringLiteral("48,1,11"), false, 10.25f, 20.5f);
        row("abc,def reads 0,0", QStringLiteral("abc,def"), true, 0.0f, 0.0f);
        row("blanks, trailing text", QStringLiteral(" 48.1N, 11.5E"), true, 48.1f, 11.5f);
        row("exponent form, out of range", QStringLiteral("1e-05,-2.5E2"), true, 1e-05f, -250.0f);
    }

    void centreTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, moved);
        QFETCH(float, lat);
        QFETCH(float, lng);
        MapViewState view;
        view.setZoom(16);
        view.setCentreText(QStringLiteral("10.25,20.5"));
        const int pxlX = view.centrePxlX();
        QCOMPARE(view.setCentreText(text) == MapViewState::CentreChange::Moved, moved);
        QCOMPARE(view.centreText(), text);
        QCOMPARE(view.lat(), lat);
        QCOMPARE(view.lng(), lng);
        QCOMPARE(view.centrePxlX(), moved ? MapProjection::lngToPxlX(lng, 16) : pxlX);
        QCOMPARE(view.setCentreText(text), MapViewState::CentreChange::Unchanged);
    }

    // Whatever a text holds, it stays within its parameter of the request.
    void requestParts_data()
    {
        QTest::addColumn<char>("part"); // a: address, c: centre, m: marker (label, colour)
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("written");
        row("address beyond Latin-1", 'a', QStringLiteral("5 € \U0001D11E"), 0,
            QStringLiteral("5%20%E2%82%AC%20%F0%9D%84%9E"));
        row("address with delimiters", 'a', QStringLiteral("a&key=x#1+2%/?\r\n"), 0,
            QStringLiteral("a%26key%3Dx%231%2B2%25%2F%3F%0D%0A"));
        row("centre with delimiters", 'c', QStringLiteral("1&zoom=3,2#"), 0,
            QStringLiteral("center=1%26zoom%3D3,2%23&zoom=16&"));
        row("marker: first character, 24 bits", 'm', QStringLiteral("EFG"), 0x1234567,
            QStringLiteral("&markers=color:0x234567%7Clabel:E%7C1,2"));
        row("marker: no label, negative colour", 'm', QString(), -1,
            QStringLiteral("&markers=color:0x0000FF%7Clabel:%7C1,2"));
        row("marker: label with delimiter", 'm', QStringLiteral("&x"), 0,
            QStringLiteral("&markers=color:0x000000%7Clabel:%26%7C1,2"));
    }

    void requestParts()
    {
        QFETCH(char, part);
        QFETCH(QString, text);
        QFETCH(int, colour);
        QFETCH(QString, written);
        const QString h = QStringLiteral("h");
        if (part == 'a')
            QCOMPARE(
                MapUrls::geocodeUrl(h, text, h), "h/maps/api/geocode/xml?&sensor=false&address=" + written + "&key=h");
        else if (part == 'c')
            QVERIFY(MapUrls::staticMapUrl(h, text, 16, h, {}, h).contains(written));
        else
            QCOMPARE(MapMarker::fragment(QStringLiteral("1,2"), colour, text), written);
    }

    // A coordinate text only from the first location with two numbers in range.
    void locationOfAnswer_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<QString>("coordinates"); // empty: nothing found
        row("first of two, location_type before it",
            QStringLiteral("<location_type>X</location_type><location>\r\n <lat> -33.8688\n</lat>\n <lng>151.2"
                           "</lng></location><location><lat>1</lat><lng>2</lng></location>"),
            QStringLiteral("-33.8688,151.2"));
        row("no closing tags", QStringLiteral("<location><lng>2</lng><lat>1"), QStringLiteral("1,2"));
        row("attributes", QStringLiteral("<location><lat unit=\"d\">1</lat><lng>2</lng></location>"), QString());
        row("comma", QStringLiteral("<location><lat>48,1</lat><lng>11.5</lng></location>"), QString());
        row("beyond the pole", QStringLiteral("<location><lat>95</lat><lng>11.5</lng></location>"), QString());
    }

    void locationOfAnswer()
    {
        QFETCH(QString, xml);
        QFETCH(QString, coordinates);
        QCOMPARE(GeocodeXml::findLocation(xml).value_or(QString()), coordinates);
    }
};

QTEST_GUILESS_MAIN(MapTextsTest)
#include "tst_MapTexts.moc"
