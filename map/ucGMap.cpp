#include "map/ucGMap.h"

#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/GeoPoint.h"
#include "common/NumberText.h"
#include "map/AddressSearch.h"
#include "map/GeocodeXml.h"
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

namespace {

constexpr int kImageSize = 640;
// A static map larger than this is refused before it is decoded (the service sends 640 or 1280).
constexpr int kMostImageSide = 2048;

std::optional<QUrl> requestUrl(const MapConfig& config, const QString& url)
{
    if (!config.canSend())
        return std::nullopt;
    // Everything in the text is already percent-encoded where it has to be; strict parsing keeps
    // it exactly as composed.
    QUrl parsed = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

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
    connect(m_client, &MapClient::lookupAnswered, this, &ucGMap::onLookupAnswered);
}

ucGMap::~ucGMap() = default;

void ucGMap::setContext(AppContext* ctx)
{
    m_ctx = ctx;
    m_config.reset();
}

const MapConfig& ucGMap::config()
{
    if (!m_config)
        m_config = m_ctx ? MapConfig::read(m_ctx->DataFolder) : MapConfig();
    return *m_config;
}

void ucGMap::reloadConfiguration()
{
    const std::optional<MapConfig> before = m_config;
    m_config.reset();
    const MapConfig& now = config();
    if (before && *before != now)
        Refresh();
}

bool ucGMap::ending() const
{
    return m_ctx && m_ctx->ist_ende() == 1;
}

void ucGMap::setGZoom(int value)
{
    if (m_view.setZoom(value))
        Refresh();
}

void ucGMap::setGPoint(const QString& value)
{
    // The host sets the centre for a newer alarm: a lookup still running belongs to an older one.
    const QString before = m_view.centreText();
    applyCentre(value);
    if (m_view.centreText() != before)
        m_lookupMaySetCentre = false;
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
    if (m_ctx)
        m_client->setProxy(MapClient::proxyFor(m_ctx->settings));
    m_client->startMapRead(m_requestCounter, m_ctx ? requestUrl(config, m_lastRequestUrl) : std::nullopt);
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
    if (m_ctx)
        m_tiles->setProxy(MapClient::proxyFor(m_ctx->settings));
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
    if (m_route.size() > 1) {
        QPolygon line;
        for (const QPointF& point : std::as_const(m_route))
            line << MapTiles::toControl(m_view.lngToPxlX(point.x()), m_view.latToPxlY(point.y()), cx, cy, zoom, size());
        painter.setPen(QPen(QColor(0x1E, 0x5A, 0xD2, 200), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
    }
    if (zoom >= WaterSigns::MinZoom && !m_water.isEmpty()) {
        WaterSigns::paint(painter, m_water, [&](QPointF place) {
            return QPointF(
                MapTiles::toControl(m_view.lngToPxlX(place.x()), m_view.latToPxlY(place.y()), cx, cy, zoom, size()));
        });
    }
    for (const MarkerSpot& marker : std::as_const(m_markerSpots)) {
        MapViewState at;
        if (at.setCentreText(marker.position) != MapViewState::CentreChange::Moved)
            continue;
        const QPoint tip
            = MapTiles::toControl(m_view.lngToPxlX(at.lng()), m_view.latToPxlY(at.lat()), cx, cy, zoom, size());
        const QRect head(tip.x() - 11, tip.y() - 34, 22, 22);
        QPainterPath pin;
        pin.moveTo(tip);
        pin.arcTo(head, -60, 300);
        pin.closeSubpath();
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor::fromRgb(QRgb(marker.color) & 0xFFFFFF));
        painter.drawPath(pin);
        painter.drawText(head, Qt::AlignCenter, marker.label);
    }
    // The tile servers' licences ask for the attribution to stay visible.
    const QString text = m_osm->attribution;
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-4, -2, 4, 2);
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

bool ucGMap::fitRoute()
{
    if (m_route.size() < 2)
        return false;
    double west = 180, east = -180, south = 90, north = -90;
    for (const QPointF& p : std::as_const(m_route)) {
        west = std::min(west, p.x()), east = std::max(east, p.x());
        south = std::min(south, p.y()), north = std::max(north, p.y());
    }
    // The closest zoom at which the route and a margin fit into the control.
    const int margin = 40;
    int zoom = 18;
    for (; zoom > 1; --zoom) {
        const int wide = m_view.lngToPxlX(east, zoom) - m_view.lngToPxlX(west, zoom);
        const int high = m_view.latToPxlY(south, zoom) - m_view.latToPxlY(north, zoom);
        if (wide <= width() - 2 * margin && high <= height() - 2 * margin)
            break;
    }
    // Over a district's few kilometres the middle of the degrees is the middle of the map.
    setGZoom(zoom);
    setGPoint(GeoPoint { float((south + north) / 2), float((west + east) / 2) }.text());
    Refresh();
    return true;
}

void ucGMap::DelMarker()
{
    while (!Markers.isEmpty())
        Markers.removeLast();
    m_markerSpots.clear();
}

void ucGMap::SetCenterToTextLocation(const QString& address)
{
    const quint64 id = ++m_lookupId;
    m_lookupMaySetCentre = true;
    std::optional<QUrl> url;
    if (!ending() && m_ctx && !address.trimmed().isEmpty()) {
        const MapConfig& config = this->config();
        if (config.isOsm()) {
            if (!m_search) {
                m_search = new AddressSearch(this);
                connect(m_search, &AddressSearch::answered, this, &ucGMap::finishLookup);
            }
            m_search->setUserAgent(TileLoader::userAgent(config.contact));
            m_search->setProxy(MapClient::proxyFor(m_ctx->settings));
            m_lastRequestUrl = AddressSearch::searchUrl(config.search, address, config.countrycodes);
            m_search->start(id, m_lastRequestUrl, m_lookupTimeoutMs);
            return;
        }
        m_lastRequestUrl = MapUrls::geocodeUrl(config.host, address, config.key);
        m_client->setProxy(MapClient::proxyFor(m_ctx->settings));
        url = requestUrl(config, m_lastRequestUrl);
    }
    m_client->startLookup(id, url, m_lookupTimeoutMs);
}

void ucGMap::onLookupAnswered(quint64 id, const std::optional<QByteArray>& body)
{
    if (id != m_lookupId || !m_lookupMaySetCentre) {
        finishLookup(id, std::nullopt);
        return;
    }
    // Only the ASCII digits, signs and points of the coordinates are read from the answer.
    finishLookup(id, body ? GeocodeXml::findLocation(CodePage::decode(*body)) : std::nullopt);
}

void ucGMap::finishLookup(quint64 id, const std::optional<QString>& found)
{
    if (id != m_lookupId)
        return;
    if (!m_lookupMaySetCentre) {
        // The host set a centre while the lookup ran: the answer is older than what the map shows.
        m_geoResult.clear();
        emit locationLookupFinished(false);
        return;
    }
    m_lookupMaySetCentre = false;
    m_geoResult = found.value_or(QString());
    if (found)
        applyCentre(*found);
    emit locationLookupFinished(found.has_value());
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
