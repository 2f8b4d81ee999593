#pragma once

#include <QString>
#include <QUrl>

#include <optional>

class ConfigValues;

// Where the map comes from: map.ini in the data folder, plain "key=value" lines. The static map
// service has "host" (scheme, host and optional port) and "key" (the API key). "provider=osm"
// switches to a tile map without a key: "tiles", "tiles.satellite" and "tiles.terrain" are XYZ tile
// addresses with {z}, {x} and {y}; "search" is the address search (Nominatim); "contact" goes into
// the User-Agent; "countrycodes" narrows the search; "attribution" is shown on the map. The map
// reads it at start-up and again when the settings dialog closes. The route's keys ("station",
// "route", ...) stand in the same file and are read by the station beside these.
struct MapConfig {
    static inline const QString DefaultHost = QStringLiteral("https://maps.googleapis.com");
    static inline const QString DefaultTiles = QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    static inline const QString DefaultSearch = QStringLiteral("https://nominatim.openstreetmap.org");
    static inline const QString DefaultAttribution = QStringLiteral("\u00A9 OpenStreetMap-Mitwirkende");
    static inline const QString FileName = QStringLiteral("map.ini");

    enum class Provider { Static, Osm };

    Provider provider = Provider::Static;
    QString host = DefaultHost;
    QString key;
    QString tiles = DefaultTiles;
    QString tilesSatellite;
    QString tilesTerrain;
    QString search = DefaultSearch;
    QString contact;
    QString countrycodes;
    QString attribution = DefaultAttribution;
    // True when map.ini names the host itself.
    bool hostGiven = false;
    // The water sources' index ("water="); empty: no water sources are looked up.
    QString water;

    // The service refuses requests without a key; so without a key requests go out only to a host
    // that map.ini names explicitly (a local or test service), never to the default one.
    [[nodiscard]] bool canSend() const { return hostGiven || !key.isEmpty(); }
    // The address of a request to the static map service as composed, when it may be sent.
    [[nodiscard]] std::optional<QUrl> sendable(const QString& url) const;
    [[nodiscard]] bool operator==(const MapConfig&) const = default;
    [[nodiscard]] bool isOsm() const { return provider == Provider::Osm; }
    // The tile address of a map type: satellite (1) and terrain (3) have their own when map.ini
    // names one; every other map type shows the road map.
    [[nodiscard]] const QString& tilesFor(int mapType) const;

    // The values of map.ini. An empty value keeps the default (an empty tiles.satellite or
    // tiles.terrain means the road map); the host and the search address lose trailing slashes. An
    // unknown provider, or an address that is not http or https, is a warning and keeps the default.
    [[nodiscard]] static MapConfig from(const ConfigValues& values);
};
