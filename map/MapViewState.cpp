#include "map/MapViewState.h"

#include "common/NumberText.h"
#include "map/MapProjection.h"

#include <algorithm>

bool MapViewState::setZoom(int value)
{
    const int clamped = std::clamp(value, 0, 20);
    if (clamped == m_zoom)
        return false;
    m_zoom = clamped;
    recomputePixelCentre();
    return true;
}

void MapViewState::setMapType(int value)
{
    m_mapType = std::clamp(value, 0, 3);
}

QString MapViewState::mapTypeName(std::optional<int> type) const
{
    switch (type.value_or(m_mapType)) {
    case 0:
        return QStringLiteral("roadmap");
    case 1:
        return QStringLiteral("satellite");
    case 2:
        return QStringLiteral("hybrid");
    case 3:
        return QStringLiteral("terrain");
    default:
        return {};
    }
}

MapViewState::CentreChange MapViewState::setCentreText(const QString& text)
{
    if (text.isEmpty() || text == m_centreText)
        return CentreChange::Unchanged;
    // The text is kept even when it turns out not to be a coordinate text: the next request
    // carries it, and setting it again is recognised as no change.
    m_centreText = text;
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 2)
        return CentreChange::Rejected;
    const NumberText::Options withExponent { .allowExponent = true };
    m_lat = static_cast<float>(NumberText::readLeadingNumber(fields[0], withExponent));
    m_lng = static_cast<float>(NumberText::readLeadingNumber(fields[1], withExponent));
    recomputePixelCentre();
    return CentreChange::Moved;
}

void MapViewState::recomputePixelCentre()
{
    m_centrePxlX = lngToPxlX();
    m_centrePxlY = latToPxlY();
}

int MapViewState::lngToPxlX(std::optional<double> lng, std::optional<double> zoom, std::optional<double>) const
{
    return MapProjection::lngToPxlX(lng.value_or(m_lng), zoom.value_or(m_zoom));
}

int MapViewState::latToPxlY(std::optional<double> lat, std::optional<double> zoom, std::optional<double>) const
{
    return MapProjection::latToPxlY(lat.value_or(m_lat), zoom.value_or(m_zoom));
}

float MapViewState::pxlXToLng(
    std::optional<double> pxlX, std::optional<double> zoom, std::optional<double> imageWidth) const
{
    return MapProjection::pxlXToLng(
        pxlX.value_or(m_centrePxlX), zoom.value_or(m_zoom), imageWidth.value_or(MapProjection::DefaultImageSize));
}

float MapViewState::pxlYToLat(
    std::optional<double> pxlY, std::optional<double> zoom, std::optional<double> imageHeight) const
{
    return MapProjection::pxlYToLat(
        pxlY.value_or(m_centrePxlY), zoom.value_or(m_zoom), imageHeight.value_or(MapProjection::DefaultImageSize));
}
