#include "water/WaterSigns.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

namespace {

const QColor kRed(0xD0, 0x10, 0x10);
const QColor kBlue(0x10, 0x50, 0xC8);
// The diameter's box under a hydrant's square, and the air between a moved sign and the marker.
constexpr double kUnder = 13;
constexpr double kAir = 4;

} // namespace

namespace WaterSigns {

QRectF signRect(QPointF centre, double scale)
{
    const double side = Side * scale;
    return { centre.x() - side / 2, centre.y() - side / 2, side, side };
}

QList<Placed> places(
    const QList<WaterFound>& sources, const std::function<QPointF(QPointF)>& at, double scale, const QRectF& keepClear)
{
    QList<Placed> placed;
    QList<QRectF> taken; // the footprints of the signs moved so far
    const auto footprint = [scale](const QRectF& sign) { return sign.adjusted(0, 0, 0, kUnder * scale); };
    for (const WaterFound& found : sources) {
        const QPointF place = at(QPointF(found.source.lon, found.source.lat));
        Placed p { signRect(place, scale), place, false };
        if (!keepClear.isEmpty() && footprint(p.sign).intersects(keepClear)) {
            // Beside the marker on the side of the place, at the place's height; below the signs
            // already moved there when they are in the way.
            const double air = kAir * scale;
            const bool right = place.x() >= keepClear.center().x();
            p.sign.moveLeft(right ? keepClear.right() + air : keepClear.left() - air - p.sign.width());
            for (bool clear = false; !clear;) {
                clear = true;
                for (const QRectF& other : std::as_const(taken)) {
                    if (footprint(p.sign).intersects(other.adjusted(0, -air, 0, air))) {
                        p.sign.moveTop(other.bottom() + air);
                        clear = false;
                    }
                }
            }
            p.moved = true;
            taken.append(footprint(p.sign));
        }
        placed.append(p);
    }
    return placed;
}

void paint(QPainter& painter, const QList<WaterFound>& sources, const std::function<QPointF(QPointF)>& at, double scale,
    const QRectF& keepClear)
{
    const QList<Placed> placed = places(sources, at, scale, keepClear);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QFont letterFont(QStringLiteral("Liberation Sans"));
    letterFont.setBold(true);
    letterFont.setPixelSize(qRound(13 * scale));
    QFont diameterFont(QStringLiteral("Liberation Sans"));
    diameterFont.setBold(true);
    diameterFont.setPixelSize(qRound(10 * scale));
    for (qsizetype i = sources.size() - 1; i >= 0; --i) {
        const WaterSource& s = sources.at(i).source;
        const QRectF& sign = placed.at(i).sign;
        const bool hydrant = Water::isHydrant(s.kind);
        const QColor frame = hydrant ? kRed : kBlue;
        if (placed.at(i).moved) {
            // A line from the place to the sign's nearest edge, and a dot on the place.
            const QPointF place = placed.at(i).place;
            const QPointF edge(
                std::clamp(place.x(), sign.left(), sign.right()), std::clamp(place.y(), sign.top(), sign.bottom()));
            painter.setPen(QPen(frame, 2 * scale));
            painter.drawLine(place, edge);
            painter.setBrush(frame);
            painter.drawEllipse(place, 3 * scale, 3 * scale);
        }
        painter.setPen(QPen(hydrant ? kRed : Qt::white, 2.5 * scale));
        painter.setBrush(hydrant ? QColor(Qt::white) : kBlue);
        painter.drawRect(sign);
        painter.setFont(letterFont);
        painter.setPen(hydrant ? kRed : QColor(Qt::white));
        painter.drawText(sign, Qt::AlignCenter, QString(Water::letter(s.kind)));
        if (s.diameterMm <= 0)
            continue;
        painter.setFont(diameterFont);
        const QString text = QString::number(s.diameterMm);
        const QRectF box = painter.fontMetrics().boundingRect(text).toRectF().adjusted(-2 * scale, 0, 2 * scale, 0);
        const QRectF under(sign.center().x() - box.width() / 2, sign.bottom() + 1 * scale, box.width(), box.height());
        painter.fillRect(under, QColor(255, 255, 255, 220));
        painter.setPen(Qt::black);
        painter.drawText(under, Qt::AlignCenter, text);
    }
    painter.restore();
}

} // namespace WaterSigns
