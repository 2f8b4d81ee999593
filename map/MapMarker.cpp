#include "map/MapMarker.h"

#include "map/MapUrls.h"

namespace MapMarker {

namespace {

QString lastTwoHexDigits(int value)
{
    // Negative values are written in two's complement, as the colour's bits stand.
    const QString hex = QLatin1Char('0') + QString::number(static_cast<quint32>(value), 16).toUpper();
    return hex.right(2);
}

} // namespace

QString ColorToHex(int color)
{
    return lastTwoHexDigits(color / 65536) + lastTwoHexDigits((color / 256) & 0xFF) + lastTwoHexDigits(color & 0xFF);
}

QString fragment(const QString& position, int color, const QString& markerChar)
{
    QString label;
    if (!markerChar.isEmpty())
        label = markerChar.left(markerChar.front().isHighSurrogate() ? 2 : 1);
    return QStringLiteral("&markers=color:0x") + ColorToHex(color) + QStringLiteral("%7Clabel:")
        + MapUrls::UrlEncodeText(label) + QStringLiteral("%7C") + MapUrls::UrlEncodeText(position);
}

} // namespace MapMarker
