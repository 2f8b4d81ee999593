#pragma once

#include <QRect>

// Lengths of the main window are designed in twips; the window divides by a fixed 15 twips per pixel.
constexpr int kTwipsPerPixel = 15;

[[nodiscard]] constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

[[nodiscard]] constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// A rect in pixels from one in twips, converting its edges, so that controls laid out to meet in
// twips also meet on the screen.
[[nodiscard]] constexpr QRect twipsEdgesToPixels(const QRect& twips)
{
    const int left = twipsToPixels(twips.x());
    const int top = twipsToPixels(twips.y());
    return QRect(
        left, top, twipsToPixels(twips.x() + twips.width()) - left, twipsToPixels(twips.y() + twips.height()) - top);
}

[[nodiscard]] constexpr QRect pixelsToTwips(const QRect& pixels)
{
    return QRect(pixels.x() * kTwipsPerPixel, pixels.y() * kTwipsPerPixel, pixels.width() * kTwipsPerPixel,
        pixels.height() * kTwipsPerPixel);
}
