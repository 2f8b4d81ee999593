#pragma once

#include "map/MapConfig.h"
#include "water/WaterSource.h"

#include <QImage>
#include <QObject>

#include <QPointF>
#include <QStringList>
#include <functional>

class AppContext;
struct StationSettings;
class MapClient;
class TileLoader;

// The two maps of the printout, an overview (zoom 14) and a detail (zoom 17), each Side pixels
// square with the incident marker and the map's attribution. With the tile map of map.ini the
// tiles come through a tile loader of their own (the map control's cache folder, User-Agent,
// proxy and its limit of running requests), so that the printout never changes what the screen
// loads; with the static map service from two static map requests.
class PrintMaps : public QObject {
    Q_OBJECT

public:
    static constexpr int Side = 720; // about 200 dpi on the 90 mm of an A4 page's map
    static constexpr int OverviewZoom = 14;
    static constexpr int DetailZoom = 17;

    // An empty tile cache folder means the map control's.
    PrintMaps(AppContext& ctx, const StationSettings& settings, const QString& tileCacheFolder = {},
        QObject* parent = nullptr);

    // Where map.ini's values come from: the station's configuration; the defaults (which send
    // nothing without a key) where none is set.
    std::function<MapConfig()> configSource;

    // Starts loading both maps of the position (x longitude, y latitude), dropping what an older
    // position still loads; gathered follows once everything has answered or failed. With a route
    // (from the station to the position) the overview of the tile map is fitted to the route.
    void gather(QPointF position, const QList<QPointF>& route = {});

    struct Maps {
        QImage overview;
        QImage detail;
        int missing = 0; // tiles (or static maps) that are not in
        int wanted = 0;
    };
    // Both maps from what has arrived so far, the route drawn on the overview and the water
    // sources' signs on the tile map's detail; never waits.
    [[nodiscard]] Maps compose(
        QPointF position, const QList<QPointF>& route = {}, const QList<WaterFound>& water = {}) const;

    // Where the overview looks: the position at its zoom, or the middle of the route at the closest
    // zoom (at most the overview's) that holds it whole.
    struct View {
        QPointF centre;
        int zoom = OverviewZoom;
    };
    [[nodiscard]] static View overviewView(QPointF position, const QList<QPointF>& route);

signals:
    void gathered();

private:
    [[nodiscard]] QStringList tileUrls(QPointF position, int zoom) const;
    [[nodiscard]] QImage tileMap(View view, QPointF position, const QList<QPointF>& route,
        const QList<WaterFound>& water, int* missing, int* wanted) const;
    [[nodiscard]] QString staticUrl(QPointF position, int zoom) const;
    void onStaticAnswer(int zoom, const std::optional<QByteArray>& body);
    void finishGathering();

    AppContext& m_ctx;
    const StationSettings& m_settings;
    QString m_tileCacheFolder;
    MapConfig m_config;
    TileLoader* m_tiles = nullptr;
    MapClient* m_staticClients[2] = { nullptr, nullptr };
    QImage m_staticImages[2];
    QPointF m_staticPosition;
    int m_staticWaiting = 0;
    int m_staticRead = 0;
    bool m_gathering = false;
};
