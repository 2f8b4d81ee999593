#pragma once

#include <QString>

// Coordinate texts as the map control writes them: latitude, one comma, longitude; each number
// with at most seven significant digits, a point as decimal separator whatever the locale, no
// trailing zeros and no blanks ("48.09999,11.5"). Magnitudes below 0.0001 take the exponent form
// ("1e-05"), which the centre setter reads back.
namespace CoordinateText {

[[nodiscard]] QString number(float value);
[[nodiscard]] QString join(float lat, float lng);

} // namespace CoordinateText
