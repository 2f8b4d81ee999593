#include "common/GeoPoint.h"

#include <cmath>

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
