#include "common/GeoPoint.h"
#include "map/GeocodeXml.h"
#include "map/MapMarker.h"
#include "map/MapProjection.h"
#include "map/MapUrls.h"
#include "map/MapViewState.h"
#include "tests/support/DataRows.h"

#include <QLocale>
#include <QTest>

// What the map computes and writes without the network: pixels and degrees, centre and coordinate
// texts, the requests' texts and the coordinates read from an answer.
class MapTextsTest : public QObject {
    Q_OBJECT

private slots:
    // call x, y: degrees to pixels; X, Y: pixels to degrees (eight digits); z: view; t: number to text;
    // c: centre text to degrees; p: "lat,lon" read as a place, written back; a: address, u: centre in the URL; m:
    // marker (colour); l: an answer's location
    void texts_data()
    {
        columns<char, QString, double, QString>("call", "input", "zoom", "result");
        const auto row = [](const char* name, char call, const QString& in, double zoom, const QString& result) {
            QTest::newRow(name) << call << in << zoom << result;
        };
        row("x of 11.5 at 16", 'x', "11.5", 16, "8924547");
        row("y of 48.1f at 16", 'y', QString::number(double(48.1f), 'g', 17), 16, "5825031");
        row("x beyond 180 is 180", 'x', "200", 0, "256");
        row("y beyond -85 is -85", 'y', "-89", 0, "256");
        row("x at zoom 40 saturates", 'x', "180", 40, QString::number(INT_MAX));
        row("lng of 8924547 at 16", 'X', "8924547", 16, "11.500004");
        row("lat of 5825031 at 16", 'Y', "5825031", 16, "48.099995");
        row("lng left of the world", 'X', "-5", 16, "-180");
        row("lat above the world", 'Y', "-5", 16, "85.051132");
        row("lng held at the image size", 'X', "10000", 0, "720");
        row("zoom and map type above their ranges", 'z', "25", 0, "20 terrain");
        row("zoom and map type below their ranges", 'z', "-3", 0, "0 roadmap");
        row("text: seven digits, a point", 't', "48.099995", 0, "48.09999");
        row("text: no trailing zeros", 't', "-11.500004", 0, "-11.5");
        row("text: negative zero", 't', "-0", 0, "0");
        row("text: below 0.0001", 't', "0.00001", 0, "1e-05");
        row("text: infinite", 't', "inf", 0, "0");
        // Two fields move the map, whatever they hold; anything else is kept as text, moves nothing.
        row("centre without comma", 'c', "48.1", 0, "10.25,20.5");
        row("centre with two commas", 'c', "48,1,11", 0, "10.25,20.5");
        row("centre abc,def", 'c', "abc,def", 0, "0,0");
        row("centre with blanks, trailing text", 'c', " 48.1N, 11.5E", 0, "48.1,11.5");
        row("centre in exponent form, out of range", 'c', "1e-05,-2.5E2", 0, "1e-05,-250");
        // A place is read only whole, on the globe; the map's leniency above is the map's alone.
        row("place: blanks around the numbers", 'p', " -33.8688 , 151.2 ", 0, "-33.8688,151.2");
        row("place: the poles and the date line", 'p', "-90,180", 0, "-90,180");
        row("place: exponent form, seven digits", 'p', "1e-05,48.0999999", 0, "1e-05,48.1");
        for (const char* wrong : { "90.0001,7", "51,-180.5", "nan,7.4", "51.5,inf", " , ", "", "51.5136", "51.5,7.4,3",
                 "51,5;7,4", "51.5,Dortmund", "48.1N,11.5E" })
            row(qPrintable(QStringLiteral("place: not one: ") + QString::fromLatin1(wrong)), 'p', wrong, 0, "");
        // Whatever a text holds, it stays within its parameter of the request; an answer gives a
        // coordinate text only from its first location with two numbers in range.
        row("address beyond Latin-1", 'a', "5 € \U0001D11E", 0, "5%20%E2%82%AC%20%F0%9D%84%9E");
        row("address with delimiters", 'a', "a&key=x#1+2%/?\r\n", 0, "a%26key%3Dx%231%2B2%25%2F%3F%0D%0A");
        row("centre with delimiters", 'u', "1&zoom=3,2#", 0, "center=1%26zoom%3D3,2%23&zoom=16&");
        row("marker: first character, 24 bits", 'm', "EFG", 0x1234567, "&markers=color:0x234567%7Clabel:E%7C1,2");
        row("marker: no label, negative colour", 'm', "", -1, "&markers=color:0x0000FF%7Clabel:%7C1,2");
        row("marker: label with delimiter", 'm', "&x", 0, "&markers=color:0x000000%7Clabel:%26%7C1,2");
        row("first location, location_type before it", 'l',
            "<location_type>X</location_type><location>\r\n <lat> -33.8688\n</lat>\n <lng>151.2</lng></location>"
            "<location><lat>1</lat><lng>2</lng></location>",
            0, "-33.8688,151.2");
        row("location without closing tags", 'l', "<location><lng>2</lng><lat>1", 0, "1,2");
        row("location with attributes", 'l', "<location><lat unit=\"d\">1</lat><lng>2</lng></location>", 0, "");
        row("location with a decimal comma", 'l', "<location><lat>48,1</lat><lng>11.5</lng></location>", 0, "");
        row("location beyond the pole", 'l', "<location><lat>95</lat><lng>11.5</lng></location>", 0, "");
    }

    void texts()
    {
        auto [call, input, zoom, result] = fetch<char, QString, double, QString>("call", "input", "zoom", "result");
        using namespace MapProjection;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the point stays a point
        const double value = input.toDouble();
        const QString h = QStringLiteral("h");
        MapViewState view;
        view.setCentreText(QStringLiteral("10.25,20.5"));
        if (call == 'c') {
            view.setCentreText(input);
            QCOMPARE(view.centreText(), input);
            QCOMPARE((GeoPoint { view.lat(), view.lng() }.text()), result);
        } else if (call == 'z') {
            view.setZoom(static_cast<int>(value));
            view.setMapType(static_cast<int>(value));
            QCOMPARE(QString::number(view.zoom()) + QLatin1Char(' ') + view.mapTypeName(), result);
        } else if (call == 't') {
            QCOMPARE(GeoPoint::number(static_cast<float>(value)), result);
        } else if (call == 'p') {
            const std::optional<GeoPoint> place = GeoPoint::parse(input);
            QCOMPARE(place ? place->text() : QString(), result);
            QVERIFY(!place || GeoPoint::fromPointF(place->toPointF()) == *place);
        } else if (call == 'a') {
            QCOMPARE(
                MapUrls::geocodeUrl(h, input, h), "h/maps/api/geocode/xml?&sensor=false&address=" + result + "&key=h");
        } else if (call == 'u') {
            QVERIFY(MapUrls::staticMapUrl(h, input, 16, h, {}, h).contains(result));
        } else if (call == 'm') {
            QCOMPARE(MapMarker::fragment(QStringLiteral("1,2"), static_cast<int>(zoom), input), result);
        } else if (call == 'l') {
            QCOMPARE(GeocodeXml::findLocation(input).value_or(QString()), result);
        } else if (call == 'x' || call == 'y') {
            QCOMPARE(QString::number(call == 'x' ? lngToPxlX(value, zoom) : latToPxlY(value, zoom)), result);
        } else {
            QCOMPARE(QString::number(call == 'X' ? pxlXToLng(value, zoom) : pxlYToLat(value, zoom), 'g', 8), result);
        }
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(MapTextsTest)
#include "tst_MapTexts.moc"
