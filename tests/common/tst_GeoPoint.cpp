// The one reading of "lat,lon" that the alarm, the route's station and the printout share, and its
// text as the map and the files write it.
#include "common/GeoPoint.h"

#include <QTest>

class GeoPointTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<QString>("written"); // the text of what was read
        QTest::newRow("a station") << "51.5136,7.4653" << true << 51.5136 << 7.4653 << "51.5136,7.4653";
        QTest::newRow("blanks around the numbers")
            << " -33.8688 , 151.2 " << true << -33.8688 << 151.2 << "-33.8688,151.2";
        QTest::newRow("the poles and the date line") << "-90,180" << true << -90.0 << 180.0 << "-90,180";
        QTest::newRow("exponent form, written back") << "1e-05,-0" << true << 1e-05 << 0.0 << "1e-05,0";
        QTest::newRow("seven digits written") << "48.0999999,11.50" << true << 48.0999999 << 11.5 << "48.1,11.5";
        QTest::newRow("beyond the pole") << "90.0001,7" << false << 0.0 << 0.0 << "";
        QTest::newRow("beyond the date line") << "51,-180.5" << false << 0.0 << 0.0 << "";
        QTest::newRow("nan") << "nan,7.4" << false << 0.0 << 0.0 << "";
        QTest::newRow("infinite") << "51.5,inf" << false << 0.0 << 0.0 << "";
        QTest::newRow("blanks only") << " , " << false << 0.0 << 0.0 << "";
        QTest::newRow("empty") << "" << false << 0.0 << 0.0 << "";
        QTest::newRow("no comma") << "51.5136" << false << 0.0 << 0.0 << "";
        QTest::newRow("a field more") << "51.5,7.4,3" << false << 0.0 << 0.0 << "";
        QTest::newRow("decimal commas") << "51,5;7,4" << false << 0.0 << 0.0 << "";
        QTest::newRow("a word") << "51.5,Dortmund" << false << 0.0 << 0.0 << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(QString, written);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the point stays a point
        const std::optional<GeoPoint> point = GeoPoint::parse(text);
        QCOMPARE(point.has_value(), valid);
        if (!point)
            return;
        QCOMPARE(point->lat, lat);
        QCOMPARE(point->lon, lon);
        QCOMPARE(point->text(), written);
        QCOMPARE(point->toPointF(), QPointF(lon, lat));
    }
};

QTEST_GUILESS_MAIN(GeoPointTest)
#include "tst_GeoPoint.moc"
