#pragma once

#include <QString>

// Markers are drawn by the map service; the control keeps each as a ready query fragment:
// "&markers=color:0x" RRGGBB "%7Clabel:" label "%7C" position.
namespace MapMarker {

// The colour as six uppercase hexadecimal digits, highest byte first; only the lowest 24 bits count.
[[nodiscard]] QString ColorToHex(int color);

// The fragment for one marker. The label is the first character of markerChar (nothing when it is
// empty). A coordinate text and a letter or digit label pass unchanged; anything else is
// percent-encoded so that it cannot leave the markers parameter.
[[nodiscard]] QString fragment(const QString& position, int color, const QString& markerChar);

} // namespace MapMarker
