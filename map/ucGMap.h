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

class AddressSearch;
class AppContext;
class MapClient;
class TileLoader;

// The map control: one 640 × 640 static map image of the view (centre, zoom, map type and the
// markers), stretched over the whole control. Every change of centre, zoom or map type requests a
// new image from the map service; only the answer to the latest request is shown. Addresses are
// looked up without waiting (locationLookupFinished tells when). The mouse reports the coordinate
// under the pointer and drags the map.
//
// With "provider=osm" in map.ini the control shows a tile map instead: 256-pixel tiles at the
// control's real size, one control pixel per world pixel, loaded in the background as they come;
// the markers and the attribution are drawn by the control itself, and addresses are looked up
// with the address search of map.ini.
class ucGMap : public QWidget {
    Q_OBJECT

public:
    explicit ucGMap(QWidget* parent = nullptr);
    ~ucGMap() override;

    // The program's values: the ending flag, the data folder with map.ini and the proxy settings.
    // Without a context the control never sends a request. map.ini is read at the first request
    // after this and then only by reloadConfiguration, never on an alarm's way.
    void setContext(AppContext* ctx);
    // Reads map.ini again (after the settings dialog); the view is requested anew when it changed.
    void reloadConfiguration();
    // map.ini as last read; read now when it has not been since setContext.
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
    // Centres and zooms the map so that the whole route is in view, and refreshes it; false
    // without a route.
    bool fitRoute();

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

    // Looks the address up and returns at once. When the answer has been handled,
    // locationLookupFinished(found) follows: found means the centre was set from it (GGeoResult
    // holds the coordinate text). Not found (no answer within the time limit, an error, an answer
    // without a location, or a newer centre set by the host through setGPoint meanwhile) leaves the
    // centre as it is. Dragging the map or changing zoom or map type meanwhile does not: the answer
    // still sets the centre. A newer lookup replaces a running one, which then reports nothing.
    void SetCenterToTextLocation(const QString& address);
    // The coordinate text of the latest lookup that reported; empty when it found nothing.
    [[nodiscard]] QString GGeoResult() const { return m_geoResult; }
    [[nodiscard]] QString GLastRequestUrl() const { return m_lastRequestUrl; }
    [[nodiscard]] int GRequestCounter() const { return m_requestCounter; }
    [[nodiscard]] QString GMouseCoordText() const { return m_mouseCoordText; }

    static constexpr int DefaultLookupTimeoutMs = 10000;
    [[nodiscard]] int lookupTimeoutMs() const { return m_lookupTimeoutMs; }
    void setLookupTimeoutMs(int ms) { m_lookupTimeoutMs = ms; }

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
    void locationLookupFinished(bool found);
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
    void onLookupAnswered(quint64 id, const std::optional<QByteArray>& body);
    void finishLookup(quint64 id, const std::optional<QString>& found);
    void requestTiles();
    void paintTiles(QPainter& painter);

    struct MarkerSpot {
        QString position;
        int color = 0;
        QString label;
    };

    QPointer<AppContext> m_ctx;
    MapClient* m_client = nullptr;
    TileLoader* m_tiles = nullptr;
    AddressSearch* m_search = nullptr;
    std::optional<MapConfig> m_config;
    // The map.ini of the latest Refresh when it chose the tile map.
    std::optional<MapConfig> m_osm;
    QList<MarkerSpot> m_markerSpots;
    QList<QPointF> m_route;
    QList<WaterFound> m_water;
    MapViewState m_view;
    QImage m_backBuf;
    std::optional<QPoint> m_dragStart;
    QString m_mouseCoordText;
    QString m_geoResult;
    QString m_lastRequestUrl;
    int m_requestCounter = 0;
    quint64 m_lookupId = 0;
    // The running lookup may still set the centre; a centre the host sets ends that, a drag does not.
    bool m_lookupMaySetCentre = false;
    int m_lookupTimeoutMs = DefaultLookupTimeoutMs;
    int m_tileTimeLimitMs = 0;
};
