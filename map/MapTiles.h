#pragma once

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

// The tile map: the world at zoom z is 2^z × 2^z square tiles of 256 pixels, numbered from the
// top-left (x eastward, y southward), as XYZ tile servers number them.
namespace MapTiles {

constexpr int TileSize = 256;

struct Placement {
    int z = 0;
    int x = 0; // wrapped into 0 .. 2^z − 1
    int y = 0;
    QPoint topLeft; // where the tile's top-left corner lies in the control
};

// The tiles that cover a control of `size` pixels whose middle shows the world pixel
// (centreX, centreY) at `zoom`, one control pixel per world pixel. Columns wrap around the
// world in x; rows above or below the world are left out. The tile under the middle comes first,
// the others by their distance from it, so that the centre of the view loads first.
[[nodiscard]] QList<Placement> cover(int centreX, int centreY, int zoom, QSize size);

// The tile address with {z}, {x} and {y} replaced.
[[nodiscard]] QString tileUrl(const QString& pattern, int z, int x, int y);

// Where the world pixel (pxlX, pxlY) lies in the control, taking the copy of the world nearest the
// middle in x.
[[nodiscard]] QPoint toControl(double pxlX, double pxlY, int centreX, int centreY, int zoom, QSize size);

} // namespace MapTiles
