#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the next map image shows: centre, zoom and map type, with the centre also kept as 32-bit
// degrees and as world pixels at the current zoom. The setters only say whether the view changed;
// the map control decides to request an image.
class MapViewState {
public:
    enum class CentreChange {
        Unchanged, // empty or the same text: nothing happened
        Rejected, // stored, but not two fields: degrees and pixels stay as they were
        Moved, // stored, degrees and pixel centre recomputed
    };

    [[nodiscard]] int zoom() const { return m_zoom; }
    // Clamps to 0..20; true when the zoom changed (the pixel centre is then recomputed).
    bool setZoom(int value);
    // 2 to the power of the zoom.
    [[nodiscard]] int realZoom() const { return 1 << m_zoom; }

    [[nodiscard]] int mapType() const { return m_mapType; }
    // Clamps to 0..3.
    void setMapType(int value);
    // The service's name of a map type, or of the stored one; empty for an unknown number.
    [[nodiscard]] QString mapTypeName(std::optional<int> type = {}) const;

    // The centre exactly as last stored, "0,0" at first.
    [[nodiscard]] const QString& centreText() const { return m_centreText; }
    CentreChange setCentreText(const QString& text);

    [[nodiscard]] float lat() const { return m_lat; }
    [[nodiscard]] float lng() const { return m_lng; }
    [[nodiscard]] int centrePxlX() const { return m_centrePxlX; }
    [[nodiscard]] int centrePxlY() const { return m_centrePxlY; }

    // The conversions; a missing argument means the stored value (pixel centre, degrees, zoom, 640).
    // An explicit zoom is used as given, without clamping.
    [[nodiscard]] int lngToPxlX(
        std::optional<double> lng = {}, std::optional<double> zoom = {}, std::optional<double> imageWidth = {}) const;
    [[nodiscard]] int latToPxlY(
        std::optional<double> lat = {}, std::optional<double> zoom = {}, std::optional<double> imageHeight = {}) const;
    [[nodiscard]] float pxlXToLng(
        std::optional<double> pxlX = {}, std::optional<double> zoom = {}, std::optional<double> imageWidth = {}) const;
    [[nodiscard]] float pxlYToLat(
        std::optional<double> pxlY = {}, std::optional<double> zoom = {}, std::optional<double> imageHeight = {}) const;

private:
    void recomputePixelCentre();

    int m_zoom = 0;
    QString m_centreText = QStringLiteral("0,0");
    int m_mapType = 0;
    float m_lat = 0;
    float m_lng = 0;
    int m_centrePxlX = 0;
    int m_centrePxlY = 0;
};
