#include "map/MapConfig.h"

#include "common/KeyValueFile.h"

MapConfig MapConfig::parse(QStringView text)
{
    MapConfig config;
    for (const auto& [name, written] : KeyValueFile::parse(text)) {
        QString value = written.trimmed();
        if (name == QLatin1String("host") || name == QLatin1String("search")) {
            while (value.endsWith(QLatin1Char('/')))
                value.chop(1);
        }
        if (name == QLatin1String("host")) {
            if (!value.isEmpty()) {
                config.host = value;
                config.hostGiven = true;
            }
        } else if (name == QLatin1String("key")) {
            config.key = value;
        } else if (name == QLatin1String("provider")) {
            config.provider
                = value.compare(QLatin1String("osm"), Qt::CaseInsensitive) == 0 ? Provider::Osm : Provider::Static;
        } else if (name == QLatin1String("tiles")) {
            config.tiles = value.isEmpty() ? DefaultTiles : value;
        } else if (name == QLatin1String("tiles.satellite")) {
            config.tilesSatellite = value;
        } else if (name == QLatin1String("tiles.terrain")) {
            config.tilesTerrain = value;
        } else if (name == QLatin1String("search")) {
            config.search = value.isEmpty() ? DefaultSearch : value;
        } else if (name == QLatin1String("contact")) {
            config.contact = value;
        } else if (name == QLatin1String("countrycodes")) {
            config.countrycodes = value;
        } else if (name == QLatin1String("attribution")) {
            config.attribution = value.isEmpty() ? DefaultAttribution : value;
        }
    }
    return config;
}

const QString& MapConfig::tilesFor(int mapType) const
{
    if (mapType == 1 && !tilesSatellite.isEmpty())
        return tilesSatellite;
    if (mapType == 3 && !tilesTerrain.isEmpty())
        return tilesTerrain;
    return tiles;
}

MapConfig MapConfig::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, FileName));
}
