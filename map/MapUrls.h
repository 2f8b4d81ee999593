#pragma once

#include <QString>
#include <QStringList>

// The two requests to the map service, composed as text. The host is scheme, host and optional
// port without a trailing slash; the key is appended last.
namespace MapUrls {

// Percent-encodes every character outside letters, digits, "-", ".", "_", "~" and the comma as
// its UTF-8 bytes ("%20" for a blank, "%26" for "&", "%E2%82%AC" for the euro sign). Nothing is
// left out, and nothing the text holds can add or end a query parameter.
[[nodiscard]] QString UrlEncodeText(const QString& text);

// host + "/maps/api/staticmap?sensor=false&format=jpg&center=…&zoom=…&size=640x640&maptype=…",
// the marker fragments in their order, "&key=…". A coordinate text passes unchanged; anything
// else in the centre is encoded so that it stays within its parameter.
[[nodiscard]] QString staticMapUrl(const QString& host, const QString& centre, int zoom, const QString& mapTypeName,
    const QStringList& markers, const QString& key);

// host + "/maps/api/geocode/xml?&sensor=false&address=" + the encoded address + "&key=…".
[[nodiscard]] QString geocodeUrl(const QString& host, const QString& address, const QString& key);

} // namespace MapUrls
