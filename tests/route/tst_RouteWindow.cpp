// The route in the window: the drive time in the top bar and the line on the tile map.
#include "map/ucGMap.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/WindowFixture.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

class RouteWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_data;

private slots:
    void initTestCase()
    {
        m_data = RoutinoTown::prepare(m_dir.path());
        if (m_data.isEmpty())
            QSKIP("routino is missing or could not prepare the town");
    }

    // The window: the idle map on the station, the drive time and distance in the top bar once the
    // route is known, the line on the tile map, F10 fitting the whole route into view; all gone with
    // the next alarm or Ctrl+C.
    void window_data()
    {
        QTest::addColumn<bool>("clear");
        row("the next alarm", false);
        row("Ctrl+C", true);
    }
    void window()
    {
        QFETCH(bool, clear);
        HttpResponder tiles([](const HttpResponder::Request&) {
            HttpResponder::Response none;
            none.status = 404;
            return none;
        });
        WindowFixture f;
        QVERIFY(f.putDataFile("map.ini",
            "provider=osm\ntiles=" + tiles.base() + "/{z}/{x}/{y}.png\nsearch=" + tiles.base()
                + "\nstation=51.5,7.4\nroute=routino\nroute.data=" + m_data.toUtf8() + "\n"));
        f.form->load();
        // Before the first alarm the map shows the station (tile x 34115 at zoom 16), not 0° / 0°.
        QTRY_VERIFY(!tiles.requests().isEmpty());
        for (const HttpResponder::Request& request : tiles.requests())
            QVERIFY2(request.target.startsWith("/16/3411"), request.target.constData());
        auto* drive = f.control<QLabel>(QStringLiteral("lbl_Anfahrt"));
        auto* map = f.control<ucGMap>(QStringLiteral("ucGMap1"));
        const auto blue = [map] { // pixels of the route's colour
            const QImage shot = map->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const auto* pixels = reinterpret_cast<const QRgb*>(shot.constBits());
            return std::count_if(pixels, pixels + shot.width() * shot.height(),
                [](QRgb pixel) { return qBlue(pixel) > qRed(pixel) + 80; });
        };
        f.station->core().HandleStationAlarm(
            WindowFixture::stationAlarm(QStringLiteral("B 3"), {}) + "\t51,52\t7,42", 0);
        QTRY_COMPARE(drive->text(), QStringLiteral("Anfahrt 4 min · 3,6 km"));
        QCOMPARE(map->route().size(), 4);
        QTest::keyRelease(f.form.get(), Qt::Key_F10);
        QCOMPARE(map->GZoom(), 14); // 1.4 km by 2.2 km into 640 pixels
        QVERIFY(blue() > 500);
        f.answerYes = true;
        if (clear)
            QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        else
            f.station->core().HandleStationAlarm(WindowFixture::stationAlarm(QStringLiteral("B 4"), {}), 0);
        QCOMPARE(drive->text(), QString());
        QCOMPARE(blue(), 0);
        QCOMPARE(map->Markers, QStringList());
    }
};

QTEST_MAIN(RouteWindowTest)
#include "tst_RouteWindow.moc"
