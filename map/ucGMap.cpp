#include "map/ucGMap.h"

#include "common/AppContext.h"
#include "common/GeoPoint.h"
#include "common/NumberText.h"
#include "config/StationSettings.h"
#include "map/MapClient.h"
#include "map/MapConfig.h"
#include "map/MapMarker.h"
#include "map/MapTiles.h"
#include "map/MapUrls.h"
#include "map/PictureBytes.h"
#include "map/TileLoader.h"
#include "water/WaterSigns.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kImageSize = 640;
// A static map larger than this is refused before it is decoded (the service sends 640 or 1280).
constexpr int kMostImageSide = 2048;

} // namespace

ucGMap::ucGMap(QWidget* parent)
    : QWidget(parent)
    , m_client(new MapClient(this))
    , m_backBuf(kImageSize, kImageSize, QImage::Format_RGB32)
{
    m_backBuf.fill(Qt::white);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    connect(m_client, &MapClient::mapReadFinished, this, [this](int number, const std::optional<QByteArray>& body) {
        const bool shown = body && LoadMapPicture(*body);
        emit mapRequestFinished(number, shown);
    });
}

ucGMap::~ucGMap() = default;

void ucGMap::setContext(AppContext* ctx, const StationSettings* settings)
{
    m_ctx = ctx;
    m_settings = settings;
}

const MapConfig& ucGMap::config()
{
    m_configUsed = true;
    if (!m_config)
        m_config = MapConfig();
    return *m_config;
}

void ucGMap::setConfig(const MapConfig& config)
{
    // A view requested with other values is requested anew.
    const std::optional<MapConfig> before = std::exchange(m_config, config);
    if (m_configUsed && before && *before != config)
        Refresh();
}

bool ucGMap::ending() const
{
    return m_ctx && m_ctx->ist_ende();
}

void ucGMap::setGZoom(int value)
{
    if (m_view.setZoom(value))
        Refresh();
}

void ucGMap::setGPoint(const QString& value)
{
    applyCentre(value);
}

void ucGMap::setIdleView(const std::optional<QString>& centre, int zoom)
{
    const bool zoomed = m_view.setZoom(zoom);
    if (centre && (m_view.setCentreText(*centre) == MapViewState::CentreChange::Moved || zoomed))
        Refresh();
}

void ucGMap::applyCentre(const QString& value)
{
    if (m_view.setCentreText(value) == MapViewState::CentreChange::Moved)
        Refresh();
}

void ucGMap::setMapType(int value)
{
    m_view.setMapType(value);
    Refresh();
}

int ucGMap::Refresh()
{
    if (ending())
        return 0;
    ++m_requestCounter;
    const MapConfig& config = this->config();
    if (config.isOsm()) {
        m_osm = config;
        m_client->startMapRead(m_requestCounter, std::nullopt);
        requestTiles();
        update();
        return m_requestCounter;
    }
    if (m_osm) {
        m_osm.reset();
        if (m_tiles)
            m_tiles->setView({});
    }
    m_lastRequestUrl = MapUrls::staticMapUrl(
        config.host, m_view.centreText(), m_view.zoom(), m_view.mapTypeName(), Markers, config.key);
    if (m_ctx && m_settings)
        m_client->setProxy(MapClient::proxyFor(*m_settings));
    m_client->startMapRead(m_requestCounter, m_ctx ? config.sendable(m_lastRequestUrl) : std::nullopt);
    return m_requestCounter;
}

void ucGMap::Cancel_Dwonload(const QString& xkey)
{
    if (!xkey.startsWith(QLatin1String("C=")))
        return;
    bool ok = false;
    const int number = xkey.mid(2).toInt(&ok);
    if (ok)
        m_client->cancelMapRead(number);
}

bool ucGMap::LoadMapPicture(const QByteArray& bytes)
{
    if (bytes.size() < MapClient::MinimumImageBytes)
        return false;
    QImage picture = PictureBytes::decode(bytes, kMostImageSide);
    if (picture.isNull())
        return false;
    if (picture.size() != QSize(kImageSize, kImageSize))
        picture = picture.scaled(kImageSize, kImageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_backBuf = picture.convertToFormat(QImage::Format_RGB32);
    repaint();
    emit mapPictureChanged();
    return true;
}

void ucGMap::requestTiles()
{
    if (!m_osm)
        return;
    if (!m_tiles) {
        m_tiles = new TileLoader(QString(), this);
        connect(m_tiles, &TileLoader::tileLoaded, this, qOverload<>(&QWidget::update));
        setTileTimeLimitMs(m_tileTimeLimitMs);
    }
    m_tiles->setContact(m_osm->contact);
    if (m_ctx && m_settings)
        m_tiles->setProxy(MapClient::proxyFor(*m_settings));
    const QString& pattern = m_osm->tilesFor(m_view.mapType());
    QList<QString> urls;
    for (const MapTiles::Placement& p :
        MapTiles::cover(m_view.centrePxlX(), m_view.centrePxlY(), m_view.zoom(), size()))
        urls.append(MapTiles::tileUrl(pattern, p.z, p.x, p.y));
    if (!urls.isEmpty())
        m_lastRequestUrl = urls.first();
    m_tiles->setView(urls);
}

void ucGMap::setTileTimeLimitMs(int ms)
{
    m_tileTimeLimitMs = ms;
    if (m_tiles && ms > 0)
        m_tiles->setTimeLimitMs(ms);
}

void ucGMap::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    requestTiles();
}

void ucGMap::paintTiles(QPainter& painter)
{
    painter.fillRect(rect(), QColor(0xE0, 0xDF, 0xDB));
    const QString& pattern = m_osm->tilesFor(m_view.mapType());
    const int cx = m_view.centrePxlX(), cy = m_view.centrePxlY(), zoom = m_view.zoom();
    if (m_tiles) {
        for (const MapTiles::Placement& p : MapTiles::cover(cx, cy, zoom, size())) {
            if (const QImage* tile = m_tiles->tile(MapTiles::tileUrl(pattern, p.z, p.x, p.y)))
                painter.drawImage(p.topLeft, *tile);
        }
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = m_paintScale;
    if (m_route.size() > 1) {
        QPolygon line;
        for (const QPointF& point : std::as_const(m_route))
            line << MapTiles::toControl(m_view.lngToPxlX(point.x()), m_view.latToPxlY(point.y()), cx, cy, zoom, size());
        painter.setPen(QPen(QColor(0x1E, 0x5A, 0xD2, 200), 6 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
    }
    // The markers' tips; the signs keep clear of their pins.
    QList<std::pair<QPoint, const MarkerSpot*>> tips;
    QRectF pins;
    for (const MarkerSpot& marker : std::as_const(m_markerSpots)) {
        MapViewState at;
        if (at.setCentreText(marker.position) != MapViewState::CentreChange::Moved)
            continue;
        const QPoint tip
            = MapTiles::toControl(m_view.lngToPxlX(at.lng()), m_view.latToPxlY(at.lat()), cx, cy, zoom, size());
        tips.append({ tip, &marker });
        pins |= QRectF(markerPin(tip, s));
    }
    if (zoom >= WaterSigns::MinZoom && !m_water.isEmpty()) {
        WaterSigns::paint(
            painter, m_water,
            [&](QPointF place) {
                return QPointF(MapTiles::toControl(
                    m_view.lngToPxlX(place.x()), m_view.latToPxlY(place.y()), cx, cy, zoom, size()));
            },
            s, pins);
    }
    QFont letter = painter.font();
    letter.setBold(true);
    letter.setPixelSize(std::max(1, int(std::lround(13 * s))));
    painter.setFont(letter);
    for (const auto& [tip, marker] : std::as_const(tips)) {
        const QRect pinBox = markerPin(tip, s);
        const QRect head(pinBox.topLeft(), QSize(pinBox.width(), pinBox.width()));
        QPainterPath pin;
        pin.moveTo(tip);
        pin.arcTo(head, -60, 300);
        pin.closeSubpath();
        painter.setPen(QPen(Qt::black, s));
        painter.setBrush(QColor::fromRgb(QRgb(marker->color) & 0xFFFFFF));
        painter.drawPath(pin);
        painter.drawText(head, Qt::AlignCenter, marker->label);
    }
    // The tile servers' licences ask for the attribution to stay visible.
    const QString text = m_osm->attribution;
    QFont font = painter.font();
    font.setBold(false);
    font.setPixelSize(std::max(1, int(std::lround(11 * s))));
    painter.setFont(font);
    const int padX = int(std::lround(4 * s)), padY = int(std::lround(2 * s));
    const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-padX, -padY, padX, padY);
    const QRect corner(width() - box.width(), height() - box.height(), box.width(), box.height());
    painter.fillRect(corner, QColor(255, 255, 255, 200));
    painter.setPen(Qt::black);
    painter.drawText(corner, Qt::AlignCenter, text);
}

void ucGMap::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_osm) {
        paintTiles(painter);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_backBuf);
}

void ucGMap::AddMarker(const QString& pos, int color, const QString& markerChar)
{
    Markers.append(MapMarker::fragment(pos, color, markerChar));
    m_markerSpots.append({ pos, color, markerChar.left(1) });
}

void ucGMap::setRoute(const QList<QPointF>& points)
{
    m_route = points;
    update();
}

void ucGMap::setWaterSources(const QList<WaterFound>& sources)
{
    m_water = sources;
    update();
}

void ucGMap::setPaintScale(double scale)
{
    if (scale <= 0 || scale == m_paintScale)
        return;
    m_paintScale = scale;
    update();
}

QRect ucGMap::markerPin(QPoint tip, double scale)
{
    // A round head 22 pixels across whose point is the tip, 34 pixels below the head's top.
    const int side = std::max(1, int(std::lround(22 * scale)));
    const int tall = std::max(side, int(std::lround(34 * scale)));
    return { tip.x() - side / 2, tip.y() - tall, side, tall };
}

bool ucGMap::fitRoute()
{
    if (m_route.size() < 2)
        return false;
    double west = 180, east = -180, south = 90, north = -90;
    for (const QPointF& p : std::as_const(m_route)) {
        west = std::min(west, p.x()), east = std::max(east, p.x());
        south = std::min(south, p.y()), north = std::max(north, p.y());
    }
    // The closest zoom at which the route fits into the control with a margin on every side: a
    // share of the shorter side, at least the marker's pin above the incident.
    const int margin = std::max(int(std::ceil(FitMargin * std::min(width(), height()))),
        markerPin(QPoint(), m_paintScale).height() + int(std::lround(6 * m_paintScale)));
    int zoom = 18;
    for (; zoom > 1; --zoom) {
        const int wide = m_view.lngToPxlX(east, zoom) - m_view.lngToPxlX(west, zoom);
        const int high = m_view.latToPxlY(south, zoom) - m_view.latToPxlY(north, zoom);
        if (wide <= width() - 2 * margin && high <= height() - 2 * margin)
            break;
    }
    // The middle of the route's box in the map's pixels; across the date line nobody drives.
    const double middleY = (m_view.latToPxlY(south, zoom) + m_view.latToPxlY(north, zoom)) / 2.0;
    setGZoom(zoom);
    setGPoint(GeoPoint { m_view.pxlYToLat(middleY, zoom), float((west + east) / 2) }.text());
    Refresh();
    return true;
}

void ucGMap::DelMarker()
{
    while (!Markers.isEmpty())
        Markers.removeLast();
    m_markerSpots.clear();
}

ucGMap::ImageOffset ucGMap::imageOffset(QPointF position) const
{
    if (m_osm) // one control pixel is one world pixel
        return { static_cast<float>(position.x() - width() / 2), static_cast<float>(position.y() - height() / 2) };
    const double w = std::max(width(), 1);
    const double h = std::max(height(), 1);
    return { static_cast<float>((position.x() / w - 0.5) * kImageSize),
        static_cast<float>((position.y() / h - 0.5) * kImageSize) };
}

void ucGMap::mousePressEvent(QMouseEvent* event)
{
    const ImageOffset offset = imageOffset(event->position());
    if (event->button() == Qt::LeftButton) {
        m_dragStart = QPoint(static_cast<int>(NumberText::roundHalfEven(offset.x)),
            static_cast<int>(NumberText::roundHalfEven(offset.y)));
    }
}

void ucGMap::mouseMoveEvent(QMouseEvent* event)
{
    const ImageOffset offset = imageOffset(event->position());
    const float lat = m_view.pxlYToLat(static_cast<double>(offset.y) + m_view.centrePxlY());
    const float lng = m_view.pxlXToLng(static_cast<double>(offset.x) + m_view.centrePxlX());
    m_mouseCoordText = GeoPoint { lat, lng }.text();
    emit MouseMove(m_mouseCoordText);
}

void ucGMap::mouseReleaseEvent(QMouseEvent* event)
{
    const ImageOffset offset = imageOffset(event->position());
    if (m_dragStart) {
        const double dx = NumberText::roundHalfEven(m_dragStart->x() - static_cast<double>(offset.x));
        const double dy = NumberText::roundHalfEven(m_dragStart->y() - static_cast<double>(offset.y));
        m_dragStart.reset();
        const float lat = m_view.pxlYToLat(m_view.centrePxlY() + dy);
        const float lng = m_view.pxlXToLng(m_view.centrePxlX() + dx);
        // The operator's look around does not make a running lookup's answer stale: the incident
        // still gets its centre when the answer comes.
        applyCentre(GeoPoint { lat, lng }.text());
    }
    emit MouseUp(m_mouseCoordText);
}

void ucGMap::mouseDoubleClickEvent(QMouseEvent*)
{
    // Takes the place of the second press: it starts no drag.
    emit DblClick(m_mouseCoordText);
}
