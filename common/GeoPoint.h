#pragma once

#include <QPointF>
#include <QString>
#include <QStringView>

#include <optional>

// A place on the globe in decimal degrees. Its text is the coordinate text that the alarm, the map,
// the files and the requests use: latitude, one comma, longitude ("51.5136,7.4653").
struct GeoPoint {
    double lat = 0;
    double lon = 0;

    // "lat,lon": two numbers with a decimal point, blanks around each allowed. Nothing when a
    // field is missing, extra or no number, or the place is not on the globe (not finite,
    // |lat| > 90, |lon| > 180).
    [[nodiscard]] static std::optional<GeoPoint> parse(QStringView text);

    // Each number with at most seven significant digits (the map control's 32-bit degrees), a
    // point whatever the locale, no trailing zeros, no blanks ("48.09999,11.5"); magnitudes below
    // 0.0001 take the exponent form ("1e-05"), which parse() reads back.
    [[nodiscard]] QString text() const;
    // One number of the text.
    [[nodiscard]] static QString number(float degrees);

    // x the longitude, y the latitude.
    [[nodiscard]] QPointF toPointF() const { return { lon, lat }; }
    [[nodiscard]] static GeoPoint fromPointF(QPointF p) { return { p.y(), p.x() }; }

    // Distance in metres on the earth's mean sphere (x the longitude, y the latitude); good to
    // centimetres within a few kilometres.
    [[nodiscard]] static double meters(QPointF from, QPointF to);

    bool operator==(const GeoPoint&) const = default;
};
