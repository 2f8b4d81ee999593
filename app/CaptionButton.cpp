#include "app/CaptionButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

CaptionButton::CaptionButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
}

QString CaptionButton::valuePart() const
{
    const qsizetype key = text().indexOf(QLatin1Char('('));
    return (key < 0 ? text() : text().left(key)).trimmed();
}

QString CaptionButton::keyPart() const
{
    const qsizetype key = text().indexOf(QLatin1Char('('));
    return key < 0 ? QString() : text().mid(key).trimmed();
}

void CaptionButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);

    const QRect inside = rect().adjusted(1, 2, -1, -2);
    const QString key = keyPart();
    QFont valueFont = font();
    QFont keyFont = font();
    keyFont.setBold(false);
    keyFont.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.7));
    if (key.isEmpty()) {
        p.setFont(valueFont);
        p.drawItemText(inside, Qt::AlignCenter, palette(), isEnabled(), valuePart(), foregroundRole());
        return;
    }
    const int keyHeight = QFontMetrics(keyFont).height();
    const QRect valueRect(inside.left(), inside.top(), inside.width(), inside.height() - keyHeight);
    const QRect keyRect(inside.left(), inside.bottom() - keyHeight, inside.width(), keyHeight);
    p.setFont(valueFont);
    p.drawItemText(valueRect, Qt::AlignCenter, palette(), isEnabled(), valuePart(), foregroundRole());
    p.setFont(keyFont);
    p.drawItemText(keyRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(), key, foregroundRole());
}
