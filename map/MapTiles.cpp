#include "map/MapTiles.h"

#include <algorithm>
#include <cmath>

namespace MapTiles {

namespace {

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

QList<Placement> cover(int centreX, int centreY, int zoom, QSize size)
{
    QList<Placement> out;
    if (zoom < 0 || zoom > 24 || size.isEmpty())
        return out;
    const qint64 tiles = qint64(1) << zoom;
    const qint64 left = qint64(centreX) - size.width() / 2;
    const qint64 top = qint64(centreY) - size.height() / 2;
    const qint64 firstCol = floorDiv(left, TileSize);
    const qint64 lastCol = floorDiv(left + size.width() - 1, TileSize);
    const qint64 firstRow = std::max<qint64>(0, floorDiv(top, TileSize));
    const qint64 lastRow = std::min<qint64>(tiles - 1, floorDiv(top + size.height() - 1, TileSize));
    for (qint64 row = firstRow; row <= lastRow; ++row) {
        for (qint64 col = firstCol; col <= lastCol; ++col) {
            const qint64 wrapped = ((col % tiles) + tiles) % tiles;
            out.append({ zoom, int(wrapped), int(row), QPoint(int(col * TileSize - left), int(row * TileSize - top)) });
        }
    }
    const QPoint middle(size.width() / 2 - TileSize / 2, size.height() / 2 - TileSize / 2);
    std::stable_sort(out.begin(), out.end(), [&middle](const Placement& a, const Placement& b) {
        return (a.topLeft - middle).manhattanLength() < (b.topLeft - middle).manhattanLength();
    });
    return out;
}

QString tileUrl(const QString& pattern, int z, int x, int y)
{
    QString url = pattern;
    url.replace(QLatin1String("{z}"), QString::number(z));
    url.replace(QLatin1String("{x}"), QString::number(x));
    url.replace(QLatin1String("{y}"), QString::number(y));
    return url;
}

QPoint toControl(double pxlX, double pxlY, int centreX, int centreY, int zoom, QSize size)
{
    const double world = std::ldexp(double(TileSize), zoom);
    double dx = std::fmod(pxlX - centreX, world);
    if (dx > world / 2)
        dx -= world;
    else if (dx < -world / 2)
        dx += world;
    return QPoint(int(std::lround(dx)) + size.width() / 2, int(std::lround(pxlY - centreY)) + size.height() / 2);
}

} // namespace MapTiles
