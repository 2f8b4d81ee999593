#include "app/MainLayout.h"

#include <algorithm>
#include <cmath>

namespace {

// A control refuses a negative position or size; the property keeps its value.
void setLeft(QRect& r, int value)
{
    if (value >= 0)
        r.moveLeft(value);
}

void setTop(QRect& r, int value)
{
    if (value >= 0)
        r.moveTop(value);
}

void setWidth(QRect& r, int value)
{
    if (value >= 0)
        r.setWidth(value);
}

void setHeight(QRect& r, int value)
{
    if (value >= 0)
        r.setHeight(value);
}

} // namespace

MainLayoutGeometry MainLayout::arrange(int W, int H, MainLayoutGeometry g)
{
    setLeft(g.cmd_ende, W - g.cmd_ende.width() - kEndButtonMargin);
    setHeight(g.List_Doku, H - g.List_Doku.top());
    setHeight(g.MSFlexGrid1, H - g.MSFlexGrid1.top());

    QRect& melder = g.Grid_Melder;
    QRect& status = g.Grid_Status;
    if (W < kWideFrom) {
        setHeight(melder, H - melder.top() - kNarrowStatusHeight);
        setWidth(melder, W - melder.left());
        setLeft(status, melder.left());
        setTop(status, melder.top() + melder.height());
        setHeight(status, H - melder.top() - melder.height());
    } else {
        setWidth(melder, kWidePagerWidth);
        setLeft(status, melder.left() + melder.width());
        setTop(status, melder.top());
        setHeight(status, H - status.top());
        setHeight(melder, H - melder.top());
    }
    setWidth(status, W - status.left());

    for (QRect& label : g.label_einsatz)
        setWidth(label, W - label.left());

    setWidth(g.roLabel1, W);
    return g;
}

double MainLayout::scale(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return std::min({ 1.0, double(width) / kDesignWidth, double(height) / kDesignHeight });
}

QRect MainLayout::scaled(const QRect& twips, double scale)
{
    const auto at = [scale](int v) { return int(std::lround(v * scale)); };
    const int left = at(twips.x()), top = at(twips.y());
    return QRect(left, top, at(twips.x() + twips.width()) - left, at(twips.y() + twips.height()) - top);
}
