#include "map/MapUrls.h"

namespace MapUrls {

namespace {

bool passesUnchanged(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == ',';
}

} // namespace

QString UrlEncodeText(const QString& text)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (passesUnchanged(c)) {
            out += QLatin1Char(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += QLatin1Char('%');
            out += QLatin1Char(hexDigits[byte >> 4]);
            out += QLatin1Char(hexDigits[byte & 0x0F]);
        }
    }
    return out;
}

QString staticMapUrl(const QString& host, const QString& centre, int zoom, const QString& mapTypeName,
    const QStringList& markers, const QString& key)
{
    QString url = host + QStringLiteral("/maps/api/staticmap?sensor=false&format=jpg");
    url += QStringLiteral("&center=") + UrlEncodeText(centre);
    url += QStringLiteral("&zoom=") + QString::number(zoom);
    url += QStringLiteral("&size=640x640");
    url += QStringLiteral("&maptype=") + mapTypeName;
    for (const QString& marker : markers)
        url += marker;
    url += QStringLiteral("&key=") + UrlEncodeText(key);
    return url;
}

QString geocodeUrl(const QString& host, const QString& address, const QString& key)
{
    return host + QStringLiteral("/maps/api/geocode/xml?&sensor=false&address=") + UrlEncodeText(address)
        + QStringLiteral("&key=") + UrlEncodeText(key);
}

} // namespace MapUrls
