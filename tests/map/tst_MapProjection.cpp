#include "map/CoordinateText.h"
#include "map/MapProjection.h"
#include "map/MapViewState.h"

#include <QLocale>
#include <QTest>

#include <limits>

// The projection's numbers are those the map has always produced; a changed constant, a rounding
// that is not half to even or a double where a 32-bit float belongs shows up here.
class MapProjectionTest : public QObject {
    Q_OBJECT

private slots:
    void toPixels_data()
    {
        QTest::addColumn<char>("axis");
        QTest::addColumn<double>("degrees");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("pixel");
        const double lat481 = static_cast<double>(48.1f);
        QTest::newRow("x 11.5 at 16") << 'x' << 11.5 << 16.0 << 8924547;
        QTest::newRow("y 48.1f at 16") << 'y' << lat481 << 16.0 << 5825031;
        QTest::newRow("x 11.5 at 0") << 'x' << 11.5 << 0.0 << 136;
        QTest::newRow("y 48.1f at 0") << 'y' << lat481 << 0.0 << 89;
        QTest::newRow("x 0 at 0") << 'x' << 0.0 << 0.0 << 128;
        QTest::newRow("y 0 at 0") << 'y' << 0.0 << 0.0 << 128;
        QTest::newRow("x 180") << 'x' << 180.0 << 0.0 << 256;
        QTest::newRow("x -180") << 'x' << -180.0 << 0.0 << 0;
        QTest::newRow("x 200 is 180") << 'x' << 200.0 << 0.0 << 256;
        QTest::newRow("x -999 is -180") << 'x' << -999.0 << 0.0 << 0;
        QTest::newRow("y 85") << 'y' << 85.0 << 0.0 << 0;
        QTest::newRow("y 89 is 85") << 'y' << 89.0 << 0.0 << 0;
        QTest::newRow("y -89 is -85") << 'y' << -89.0 << 0.0 << 256;
        QTest::newRow("x 180 at 20") << 'x' << 180.0 << 20.0 << 268435456;
        // An explicit zoom is used unclamped; the pixel saturates instead of wrapping.
        QTest::newRow("x zoom 40 saturates") << 'x' << 180.0 << 40.0 << std::numeric_limits<int>::max();
        QTest::newRow("x zoom -1") << 'x' << 180.0 << -1.0 << 128;
    }

    void toPixels()
    {
        QFETCH(char, axis);
        QFETCH(double, degrees);
        QFETCH(double, zoom);
        QFETCH(int, pixel);
        QCOMPARE(
            axis == 'x' ? MapProjection::lngToPxlX(degrees, zoom) : MapProjection::latToPxlY(degrees, zoom), pixel);
    }

    void toDegrees_data()
    {
        QTest::addColumn<char>("axis");
        QTest::addColumn<double>("pixel");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("degrees"); // the float, written with eight significant digits
        QTest::newRow("lng left of the world") << 'x' << -5.0 << 16.0 << "-180";
        QTest::newRow("lat above the world") << 'y' << -5.0 << 16.0 << "85.051132";
        QTest::newRow("lng of 8924547") << 'x' << 8924547.0 << 16.0 << "11.500004";
        QTest::newRow("lat of 5825031") << 'y' << 5825031.0 << 16.0 << "48.099995";
        QTest::newRow("lng left edge") << 'x' << 0.0 << 0.0 << "-180";
        QTest::newRow("lng right edge") << 'x' << 256.0 << 0.0 << "180";
        QTest::newRow("lat bottom edge") << 'y' << 256.0 << 0.0 << "-85.051132";
        // The upper clamp is the image size in zoom-0 pixels, far beyond the world.
        QTest::newRow("lng beyond the image size") << 'x' << 10000.0 << 0.0 << "720";
    }

    void toDegrees()
    {
        QFETCH(char, axis);
        QFETCH(double, pixel);
        QFETCH(double, zoom);
        QFETCH(QString, degrees);
        const float value = axis == 'x' ? MapProjection::pxlXToLng(pixel, zoom) : MapProjection::pxlYToLat(pixel, zoom);
        QCOMPARE(QString::number(static_cast<double>(value), 'g', 8), degrees);
    }

    void imageSizeBoundsTheUnzoomedPixel()
    {
        QCOMPARE(MapProjection::pxlXToLng(10000, 0, 256), 180.0f);
        QCOMPARE(QString::number(static_cast<double>(MapProjection::pxlYToLat(10000, 0, 256)), 'g', 8),
            QStringLiteral("-85.051132"));
    }

    void topEdgeReadsAsTheWebMapLimit()
    {
        QCOMPARE(CoordinateText::number(MapProjection::pxlYToLat(-5, 16)), QStringLiteral("85.05113"));
    }

    // Up to zoom 16; beyond it a 32-bit float holds less than a pixel, as the stored centre does.
    void roundTripStaysWithinOnePixel_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lng");
        QTest::addColumn<int>("zoom");
        QTest::newRow("Munich 16") << 48.1 << 11.5 << 16;
        QTest::newRow("Munich 12") << 48.13743 << 11.57612 << 12;
        QTest::newRow("south west 14") << -33.8688 << -151.2093 << 14;
        QTest::newRow("equator 0") << 0.0 << 0.0 << 0;
        QTest::newRow("far north 16") << 84.9 << 179.9 << 16;
    }

    void roundTripStaysWithinOnePixel()
    {
        QFETCH(double, lat);
        QFETCH(double, lng);
        QFETCH(int, zoom);
        const int x = MapProjection::lngToPxlX(lng, zoom);
        const int y = MapProjection::latToPxlY(lat, zoom);
        QVERIFY(std::abs(MapProjection::lngToPxlX(MapProjection::pxlXToLng(x, zoom), zoom) - x) <= 1);
        QVERIFY(std::abs(MapProjection::latToPxlY(MapProjection::pxlYToLat(y, zoom), zoom) - y) <= 1);
    }

    void zoomIsClampedAndUnchangedIsNoChange_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("changed");
        QTest::newRow("25 stores 20") << 0 << 25 << 20 << true;
        QTest::newRow("-3 stores 0") << 5 << -3 << 0 << true;
        QTest::newRow("-3 at 0 is no change") << 0 << -3 << 0 << false;
        QTest::newRow("same zoom") << 16 << 16 << 16 << false;
        QTest::newRow("21 at 20 is no change") << 20 << 21 << 20 << false;
        QTest::newRow("12") << 16 << 12 << 12 << true;
    }

    void zoomIsClampedAndUnchangedIsNoChange()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, stored);
        QFETCH(bool, changed);
        MapViewState view;
        view.setZoom(from);
        QCOMPARE(view.setZoom(to), changed);
        QCOMPARE(view.zoom(), stored);
    }

    void realZoom_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("real");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("16") << 16 << 65536;
        QTest::newRow("20") << 20 << 1048576;
    }

    void realZoom()
    {
        QFETCH(int, zoom);
        QFETCH(int, real);
        MapViewState view;
        view.setZoom(zoom);
        QCOMPARE(view.realZoom(), real);
    }

    void mapTypes_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("name");
        QTest::newRow("roadmap") << 0 << 0 << "roadmap";
        QTest::newRow("satellite") << 1 << 1 << "satellite";
        QTest::newRow("hybrid") << 2 << 2 << "hybrid";
        QTest::newRow("terrain") << 3 << 3 << "terrain";
        QTest::newRow("7 stores 3") << 7 << 3 << "terrain";
        QTest::newRow("-1 stores 0") << -1 << 0 << "roadmap";
    }

    void mapTypes()
    {
        QFETCH(int, set);
        QFETCH(int, stored);
        QFETCH(QString, name);
        MapViewState view;
        view.setMapType(set);
        QCOMPARE(view.mapType(), stored);
        QCOMPARE(view.mapTypeName(), name);
    }

    void mapTypeNameOfAnyNumber()
    {
        MapViewState view;
        QCOMPARE(view.mapTypeName(5), QString());
        QCOMPARE(view.mapTypeName(-1), QString());
        QCOMPARE(view.mapTypeName(1), QStringLiteral("satellite"));
    }

    void centreAndPixelCentre()
    {
        MapViewState view;
        QCOMPARE(view.centreText(), QStringLiteral("0,0"));
        QCOMPARE(view.centrePxlX(), 0); // not derived at creation
        QCOMPARE(view.setCentreText(QStringLiteral("48.1,11.5")), MapViewState::CentreChange::Moved);
        QCOMPARE(static_cast<double>(view.lat()), 48.099998474121094);
        QCOMPARE(static_cast<double>(view.lng()), 11.5);
        QCOMPARE(view.centrePxlX(), 136);
        QCOMPARE(view.centrePxlY(), 89);
        QVERIFY(view.setZoom(16));
        QCOMPARE(view.centrePxlX(), 8924547);
        QCOMPARE(view.centrePxlY(), 5825031);
        QCOMPARE(view.lngToPxlX(), 8924547);
        QCOMPARE(view.pxlYToLat(), MapProjection::pxlYToLat(5825031, 16));
        QCOMPARE(view.setCentreText(QStringLiteral("48.1,11.5")), MapViewState::CentreChange::Unchanged);
        QCOMPARE(view.setCentreText(QString()), MapViewState::CentreChange::Unchanged);
        QCOMPARE(view.centreText(), QStringLiteral("48.1,11.5"));
    }

    // What each kind of centre text gets: two fields move the map, whatever they hold; anything
    // else is kept as the text but moves nothing.
    void centreTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("change");
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lng");
        const int moved = int(MapViewState::CentreChange::Moved);
        const int rejected = int(MapViewState::CentreChange::Rejected);
        const double keptLat = static_cast<double>(10.25f);
        const double keptLng = static_cast<double>(20.5f);
        QTest::newRow("no comma") << "48.1" << rejected << keptLat << keptLng;
        QTest::newRow("two commas") << "48,1,11" << rejected << keptLat << keptLng;
        QTest::newRow("abc,def reads 0,0") << "abc,def" << moved << 0.0 << 0.0;
        QTest::newRow("blanks before numbers") << "  48.1, 11.5" << moved << static_cast<double>(48.1f) << 11.5;
        QTest::newRow("exponent form") << "1e-05,-2.5E1" << moved << static_cast<double>(1e-05f) << -25.0;
        QTest::newRow("trailing text ignored") << "48.5N,11.5E" << moved << 48.5 << 11.5;
        QTest::newRow("comma as decimal separator") << "48,5" << moved << 48.0 << 5.0;
        QTest::newRow("empty fields") << "," << moved << 0.0 << 0.0;
        QTest::newRow("out of range is kept, the projection clamps") << "95,200" << moved << 95.0 << 200.0;
        QTest::newRow("huge exponent") << "1e999,-1e999" << moved << std::numeric_limits<double>::infinity()
                                       << -std::numeric_limits<double>::infinity();
    }

    void centreTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, change);
        QFETCH(double, lat);
        QFETCH(double, lng);
        MapViewState view;
        view.setZoom(16);
        view.setCentreText(QStringLiteral("10.25,20.5"));
        const int pxlX = view.centrePxlX();
        QCOMPARE(int(view.setCentreText(text)), change);
        QCOMPARE(view.centreText(), text);
        QCOMPARE(static_cast<double>(view.lat()), lat);
        QCOMPARE(static_cast<double>(view.lng()), lng);
        if (change == int(MapViewState::CentreChange::Rejected))
            QCOMPARE(view.centrePxlX(), pxlX);
        else
            QCOMPARE(view.centrePxlX(), MapProjection::lngToPxlX(lng, 16));
        // The same text again is no change, rejected or not.
        QCOMPARE(view.setCentreText(text), MapViewState::CentreChange::Unchanged);
    }

    void coordinateNumbers_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("48.1f") << 48.1f << "48.1";
        QTest::newRow("48.099995") << MapProjection::pxlYToLat(5825031, 16) << "48.09999";
        QTest::newRow("11.500004") << MapProjection::pxlXToLng(8924547, 16) << "11.5";
        QTest::newRow("negative") << -0.5f << "-0.5";
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("negative zero") << -0.0f << "0";
        QTest::newRow("whole") << 180.0f << "180";
        QTest::newRow("seven digits") << 123.456789f << "123.4568";
        QTest::newRow("small") << 0.001234f << "0.001234";
        QTest::newRow("below 0.0001") << 0.00001f << "1e-05";
        QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << "0";
    }

    void coordinateNumbers()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        // The point stays a point whatever the locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(CoordinateText::number(value), text);
        QLocale::setDefault(QLocale::c());
    }

    void coordinateTextReadsBack()
    {
        MapViewState view;
        const QString text = CoordinateText::join(-33.86882f, 1e-05f);
        QCOMPARE(text, QStringLiteral("-33.86882,1e-05"));
        QCOMPARE(view.setCentreText(text), MapViewState::CentreChange::Moved);
        QCOMPARE(view.lat(), -33.86882f);
        QCOMPARE(view.lng(), 1e-05f);
    }
};

QTEST_GUILESS_MAIN(MapProjectionTest)
#include "tst_MapProjection.moc"
