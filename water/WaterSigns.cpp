#include "water/WaterSigns.h"

#include <QFont>
#include <QPainter>

namespace {

const QColor kRed(0xD0, 0x10, 0x10);
const QColor kBlue(0x10, 0x50, 0xC8);

} // namespace

namespace WaterSigns {

QRectF signRect(QPointF centre, double scale)
{
    const double side = Side * scale;
    return { centre.x() - side / 2, centre.y() - side / 2, side, side };
}

void paint(QPainter& painter, const QList<WaterFound>& sources, const std::function<QPointF(QPointF)>& at, double scale)
{
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
        const QRectF sign = signRect(at(QPointF(s.lon, s.lat)), scale);
        const bool hydrant = Water::isHydrant(s.kind);
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
