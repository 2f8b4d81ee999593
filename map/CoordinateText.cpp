#include "map/CoordinateText.h"

#include <cmath>

namespace CoordinateText {

QString number(float value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // QString::number never uses the locale; 'g' drops trailing zeros.
    QString text = QString::number(static_cast<double>(value), 'g', 7);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString join(float lat, float lng)
{
    return number(lat) + QLatin1Char(',') + number(lng);
}

} // namespace CoordinateText
