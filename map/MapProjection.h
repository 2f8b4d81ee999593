#pragma once

#include <optional>

// The spherical Mercator projection of web maps, between degrees and world pixels. The world is
// 256 × 2^zoom pixels wide and high; x grows eastward from longitude −180, y grows southward from
// latitude +85.05113. The constants are the fifteen-digit values the map has always used (P is not
// the exact π); changing them moves every pixel centre, so they stay as they are.
namespace MapProjection {

inline constexpr double P = 3.14159265358979;
inline constexpr double T = 6.28318530717959;
inline constexpr double D = 0.0174532925199433;
inline constexpr double TileSize = 256;
inline constexpr double DefaultImageSize = 640;

// Longitude → world pixel X at the zoom, rounded half to even. Longitudes beyond ±180 count as ±180.
[[nodiscard]] int lngToPxlX(double lng, double zoom);

// Latitude → world pixel Y at the zoom, rounded half to even. Latitudes beyond ±85 count as ±85.
[[nodiscard]] int latToPxlY(double lat, double zoom);

// World pixel X → longitude, as a 32-bit float. The zoom-0 pixel is held within 0..imageWidth.
[[nodiscard]] float pxlXToLng(double pxlX, double zoom, double imageWidth = DefaultImageSize);

// World pixel Y → latitude, as a 32-bit float. The zoom-0 pixel is held within 0..imageHeight.
[[nodiscard]] float pxlYToLat(double pxlY, double zoom, double imageHeight = DefaultImageSize);

} // namespace MapProjection
