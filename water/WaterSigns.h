#pragma once

#include "water/WaterSource.h"

#include <QList>
#include <QRectF>

#include <functional>

class QPainter;

// The signs of the water sources as German fire services draw them: a red-framed white square
// with the kind's letter (U underground, O pillar, ...) and the diameter under it for hydrants, a
// blue square with a white letter for tanks, ponds and suction points. Used by the tile map on
// screen and by the printout's detail map.
namespace WaterSigns {

// Closer views only: further out the signs would cover the streets.
constexpr int MinZoom = 15;
// The sign's side in pixels at scale 1.
constexpr double Side = 20;

// Where a source's sign lies when its place is at `centre`.
[[nodiscard]] QRectF signRect(QPointF centre, double scale = 1.0);

// One sign as drawn: its square, and the source's place, which a sign moved aside points to.
struct Placed {
    QRectF sign;
    QPointF place;
    bool moved = false;
};

// The signs of `sources` (nearest first), each centred on the point `at` gives for its place
// (x longitude, y latitude); a sign that would lie under `keepClear` (the incident's marker) with
// its square or its diameter stands beside it instead, on the side of its place, clear of the
// signs moved before it.
[[nodiscard]] QList<Placed> places(const QList<WaterFound>& sources, const std::function<QPointF(QPointF)>& at,
    double scale = 1.0, const QRectF& keepClear = {});

// Draws the signs where places() puts them, a moved one with a line to its place; the nearest is
// drawn last, on top.
void paint(QPainter& painter, const QList<WaterFound>& sources, const std::function<QPointF(QPointF)>& at,
    double scale = 1.0, const QRectF& keepClear = {});

} // namespace WaterSigns
