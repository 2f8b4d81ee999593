#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A district for the real routino: a grid of side × side junctions, `step` degrees of latitude
// apart (and 1.6 times that of longitude, about as far at 51° north), every road named, every tenth
// a main road, from (west, south) on. It is written as OpenStreetMap data into the folder and
// prepared by planetsplitter; returns the folder of the routing data, empty when that failed.
inline QString prepareDistrict(const QTemporaryDir& dir, int side, double step, double west = 7.3, double south = 51.4)
{
    QFile osm(dir.filePath(QStringLiteral("district.osm")));
    if (!osm.open(QIODevice::WriteOnly))
        return {};
    osm.write("<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"bench\">\n");
    const auto id = [side](int row, int column) { return qint64(row) * side + column + 1; };
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c)
            osm.write(QStringLiteral("<node id=\"%1\" lat=\"%2\" lon=\"%3\" version=\"1\"/>\n")
                          .arg(id(r, c))
                          .arg(south + r * step, 0, 'f', 6)
                          .arg(west + c * step * 1.6, 0, 'f', 6)
                          .toLatin1());
    qint64 way = 1;
    for (int line = 0; line < side; ++line) {
        for (const bool row : { true, false }) {
            osm.write(QStringLiteral("<way id=\"%1\" version=\"1\">").arg(way++).toLatin1());
            for (int i = 0; i < side; ++i)
                osm.write(QStringLiteral("<nd ref=\"%1\"/>").arg(row ? id(line, i) : id(i, line)).toLatin1());
            osm.write(QStringLiteral("<tag k=\"highway\" v=\"%1\"/><tag k=\"name\" v=\"%2 %3\"/></way>\n")
                          .arg(line % 10 == 0 ? QStringLiteral("primary") : QStringLiteral("residential"))
                          .arg(row ? QStringLiteral("Querstraße") : QStringLiteral("Längsweg"))
                          .arg(line)
                          .toUtf8());
        }
    }
    osm.write("</osm>\n");
    osm.close();
    const QString data = dir.filePath(QStringLiteral("routino"));
    QDir().mkpath(data);
    QProcess split;
    split.setWorkingDirectory(dir.path());
    split.start(QStringLiteral("planetsplitter"),
        { QStringLiteral("--dir=") + data, QStringLiteral("--tagging=/usr/share/routino/tagging.xml"),
            QStringLiteral("district.osm") });
    if (!split.waitForFinished(600000) || split.exitCode() != 0)
        return {};
    return data;
}
