#include "app/Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace Pictures {

QPixmap serverState(bool connected, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF box = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(2, 2, -2, -2);
    const QColor fill = connected ? QColor(0x2e, 0x9e, 0x44) : QColor(0xc6, 0x28, 0x28);
    p.setPen(QPen(fill.darker(150), 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(box, box.height() / 4, box.height() / 4);

    // Two plugs: joined when connected, apart when not.
    p.setPen(QPen(Qt::white, box.height() / 8, Qt::SolidLine, Qt::RoundCap));
    const qreal mid = box.center().y();
    const qreal gap = connected ? 0 : box.width() / 8;
    const qreal cx = box.center().x();
    p.drawLine(QPointF(box.left() + box.width() / 8, mid), QPointF(cx - gap, mid));
    p.drawLine(QPointF(cx + gap, mid), QPointF(box.right() - box.width() / 8, mid));
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    const qreal r = box.height() / 5;
    p.drawEllipse(QPointF(cx - gap, mid), r, r);
    p.drawEllipse(QPointF(cx + gap, mid), r, r);
    return pixmap;
}

QPixmap alarmSignal(bool flashing, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF box = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(3, 3, -3, -3);
    const QColor light = flashing ? QColor(0x1e, 0x6f, 0xff) : QColor(0x8a, 0x9b, 0xb5);

    // A signal light: a dome with rays when flashing.
    QPainterPath dome;
    const QRectF bowl(
        box.left() + box.width() * 0.22, box.top() + box.height() * 0.25, box.width() * 0.56, box.height() * 0.6);
    dome.moveTo(bowl.left(), bowl.bottom());
    dome.arcTo(bowl.adjusted(0, 0, 0, bowl.height() * 0.4), 180, -180);
    dome.lineTo(bowl.right(), bowl.bottom());
    dome.closeSubpath();
    p.setPen(QPen(light.darker(160), 1.5));
    p.setBrush(light);
    p.drawPath(dome);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    p.drawRect(QRectF(bowl.left() - 3, bowl.bottom(), bowl.width() + 6, box.height() * 0.12));

    if (flashing) {
        p.setPen(QPen(light, box.width() / 18, Qt::SolidLine, Qt::RoundCap));
        const QPointF c(box.center().x(), bowl.top() + bowl.height() * 0.5);
        const qreal inner = box.width() * 0.36;
        const qreal outer = box.width() * 0.48;
        for (int angle : { 200, 240, 270, 300, 340 }) {
            QLineF ray = QLineF::fromPolar(outer, angle).translated(c);
            ray.setP1(QLineF::fromPolar(inner, angle).translated(c).p2());
            p.drawLine(ray);
        }
    }
    return pixmap;
}

} // namespace Pictures
