#include "map/MapProjection.h"

#include "common/NumberText.h"

#include <cmath>
#include <limits>

namespace MapProjection {

namespace {

// A whole pixel, halves to even. Values beyond the 32-bit range (only an absurd explicit zoom gets
// there) stay at its ends instead of wrapping.
int wholePixel(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = NumberText::roundHalfEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

double scaleOf(double zoom)
{
    return std::pow(2.0, zoom);
}

} // namespace

int lngToPxlX(double lng, double zoom)
{
    if (lng > 180)
        lng = 180;
    else if (lng < -180)
        lng = -180;
    const double x = ((lng * D + P) * TileSize) / T;
    return wholePixel(scaleOf(zoom) * x);
}

int latToPxlY(double lat, double zoom)
{
    if (lat > 85)
        lat = 85;
    else if (lat < -85)
        lat = -85;
    const double y = ((P - std::log(std::tan(P / 4 + (lat * D) / 2))) * TileSize) / T;
    return wholePixel(scaleOf(zoom) * y);
}

float pxlXToLng(double pxlX, double zoom, double imageWidth)
{
    double u = pxlX / scaleOf(zoom);
    if (u > imageWidth)
        u = imageWidth;
    else if (u < 0)
        u = 0;
    return static_cast<float>((u / TileSize * T - P) / D);
}

float pxlYToLat(double pxlY, double zoom, double imageHeight)
{
    double v = pxlY / scaleOf(zoom);
    if (v > imageHeight)
        v = imageHeight;
    else if (v < 0)
        v = 0;
    return static_cast<float>((2 * std::atan(std::exp(P - v / TileSize * T)) - P / 2) / D);
}

} // namespace MapProjection
