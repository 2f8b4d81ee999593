#pragma once

#include "map/MapConfig.h"
#include "map/MapViewState.h"
#include "water/WaterSource.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <optional>

class AppContext;
struct StationSettings;
class MapClient;
class TileLoader;

// The map control: one 640 × 640 static map image of the view (centre, zoom, map type and the
// markers), stretched over the whole control. Every change of centre, zoom or map type requests a
// new image from the map service; only the answer to the latest request is shown. The control
// paints what it is told (centre, markers, the route's line) and looks nothing up itself. The mouse
// reports the coordinate under the pointer and drags the map.
//
// With "provider=osm" in map.ini the control shows a tile map instead: 256-pixel tiles at the
// control's real size, one control pixel per world pixel, loaded in the background as they come;
// the markers and the attribution are drawn by the control itself.
class ucGMap : public QWidget {
    Q_OBJECT

public:
    explicit ucGMap(QWidget* parent = nullptr);
    ~ucGMap() override;

    // The program's values: the ending flag; the settings (the Station's record) give the proxy.
    // Without a context the control never sends a request.
    void setContext(AppContext* ctx, const StationSettings* settings);
    // map.ini as the station's configuration holds it; the view is requested anew when it changed.
    // Until it is given, the defaults (which send nothing without a key).
    void setConfig(const MapConfig& config);
    [[nodiscard]] const MapConfig& config();

    // View state. The setters of zoom and centre do nothing when the value is unchanged; every
    // effective change recomputes the pixel centre and calls Refresh. The map type setter always
    // calls Refresh.
    [[nodiscard]] int GZoom() const { return m_view.zoom(); }
    void setGZoom(int value);
    [[nodiscard]] int RealZoom() const { return m_view.realZoom(); }
    [[nodiscard]] QString GPoint() const { return m_view.centreText(); }
    // A text that does not split into exactly two fields at its commas is kept as the centre text
    // but moves nothing and requests nothing.
    void setGPoint(const QString& value);
    // The view before any alarm: centred there at that zoom with one request; without a centre the
    // zoom alone is kept and nothing is asked for (no map of 0° / 0°).
    void setIdleView(const std::optional<QString>& centre, int zoom);
    [[nodiscard]] double Lat() const { return m_view.lat(); }
    [[nodiscard]] double Lng() const { return m_view.lng(); }
    [[nodiscard]] int MapType() const { return m_view.mapType(); }
    void setMapType(int value);
    [[nodiscard]] QString GetMapType(std::optional<int> mapType = {}) const { return m_view.mapTypeName(mapType); }
    [[nodiscard]] int GCenterPxlX() const { return m_view.centrePxlX(); }
    [[nodiscard]] int GCenterPxlY() const { return m_view.centrePxlY(); }

    [[nodiscard]] int LngToPxlX(
        std::optional<double> lng = {}, std::optional<double> zoom = {}, std::optional<double> imageWidth = {}) const
    {
        return m_view.lngToPxlX(lng, zoom, imageWidth);
    }
    [[nodiscard]] int LatToPxlY(
        std::optional<double> lat = {}, std::optional<double> zoom = {}, std::optional<double> imageHeight = {}) const
    {
        return m_view.latToPxlY(lat, zoom, imageHeight);
    }
    [[nodiscard]] float PxlXToLng(
        std::optional<double> pxlX = {}, std::optional<double> zoom = {}, std::optional<double> imageWidth = {}) const
    {
        return m_view.pxlXToLng(pxlX, zoom, imageWidth);
    }
    [[nodiscard]] float PxlYToLat(
        std::optional<double> pxlY = {}, std::optional<double> zoom = {}, std::optional<double> imageHeight = {}) const
    {
        return m_view.pxlYToLat(pxlY, zoom, imageHeight);
    }

    // The route to the incident (x longitude, y latitude), drawn on the tile map as a line under
    // the markers; an empty list takes it away.
    void setRoute(const QList<QPointF>& points);
    [[nodiscard]] const QList<QPointF>& route() const { return m_route; }
    // The water sources around the incident, their signs drawn on the tile map from zoom 15 on
    // between the route and the markers; an empty list takes them away.
    void setWaterSources(const QList<WaterFound>& sources);
    [[nodiscard]] const QList<WaterFound>& waterSources() const { return m_water; }
    // Centres and zooms the map so that the whole route is in view, its ends well inside (at least
    // FitMargin of the shorter side from every edge, and the marker's pin whole), and refreshes it;
    // false without a route.
    bool fitRoute();
    static constexpr double FitMargin = 0.15;

    // The size of what the control draws over the tiles (the marker, the water signs, the route's
    // line, the attribution) as a multiple of its size on a full-HD screen: 2 on a 4K wall screen.
    void setPaintScale(double scale);
    [[nodiscard]] double paintScale() const { return m_paintScale; }
    // The marker's pin, its tip at `tip`: the box it covers at that scale.
    [[nodiscard]] static QRect markerPin(QPoint tip, double scale);

    // Starts a new map image request and returns its number (the new GRequestCounter); 0 and
    // nothing else once the program is ending. The request is composed and counted even when
    // map.ini names no usable service; it is then not sent.
    int Refresh();
    // Stops the map read named xkey ("C=" and its number) if it is still running.
    void Cancel_Dwonload(const QString& xkey);

    // Markers, as query fragments in the order of adding. Neither call requests an image: the
    // caller calls Refresh when it has finished changing them.
    QStringList Markers;
    void AddMarker(const QString& pos, int color, const QString& markerChar);
    void DelMarker();

    [[nodiscard]] QString GLastRequestUrl() const { return m_lastRequestUrl; }
    [[nodiscard]] int GRequestCounter() const { return m_requestCounter; }
    [[nodiscard]] QString GMouseCoordText() const { return m_mouseCoordText; }

    // The image held for painting (BackBuf), 640 × 640; blank until the first map arrives.
    [[nodiscard]] const QImage& BackBuf() const { return m_backBuf; }
    // What an accepted map answer gets: the bytes replace BackBuf when they hold at least 8000
    // bytes and decode as a PNG, JPEG or WebP picture of at most 2048 pixels a side; true when they did.
    bool LoadMapPicture(const QByteArray& bytes);

    // The tile map's loader; nullptr until the tile map was first shown.
    [[nodiscard]] TileLoader* tileLoader() const { return m_tiles; }
    // The whole time one tile request may take (TileLoader::DefaultTimeLimitMs unless set).
    void setTileTimeLimitMs(int ms);

signals:
    void MouseMove(QString GMouseCoordLatLng);
    void MouseUp(QString GMouseCoordLatLng);
    void DblClick(QString GMouseCoordLatLng);
    // BackBuf holds a new map image.
    void mapPictureChanged();
    // Map request `number` has been answered or has failed; shown tells whether its image is now
    // in BackBuf.
    void mapRequestFinished(int number, bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct ImageOffset {
        float x = 0;
        float y = 0;
    };
    [[nodiscard]] ImageOffset imageOffset(QPointF position) const;
    [[nodiscard]] bool ending() const;
    void applyCentre(const QString& value);
    void requestTiles();
    void paintTiles(QPainter& painter);

    struct MarkerSpot {
        QString position;
        int color = 0;
        QString label;
    };

    QPointer<AppContext> m_ctx;
    const StationSettings* m_settings = nullptr;
    MapClient* m_client = nullptr;
    TileLoader* m_tiles = nullptr;
    std::optional<MapConfig> m_config;
    bool m_configUsed = false; // a request has been made with m_config
    // The map.ini of the latest Refresh when it chose the tile map.
    std::optional<MapConfig> m_osm;
    QList<MarkerSpot> m_markerSpots;
    QList<QPointF> m_route;
    QList<WaterFound> m_water;
    MapViewState m_view;
    QImage m_backBuf;
    std::optional<QPoint> m_dragStart;
    QString m_mouseCoordText;
    QString m_lastRequestUrl;
    int m_requestCounter = 0;
    int m_tileTimeLimitMs = 0;
    double m_paintScale = 1;
};
