#include "print/PrintMaps.h"

#include "common/AppContext.h"
#include "common/GeoPoint.h"
#include "config/StationSettings.h"
#include "map/MapClient.h"
#include "map/MapMarker.h"
#include "map/MapProjection.h"
#include "map/MapTiles.h"
#include "map/MapUrls.h"
#include "map/PictureBytes.h"
#include "map/TileLoader.h"
#include "water/WaterSigns.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {

constexpr int kZooms[2] = { PrintMaps::OverviewZoom, PrintMaps::DetailZoom };
constexpr int kMarkerColour = 0x0000FF; // red, lowest byte first as the map service counts

// The incident: a red ring with a cross, readable on a black-and-white printer too.
void drawMarker(QPainter& p, QPointF at)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 7));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, 22, 22);
    p.setPen(QPen(QColor(220, 0, 0), 4));
    p.drawEllipse(at, 22, 22);
    p.drawLine(at - QPointF(34, 0), at - QPointF(10, 0));
    p.drawLine(at + QPointF(10, 0), at + QPointF(34, 0));
    p.drawLine(at - QPointF(0, 34), at - QPointF(0, 10));
    p.drawLine(at + QPointF(0, 10), at + QPointF(0, 34));
}

// The tile servers' licences ask for the attribution on every map.
void drawAttribution(QPainter& p, const QString& text, QSize size)
{
    if (text.isEmpty())
        return;
    QFont f = p.font();
    f.setPixelSize(18);
    p.setFont(f);
    const QRect box = p.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
    const QRect placed(size.width() - box.width(), size.height() - box.height(), box.width(), box.height());
    p.fillRect(placed, QColor(255, 255, 255, 210));
    p.setPen(Qt::black);
    p.drawText(placed, Qt::AlignCenter, text);
}

} // namespace

PrintMaps::PrintMaps(AppContext& ctx, const StationSettings& settings, const QString& tileCacheFolder, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_settings(settings)
    , m_tileCacheFolder(tileCacheFolder)
{
}

QStringList PrintMaps::tileUrls(QPointF position, int zoom) const
{
    QStringList urls;
    const int cx = MapProjection::lngToPxlX(position.x(), zoom);
    const int cy = MapProjection::latToPxlY(position.y(), zoom);
    for (const MapTiles::Placement& p : MapTiles::cover(cx, cy, zoom, QSize(Side, Side)))
        urls.append(MapTiles::tileUrl(m_config.tiles, p.z, p.x, p.y));
    return urls;
}

QString PrintMaps::staticUrl(QPointF position, int zoom) const
{
    const QString centre = GeoPoint { float(position.y()), float(position.x()) }.text();
    // Twice the pixels of the screen's map, for the paper.
    return MapUrls::staticMapUrl(m_config.host, centre, zoom, QStringLiteral("roadmap"),
               { MapMarker::fragment(centre, kMarkerColour, QStringLiteral("E")) }, m_config.key)
        + QStringLiteral("&scale=2");
}

PrintMaps::View PrintMaps::overviewView(QPointF position, const QList<QPointF>& route)
{
    if (route.size() < 2)
        return { position, OverviewZoom };
    double west = position.x(), east = west, south = position.y(), north = south;
    for (const QPointF& p : route) {
        west = std::min(west, p.x()), east = std::max(east, p.x());
        south = std::min(south, p.y()), north = std::max(north, p.y());
    }
    const int room = Side - 2 * 60;
    int zoom = OverviewZoom;
    while (zoom > 2
        && (MapProjection::lngToPxlX(east, zoom) - MapProjection::lngToPxlX(west, zoom) > room
            || MapProjection::latToPxlY(south, zoom) - MapProjection::latToPxlY(north, zoom) > room))
        --zoom;
    return { QPointF((west + east) / 2, (south + north) / 2), zoom };
}

void PrintMaps::gather(QPointF position, const QList<QPointF>& route)
{
    m_config = configSource ? configSource() : MapConfig();
    m_gathering = true;
    if (m_config.isOsm()) {
        if (!m_tiles) {
            m_tiles = new TileLoader(m_tileCacheFolder, this);
            // The page's tiles, kept for Ctrl+P; a page at a new place replaces them.
            m_tiles->keepViewOnly();
            connect(m_tiles, &TileLoader::idle, this, &PrintMaps::finishGathering);
        }
        m_tiles->setContact(m_config.contact);
        m_tiles->setProxy(MapClient::proxyFor(m_settings));
        // Emits idle at once when every tile is in memory already.
        const View overview = overviewView(position, route);
        m_tiles->setView(tileUrls(overview.centre, overview.zoom) + tileUrls(position, DetailZoom));
        return;
    }
    if (m_tiles)
        m_tiles->setView({});
    m_staticPosition = position;
    m_staticImages[0] = m_staticImages[1] = QImage();
    m_staticWaiting = 0;
    ++m_staticRead;
    if (m_config.canSend()) {
        for (int i = 0; i < 2; ++i) {
            if (!m_staticClients[i]) {
                m_staticClients[i] = new MapClient(this);
                connect(m_staticClients[i], &MapClient::mapReadFinished, this,
                    [this, i](int number, const std::optional<QByteArray>& body) {
                        if (number == m_staticRead)
                            onStaticAnswer(i, body);
                    });
            }
            const QUrl url = QUrl::fromEncoded(staticUrl(position, kZooms[i]).toUtf8(), QUrl::StrictMode);
            if (!url.isValid())
                continue;
            m_staticClients[i]->setProxy(MapClient::proxyFor(m_settings));
            m_staticClients[i]->startMapRead(m_staticRead, url);
            ++m_staticWaiting;
        }
    }
    if (m_staticWaiting == 0)
        QTimer::singleShot(0, this, &PrintMaps::finishGathering);
}

void PrintMaps::onStaticAnswer(int index, const std::optional<QByteArray>& body)
{
    if (body) {
        QImage image = PictureBytes::decode(*body, 2 * Side);
        if (!image.isNull())
            m_staticImages[index] = image.convertToFormat(QImage::Format_RGB32);
    }
    if (--m_staticWaiting == 0)
        finishGathering();
}

void PrintMaps::finishGathering()
{
    if (!m_gathering)
        return;
    m_gathering = false;
    emit gathered();
}

QImage PrintMaps::tileMap(View view, QPointF position, const QList<QPointF>& route, const QList<WaterFound>& water,
    int* missing, int* wanted) const
{
    QImage image(Side, Side, QImage::Format_RGB32);
    image.fill(QColor(232, 232, 232));
    const int zoom = view.zoom;
    const int cx = MapProjection::lngToPxlX(view.centre.x(), zoom);
    const int cy = MapProjection::latToPxlY(view.centre.y(), zoom);
    const auto at = [&](QPointF point) {
        return MapTiles::toControl(MapProjection::lngToPxlX(point.x(), zoom), MapProjection::latToPxlY(point.y(), zoom),
            cx, cy, zoom, image.size());
    };
    QPainter p(&image);
    int found = 0;
    for (const MapTiles::Placement& place : MapTiles::cover(cx, cy, zoom, image.size())) {
        ++*wanted;
        const QImage* tile
            = m_tiles ? m_tiles->tile(MapTiles::tileUrl(m_config.tiles, place.z, place.x, place.y)) : nullptr;
        if (tile) {
            p.drawImage(place.topLeft, *tile);
            ++found;
        } else {
            ++*missing;
        }
    }
    if (found == 0)
        return {};
    if (route.size() > 1) {
        QPolygon line;
        for (const QPointF& point : route)
            line << at(point);
        p.setRenderHint(QPainter::Antialiasing);
        // Dark enough for a black-and-white printer.
        p.setPen(QPen(QColor(20, 60, 170), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(line);
    }
    // On paper the signs are a little larger than on screen: about 3 mm at the page's scale.
    if (zoom >= WaterSigns::MinZoom)
        WaterSigns::paint(
            p, water, [&](QPointF place) { return QPointF(at(place)); }, 1.25);
    drawMarker(p, at(position));
    drawAttribution(p, m_config.attribution, image.size());
    return image;
}

PrintMaps::Maps PrintMaps::compose(QPointF position, const QList<QPointF>& route, const QList<WaterFound>& water) const
{
    Maps maps;
    if (m_config.isOsm()) {
        maps.overview = tileMap(overviewView(position, route), position, route, {}, &maps.missing, &maps.wanted);
        maps.detail = tileMap({ position, DetailZoom }, position, {}, water, &maps.missing, &maps.wanted);
        return maps;
    }
    // The static service draws the marker and its own attribution into the picture.
    maps.wanted = 2;
    const bool here = m_staticPosition == position;
    maps.overview = here ? m_staticImages[0] : QImage();
    maps.detail = here ? m_staticImages[1] : QImage();
    maps.missing = int(maps.overview.isNull()) + int(maps.detail.isNull());
    return maps;
}
