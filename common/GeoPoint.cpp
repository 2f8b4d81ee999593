#include "common/GeoPoint.h"

#include <algorithm>
#include <cmath>
#include <numbers>

std::optional<GeoPoint> GeoPoint::parse(QStringView text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0 || text.indexOf(QLatin1Char(','), comma + 1) >= 0)
        return std::nullopt;
    bool latOk = false, lonOk = false;
    // QStringView::toDouble reads the C locale's point and takes no blanks itself.
    const double lat = text.left(comma).trimmed().toDouble(&latOk);
    const double lon = text.mid(comma + 1).trimmed().toDouble(&lonOk);
    // "nan" and "inf" read as numbers, but name no place on the globe.
    if (!latOk || !lonOk || !std::isfinite(lat) || !std::isfinite(lon) || std::abs(lat) > 90 || std::abs(lon) > 180)
        return std::nullopt;
    return GeoPoint { lat, lon };
}

QString GeoPoint::number(float degrees)
{
    if (!std::isfinite(degrees))
        return QStringLiteral("0");
    // QString::number never uses the locale; 'g' drops trailing zeros.
    QString text = QString::number(static_cast<double>(degrees), 'g', 7);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString GeoPoint::text() const
{
    return number(float(lat)) + QLatin1Char(',') + number(float(lon));
}

double GeoPoint::meters(QPointF from, QPointF to)
{
    constexpr double kEarthRadius = 6371008.8;
    const auto radians = [](double degrees) { return degrees * std::numbers::pi / 180; };
    const double lat1 = radians(from.y()), lat2 = radians(to.y());
    const double dLat = lat2 - lat1, dLon = radians(to.x() - from.x());
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}
