#include "tests/support/RoutinoTown.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace {

const QByteArray kTown = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6" generator="test">
  <node id="1" lat="51.5000" lon="7.4000" version="1"/>
  <node id="2" lat="51.5000" lon="7.4100" version="1"/>
  <node id="3" lat="51.5000" lon="7.4200" version="1"/>
  <node id="4" lat="51.5100" lon="7.4200" version="1"/>
  <node id="5" lat="51.5200" lon="7.4200" version="1"/>
  <node id="6" lat="51.5100" lon="7.4000" version="1"/>
  <way id="10" version="1"><nd ref="1"/><nd ref="2"/><nd ref="3"/><tag k="highway" v="primary"/><tag k="name" v="Hauptstraße"/></way>
  <way id="11" version="1"><nd ref="3"/><nd ref="4"/><nd ref="5"/><tag k="highway" v="residential"/><tag k="name" v="Kampstraße"/></way>
  <way id="12" version="1"><nd ref="1"/><nd ref="6"/><nd ref="4"/><tag k="highway" v="track"/><tag k="name" v="Feldweg"/></way>
</osm>
)";

} // namespace

QString RoutinoTown::prepare(const QString& folder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("planetsplitter")).isEmpty())
        return {};
    const QString data = folder + QStringLiteral("/routino");
    if (!QDir().mkpath(data) || !TestFiles::writeAll(folder + QStringLiteral("/town.osm"), kTown))
        return {};
    QProcess split;
    split.setWorkingDirectory(folder);
    split.start(QStringLiteral("planetsplitter"),
        { QStringLiteral("--dir=") + data, QStringLiteral("--tagging=/usr/share/routino/tagging.xml"),
            QStringLiteral("town.osm") });
    return split.waitForFinished(60000) && split.exitCode() == 0 ? data : QString();
}
