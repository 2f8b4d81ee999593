#include "map/MapConfig.h"

#include "config/ConfigValues.h"

namespace {

QString withoutTrailingSlashes(QString address)
{
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

} // namespace

MapConfig MapConfig::from(const ConfigValues& v)
{
    MapConfig config;
    config.provider = v.text(u"provider") == QLatin1String("osm") ? Provider::Osm : Provider::Static;
    const QString host = withoutTrailingSlashes(v.text(u"host"));
    // An empty host= keeps the default, which is then not named by the file.
    config.hostGiven = v.given(u"host") && !v.at(u"host").text.isEmpty() && !host.isEmpty();
    if (config.hostGiven)
        config.host = host;
    config.key = v.text(u"key");
    config.tiles = v.text(u"tiles");
    config.tilesSatellite = v.text(u"tiles.satellite");
    config.tilesTerrain = v.text(u"tiles.terrain");
    const QString search = withoutTrailingSlashes(v.text(u"search"));
    config.search = search.isEmpty() ? DefaultSearch : search;
    config.contact = v.text(u"contact");
    config.countrycodes = v.text(u"countrycodes");
    config.attribution = v.text(u"attribution");
    config.water = v.text(u"water");
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

std::optional<QUrl> MapConfig::sendable(const QString& url) const
{
    if (!canSend())
        return std::nullopt;
    // Everything in the text is already percent-encoded where it has to be; strict parsing keeps
    // it exactly as composed.
    QUrl parsed = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}
