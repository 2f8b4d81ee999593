#include "map/MapConfig.h"

#include "common/KeyValueFile.h"

const QStringList MapConfig::Keys = { QStringLiteral("host"), QStringLiteral("key"), QStringLiteral("provider"),
    QStringLiteral("tiles"), QStringLiteral("tiles.satellite"), QStringLiteral("tiles.terrain"),
    QStringLiteral("search"), QStringLiteral("contact"), QStringLiteral("countrycodes"), QStringLiteral("attribution"),
    // The route's keys, read by RouteSettings.
    QStringLiteral("station"), QStringLiteral("route"), QStringLiteral("route.data"), QStringLiteral("route.profile"),
    QStringLiteral("route.factor"),
    // The water sources' index.
    QStringLiteral("water") };

MapConfig MapConfig::parse(const KeyValueFile& file)
{
    MapConfig config;
    config.route = RouteSettings::parse(file);
    for (const KeyValueFile::Entry& entry : file.entries()) {
        const QString& name = entry.name;
        QString value = entry.value;
        const bool address = name == QLatin1String("host") || name == QLatin1String("search")
            || name.startsWith(QLatin1String("tiles"));
        if (address && !value.isEmpty() && !value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
            && !value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
            file.unusable(entry, QStringLiteral("an http:// or https:// address"));
            continue;
        }
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
            const bool osm = value.compare(QLatin1String("osm"), Qt::CaseInsensitive) == 0;
            if (!osm && !value.isEmpty() && value.compare(QLatin1String("static"), Qt::CaseInsensitive) != 0)
                file.unusable(entry, QStringLiteral("osm or static"));
            config.provider = osm ? Provider::Osm : Provider::Static;
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
        } else if (name == QLatin1String("water")) {
            config.water = value;
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

MapConfig MapConfig::parse(QByteArrayView bytes)
{
    return parse(KeyValueFile::parse(bytes, FileName, Keys));
}

MapConfig MapConfig::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, FileName, Keys));
}
