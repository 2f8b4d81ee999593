#include "tests/support/TestFiles.h"
#include "water/WaterIndex.h"
#include "water/WaterLookup.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A small extract: every kind of source, a pond mapped as an area, a hydrant whose diameter is no
// number, one far away, and things that are no water source.
const QByteArray kExtract = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="test">
 <node id="1" version="1" lat="51.5000000" lon="7.4000000">
  <tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="underground"/>
  <tag k="fire_hydrant:diameter" v="DN 100"/><tag k="ref" v="H 17"/>
 </node>
 <node id="2" version="1" lat="51.5010000" lon="7.4010000">
  <tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="pillar"/><tag k="diameter" v="150 mm"/>
 </node>
 <node id="3" version="1" lat="51.5020000" lon="7.4000000">
  <tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="wall"/>
 </node>
 <node id="4" version="1" lat="51.5030000" lon="7.4000000">
  <tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:type" v="pipe"/>
 </node>
 <node id="5" version="1" lat="51.5040000" lon="7.4000000"><tag k="emergency" v="water_tank"/></node>
 <node id="6" version="1" lat="51.5050000" lon="7.4000000"><tag k="emergency" v="suction_point"/></node>
 <node id="7" version="1" lat="51.5060000" lon="7.4000000">
  <tag k="emergency" v="fire_hydrant"/><tag k="fire_hydrant:diameter" v="gross"/>
 </node>
 <node id="8" version="1" lat="53.5500000" lon="9.9900000">
  <tag k="amenity" v="fire_hydrant"/><tag k="fire_hydrant:type" v="underground"/>
  <tag k="fire_hydrant:diameter" v="80"/>
 </node>
 <node id="9" version="1" lat="51.5000000" lon="7.4100000"><tag k="amenity" v="bench"/></node>
 <node id="20" version="1" lat="51.4900000" lon="7.3900000"/>
 <node id="21" version="1" lat="51.4900000" lon="7.3910000"/>
 <node id="22" version="1" lat="51.4910000" lon="7.3910000"/>
 <node id="23" version="1" lat="51.4910000" lon="7.3900000"/>
 <way id="100" version="1">
  <nd ref="20"/><nd ref="21"/><nd ref="22"/><nd ref="23"/><nd ref="20"/>
  <tag k="emergency" v="fire_water_pond"/><tag k="ref" v="Teich Nord"/>
 </way>
 <way id="101" version="1"><nd ref="20"/><nd ref="21"/><tag k="highway" v="track"/></way>
</osm>
)";

QProcess* runImport(const QStringList& arguments)
{
    auto* program = new QProcess;
    // No display of any kind: the import needs none.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QString::fromLatin1(name));
    program->setProcessEnvironment(environment);
    program->start(QStringLiteral(KESSVENN_EXECUTABLE), QStringList { QStringLiteral("--import-water") } + arguments);
    program->waitForFinished(120000);
    return program;
}

WaterSource source(WaterKind kind, int diameter, double lat, double lon, qint64 id)
{
    WaterSource s;
    s.kind = kind;
    s.diameterMm = diameter;
    s.lat = lat;
    s.lon = lon;
    s.osmId = id;
    return s;
}

// A point `metres` from `from` in the direction `degrees` (clockwise from north), on a flat earth,
// which is close enough at a few hundred metres.
QPointF offset(QPointF from, double degrees, double metres)
{
    const double rad = qDegreesToRadians(degrees);
    return { from.x() + metres * std::sin(rad) / (111'195.0 * std::cos(qDegreesToRadians(from.y()))),
        from.y() + metres * std::cos(rad) / 111'195.0 };
}

} // namespace

class TestWater : public QObject {
    Q_OBJECT

private slots:
    void importReadsEveryKind();
    void failedImportKeepsOldIndex_data();
    void failedImportKeepsOldIndex();
    void nearestThree_data();
    void nearestThree();
    void compassPoints_data();
    void compassPoints();

private:
    QTemporaryDir m_dir;
};

void TestWater::importReadsEveryKind()
{
    const QString extract = m_dir.filePath(QStringLiteral("town.osm"));
    const QString index = m_dir.filePath(QStringLiteral("sub/water.sqlite"));
    QVERIFY(TestFiles::writeAll(extract, kExtract));
    std::unique_ptr<QProcess> program(runImport({ extract, index }));
    QCOMPARE(program->exitCode(), 0);
    const QString out = QString::fromUtf8(program->readAllStandardOutput());
    QVERIFY2(out.contains(QLatin1String("13 nodes read, 9 water sources found")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("9 water sources written to ")), qPrintable(out));

    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(index);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec(QStringLiteral("SELECT w.osm_type || w.osm_id, w.kind, ifnull(w.diameter, '-'), ifnull(w.ref, '-'),"
                                  " printf('%.5f,%.5f', w.lat, w.lon), p.min_lat <= w.lat AND p.max_lat >= w.lat"
                                  " FROM water w JOIN water_place p ON p.id = w.id ORDER BY w.osm_type, w.osm_id")));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < 6; ++i)
                row << q.value(i).toString();
            rows << row.join(QLatin1Char(' '));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    const QStringList expected = {
        "n1 underground 100 H 17 51.50000,7.40000 1",
        "n2 pillar 150 - 51.50100,7.40100 1",
        "n3 wall - - 51.50200,7.40000 1",
        "n4 pipe - - 51.50300,7.40000 1",
        "n5 tank - - 51.50400,7.40000 1",
        "n6 suction_point - - 51.50500,7.40000 1",
        "n7 hydrant - - 51.50600,7.40000 1",
        "n8 underground 80 - 53.55000,9.99000 1",
        // The pond's centre: its ring's four corners, the closing node counted once.
        "w100 pond - Teich Nord 51.49050,7.39050 1",
    };
    QCOMPARE(rows, expected);
}

void TestWater::failedImportKeepsOldIndex_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("cut off") << kExtract.left(kExtract.indexOf("<node id=\"7\"") + 40);
    QTest::newRow("no OSM data") << QByteArray("PK\x03\x04 not an extract at all");
    QTest::newRow("missing") << QByteArray();
}

void TestWater::failedImportKeepsOldIndex()
{
    QFETCH(QByteArray, input);
    QTemporaryDir dir;
    const QString index = dir.filePath(QStringLiteral("water.sqlite"));
    QVERIFY(WaterIndex::write(index, { source(WaterKind::Pillar, 100, 51.5, 7.4, 1) }, nullptr));
    const QByteArray before = TestFiles::readAll(index);
    const QString extract = dir.filePath(QStringLiteral("extract.osm"));
    if (!input.isEmpty())
        QVERIFY(TestFiles::writeAll(extract, input));

    std::unique_ptr<QProcess> program(runImport({ extract, index }));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 1);
    QVERIFY(program->readAllStandardError().contains("No water index written"));
    QCOMPARE(TestFiles::readAll(index), before);
    // Nothing half-written stays behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("water")),
        QStringList { QStringLiteral("water.sqlite") });
}

void TestWater::nearestThree_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QPointF>("incident");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("drawn");

    const QPointF u(7.4, 51.5);
    QTest::newRow("on a hydrant") << "water.sqlite" << u
                                  << QString::fromUtf8("U 100 · 0 m, O 150 · 100 m O, B · 200 m S") << 4;
    QTest::newRow("between two") << "water.sqlite" << offset(u, 90, 40)
                                 << QString::fromUtf8("U 100 · 40 m W, O 150 · 60 m O, B · 204 m S") << 5;
    // The pond 480 m north counts, the hydrant at 520 m east does not.
    QTest::newRow("far out") << "water.sqlite" << offset(u, 0, 400)
                             << QString::fromUtf8("T · 80 m N, U 100 · 400 m S, O 150 · 412 m S") << 3;
    QTest::newRow("none within 500 m") << "water.sqlite" << QPointF(7.5, 51.6)
                                       << QStringLiteral("Kein Hydrant im Umkreis von 500 m") << 0;
    QTest::newRow("index missing") << "nothing.sqlite" << u << QString() << 0;
    QTest::newRow("index broken") << "broken.sqlite" << u << QString() << 0;
}

void TestWater::nearestThree()
{
    QFETCH(QString, file);
    QFETCH(QPointF, incident);
    QFETCH(QString, line);
    QFETCH(int, drawn);
    const QString index = m_dir.filePath(QStringLiteral("near.sqlite"));
    const QPointF u(7.4, 51.5);
    if (!QFile::exists(index)) {
        const QPointF o = offset(u, 90, 100), b = offset(u, 180, 200), t = offset(u, 0, 480), h = offset(u, 90, 520);
        QVERIFY(WaterIndex::write(index,
            { source(WaterKind::Underground, 100, u.y(), u.x(), 1), source(WaterKind::Pillar, 150, o.y(), o.x(), 2),
                source(WaterKind::Tank, 0, b.y(), b.x(), 3), source(WaterKind::Pond, 0, t.y(), t.x(), 4),
                source(WaterKind::Wall, 0, h.y(), h.x(), 5) },
            nullptr));
        QVERIFY(TestFiles::writeAll(m_dir.filePath(QStringLiteral("broken.sqlite")), "no database, just text\n"));
    }
    const QString path = file == QLatin1String("water.sqlite") ? index : m_dir.filePath(file);
    WaterLookup lookup;
    lookup.setIndex(path);
    QSignalSpy found(&lookup, &WaterLookup::found);
    if (file == QLatin1String("broken.sqlite")) {
        // One warning, however often it is asked.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The water index .* cannot be read")));
        lookup.lookUp(incident);
        QVERIFY(found.wait());
        QTest::failOnWarning(QRegularExpression(QStringLiteral("water index")));
    }
    lookup.lookUp(incident);
    QVERIFY(found.wait());
    const auto nearby = found.last().first().value<WaterNearby>();
    QCOMPARE(nearby.line(), line);
    QCOMPARE(nearby.sources.size(), drawn);
    QCOMPARE(nearby.incident, incident);
}

void TestWater::compassPoints_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QString>("point");
    const char* const points[] = { "N", "NO", "O", "SO", "S", "SW", "W", "NW" };
    for (int i = 0; i < 8; ++i) {
        // The middle of each point's sector and both of its edges, a little inside.
        for (const double d : { -22.0, 0.0, 22.0 })
            QTest::addRow("%s %g", points[i], d) << std::fmod(i * 45 + d + 360, 360) << QString::fromLatin1(points[i]);
    }
}

void TestWater::compassPoints()
{
    QFETCH(double, degrees);
    QFETCH(QString, point);
    const QPointF incident(7.4, 51.5);
    const QPointF there = offset(incident, degrees, 300);
    QCOMPARE(Water::direction(incident, there), point);
    QVERIFY(std::abs(Water::meters(incident, there) - 300) < 1);
}

QTEST_GUILESS_MAIN(TestWater)
#include "tst_Water.moc"
