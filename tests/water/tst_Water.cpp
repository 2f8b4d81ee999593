// The water sources: the real import of an extract, the look-up around incidents, and the list
// on the printout. Their signs on the tile map and their line in the window: tst_WaterWindow.
#include "alarm/AlarmCore.h"
#include "common/AppContext.h"
#include "common/GeoPoint.h"
#include "print/Printout.h"
#include "station/Station.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/SqliteRows.h"
#include "tests/support/TestFiles.h"
#include "water/WaterIndex.h"
#include "water/WaterLookup.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>

namespace {

// Every kind of source, a pond mapped as an area, a diameter that is no number, a hydrant far away
// in the old tagging, and things that are no water source.
const QByteArray kExtract = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="test">
 <node id="1" version="1" lat="51.5" lon="7.4"><tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="underground"/><tag k="fire_hydrant:diameter" v="DN 100"/><tag k="ref" v="H 17"/></node>
 <node id="2" version="1" lat="51.501" lon="7.401"><tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="pillar"/><tag k="diameter" v="150 mm"/></node>
 <node id="3" version="1" lat="51.502" lon="7.4"><tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="wall"/></node>
 <node id="4" version="1" lat="51.503" lon="7.4"><tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="pipe"/></node>
 <node id="5" version="1" lat="51.504" lon="7.4"><tag k="emergency" v="water_tank"/></node>
 <node id="6" version="1" lat="51.505" lon="7.4"><tag k="emergency" v="fire_hydrant"/><tag k="water_source" v="stream"/></node>
 <node id="7" version="1" lat="51.506" lon="7.4"><tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:diameter" v="gross"/></node>
 <node id="8" version="1" lat="53.55" lon="9.99"><tag k="amenity" v="fire_hydrant"/><tag k="fire_hydrant:type" v="underground"/><tag k="fire_hydrant:diameter" v="80"/></node>
 <node id="9" version="1" lat="51.5" lon="7.41"><tag k="amenity" v="bench"/></node>
 <node id="20" version="1" lat="51.49" lon="7.39"/><node id="21" version="1" lat="51.49" lon="7.391"/>
 <node id="22" version="1" lat="51.491" lon="7.391"/><node id="23" version="1" lat="51.491" lon="7.39"/>
 <way id="100" version="1"><nd ref="20"/><nd ref="21"/><nd ref="22"/><nd ref="23"/><nd ref="20"/><tag k="emergency" v="fire_water_pond"/><tag k="ref" v="Teich Nord"/></way>
 <way id="101" version="1"><nd ref="20"/><nd ref="21"/><tag k="highway" v="track"/></way>
</osm>
)";

const QPointF kIncident(7.4738, 51.3594); // x longitude, y latitude

// The real program, without a display of any kind; its output and exit code.
std::unique_ptr<QProcess> run(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QString::fromLatin1(name));
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    process->waitForFinished(120000);
    return process;
}

// A point `metres` away in the direction `degrees` (clockwise from north), on a flat earth, close
// enough at a few hundred metres.
QPointF offset(QPointF from, double degrees, double metres)
{
    const double rad = qDegreesToRadians(degrees);
    return { from.x() + metres * std::sin(rad) / (111'195.0 * std::cos(qDegreesToRadians(from.y()))),
        from.y() + metres * std::cos(rad) / 111'195.0 };
}

} // namespace

class TestWater : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath("cache"))); }

    void importReadsEveryKind()
    {
        const QString extract = m_dir.filePath("town.osm"), index = m_dir.filePath("sub/water.sqlite");
        QVERIFY(TestFiles::writeAll(extract, kExtract));
        const auto program = run(KESSVENN_EXECUTABLE, { "--import-water", extract, index });
        QCOMPARE(program->exitCode(), 0);
        const QString out = QString::fromUtf8(program->readAllStandardOutput());
        QVERIFY2(out.contains("13 nodes read, 9 water sources found\n9 water sources written to "), qPrintable(out));
        QCOMPARE(SqliteRows(index,
                     "SELECT w.osm_type || w.osm_id, w.kind, ifnull(w.diameter, '-'), ifnull(w.ref, '-'),"
                     " printf('%.5f,%.5f', w.lat, w.lon), p.min_lat <= w.lat AND p.max_lat >= w.lat"
                     " FROM water w JOIN water_place p ON p.id = w.id ORDER BY w.osm_type, w.osm_id"),
            QStringList({ "n1|underground|100|H 17|51.50000,7.40000|1", "n2|pillar|150|-|51.50100,7.40100|1",
                "n3|wall|-|-|51.50200,7.40000|1", "n4|pipe|-|-|51.50300,7.40000|1", "n5|tank|-|-|51.50400,7.40000|1",
                "n6|suction_point|-|-|51.50500,7.40000|1", "n7|hydrant|-|-|51.50600,7.40000|1",
                "n8|underground|80|-|53.55000,9.99000|1",
                // The pond's centre: its ring's four corners, the closing node counted once.
                "w100|pond|-|Teich Nord|51.49050,7.39050|1" }));
    }

    void failedImportKeepsOldIndex_data()
    {
        QTest::addColumn<QByteArray>("input");
        row("cut off", kExtract.left(kExtract.indexOf("<node id=\"7\"") + 40));
        row("no OSM data", QByteArray("PK\x03\x04 not an extract at all"));
        row("missing", QByteArray());
    }
    void failedImportKeepsOldIndex()
    {
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const QString index = dir.filePath("water.sqlite"), extract = dir.filePath("extract.osm");
        QVERIFY(WaterIndex::write(index, { { WaterKind::Pillar, 100, {}, 'n', 1, 51.5, 7.4 } }, nullptr));
        const QByteArray before = TestFiles::readAll(index);
        QVERIFY(input.isEmpty() || TestFiles::writeAll(extract, input));
        const auto program = run(KESSVENN_EXECUTABLE, { "--import-water", extract, index });
        QCOMPARE(program->exitCode(), 1);
        QVERIFY(program->readAllStandardError().contains("No water index written"));
        QCOMPARE(TestFiles::readAll(index), before);
        // Nothing half-written stays behind.
        QCOMPARE(QDir(dir.path()).entryList({ "water*" }), QStringList { "water.sqlite" });
    }

    void nearestThree_data()
    {
        columns<QString, QPointF, QString, int>("file", "incident", "line", "drawn");
        const QPointF u(7.4, 51.5);
        row("on a hydrant", "near.sqlite", u, "U 100 · 0 m, O 150 · 100 m O, B · 200 m S", 4);
        row("between two", "near.sqlite", offset(u, 90, 40), "U 100 · 40 m W, O 150 · 60 m O, B · 204 m S", 5);
        // The pond 480 m north of the hydrant counts, the one 520 m east of it does not.
        row("far out", "near.sqlite", offset(u, 0, 400), "T · 80 m N, U 100 · 400 m S, O 150 · 412 m S", 3);
        row("none within 500 m", "near.sqlite", QPointF(7.5, 51.6), "Kein Hydrant im Umkreis von 500 m", 0);
        row("index missing", "nothing.sqlite", u, QString(), 0);
        row("index broken", "broken.sqlite", u, QString(), 0);
    }
    void nearestThree()
    {
        auto [file, incident, line, drawn] = fetch<QString, QPointF, QString, int>("file", "incident", "line", "drawn");
        const QString index = m_dir.filePath("near.sqlite");
        const QPointF u(7.4, 51.5), o = offset(u, 90, 100), b = offset(u, 180, 200), t = offset(u, 0, 480),
                                    w = offset(u, 90, 520);
        QVERIFY(QFile::exists(index)
            || WaterIndex::write(index,
                { { WaterKind::Underground, 100, {}, 'n', 1, u.y(), u.x() },
                    { WaterKind::Pillar, 150, {}, 'n', 2, o.y(), o.x() },
                    { WaterKind::Tank, 0, {}, 'n', 3, b.y(), b.x() }, { WaterKind::Pond, 0, {}, 'w', 4, t.y(), t.x() },
                    { WaterKind::Wall, 0, {}, 'n', 5, w.y(), w.x() } },
                nullptr));
        QVERIFY(TestFiles::writeAll(m_dir.filePath("broken.sqlite"), "no database, just text\n"));
        WaterLookup lookup;
        lookup.setIndex(m_dir.filePath(file));
        QSignalSpy found(&lookup, &WaterLookup::found);
        if (file == "broken.sqlite") {
            // One warning, however often it is asked.
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The water index .* cannot be read"));
            lookup.lookUp(incident);
            QVERIFY(found.wait());
            QTest::failOnWarning(QRegularExpression("water index"));
        }
        lookup.lookUp(incident);
        QVERIFY(found.wait());
        const auto nearby = found.last().first().value<WaterNearby>();
        QCOMPARE(nearby.line(), line);
        QCOMPARE(nearby.sources.size(), drawn);
        QCOMPARE(nearby.incident, incident);
    }

    // An index changed under a look-up: cut short, or copied over in place as cp does (truncated,
    // then written). The look-up that meets it fails with a reason; it never reads beyond the
    // file's end (pages mapped into memory there would be a SIGBUS).
    void indexChangedWhileRead_data()
    {
        QTest::addColumn<bool>("copiedOver");
        row("cut short", false);
        row("copied over in place", true);
    }
    void indexChangedWhileRead()
    {
        QFETCH(bool, copiedOver);
        const QString index = m_dir.filePath("inplace.sqlite"), small = m_dir.filePath("small.sqlite");
        const QPointF u(7.4, 51.5);
        std::vector<WaterSource> many;
        for (int i = 0; i < 20000; ++i)
            many.push_back(
                { WaterKind::Pillar, 100, {}, 'n', i + 1, u.y() + (i % 200) * 1e-5, u.x() + (i / 200) * 1e-5 });
        QFile::remove(index), QFile::remove(small);
        QVERIFY(WaterIndex::write(index, many, nullptr) && WaterIndex::write(small, { many.front() }, nullptr));
        WaterIndex::Reader reader(index);
        QCOMPARE(reader.nearby(u).nearby.sources.size(), 200);
        QVERIFY(copiedOver ? TestFiles::writeAll(index, TestFiles::readAll(small))
                           : QFile::resize(index, QFileInfo(index).size() / 4));
        const WaterIndex::Answer answer = reader.nearby(u);
        QCOMPARE(answer.state, WaterIndex::State::Broken);
        QVERIFY(answer.nearby.sources.isEmpty() && !answer.nearby.indexRead);
        QVERIFY2(answer.error.contains("renaming"), qPrintable(answer.error));
        // The next look-up reads the file as it is now.
        QCOMPARE(WaterIndex::nearby(index, u).state, copiedOver ? WaterIndex::State::Read : WaterIndex::State::Broken);
    }

    void compassPoints_data()
    {
        columns<double, QString>("degrees", "point");
        const char* const points[] = { "N", "NO", "O", "SO", "S", "SW", "W", "NW" };
        // The middle of each point's sector and, a little inside, both of its edges.
        for (int i = 0; i < 8; ++i)
            for (const double d : { -22.0, 0.0, 22.0 })
                QTest::addRow("%s %g", points[i], d) << std::fmod(i * 45 + d + 360, 360) << QString(points[i]);
    }
    void compassPoints()
    {
        auto [degrees, point] = fetch<double, QString>("degrees", "point");
        const QPointF there = offset(kIncident, degrees, 300);
        QCOMPARE(Water::direction(kIncident, there), point);
        QVERIFY(std::abs(GeoPoint::meters(kIncident, there) - 300) < 1);
    }

    // The station hands the look-up to the printout, which waits for it and prints the nearest
    // three under the detail map.
    void listOnPaper()
    {
        PrivateCups cups;
        if (!cups.started())
            QSKIP(qPrintable(cups.whyNot()));
        QVERIFY(cups.addQueue("Test"));
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        const QString data = home.filePath("Torvelle"), index = home.filePath("water.sqlite");
        // No map service: the maps are in at once, and the printout has only the water to wait for.
        QVERIFY(QDir().mkpath(data) && TestFiles::writeAll(data + "/print.ini", "printer=Test\nwait_seconds=120\n")
            && TestFiles::writeAll(data + "/map.ini", "water=" + QFile::encodeName(index) + "\n"));
        QVERIFY(WaterIndex::write(index,
            { { WaterKind::Underground, 100, "H1", 'n', 1, kIncident.y() + 0.0003, kIncident.x() + 0.0004 },
                { WaterKind::Pillar, 150, {}, 'n', 2, kIncident.y() - 0.0010, kIncident.x() } },
            nullptr));
        AppContext ctx;
        ctx.ProgramFolder = home.path();
        Station station(ctx, Station::Link::Idle);
        station.load();
        QSignalSpy printed(&station.printout(), &Printout::printed);
        station.core().HandleStationAlarm(AlarmText::station("B3", { "HLF 20" }) + "\t51,3594\t7,4738", 0);
        QVERIFY(printed.wait(60000));
        const auto pdf = run("pdftotext", { printed[0][0].value<PrintResult>().pdfPath, "-" });
        const QString text = QString::fromUtf8(pdf->readAllStandardOutput()).simplified();
        QVERIFY2(text.contains("Karte nicht verfügbar Wasser: U 100 · 43 m NO, O 150 · 111 m S Navigation"),
            qPrintable(text));
    }
};

QTEST_MAIN(TestWater)
#include "tst_Water.moc"
