#include "log/MarkupDelegate.h"

#include "log/CellMarkup.h"
#include "log/MarkupText.h"
#include "log/TickerModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

bool isMarkup(const QModelIndex& index)
{
    return index.data(TickerModel::IsMarkupRole).toBool();
}

} // namespace

MarkupDelegate::MarkupDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void MarkupDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString caption = opt.text;
    opt.text.clear();
    // Background, selection and focus as the style draws them for any cell.
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect area = opt.rect.adjusted(Margin, Margin, -Margin, -Margin);
    if (area.width() <= 0 || area.height() <= 0)
        return;
    painter->save();
    painter->setClipRect(area, Qt::IntersectClip);
    painter->setPen(opt.palette.color(QPalette::Active, QPalette::Text));
    if (isMarkup(index)) {
        const MarkupText text(CellMarkup::parse(caption), opt.font, area.width(), area.height());
        text.draw(painter, area.topLeft());
    } else {
        // A plain caption is a row number: in a narrow column a long one gets a smaller font rather
        // than an ellipsis in place of its digits.
        painter->setFont(fittedFont(opt.font, caption, area.width()));
        painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption);
    }
    painter->restore();
}

QFont MarkupDelegate::fittedFont(const QFont& font, const QString& text, int width)
{
    QFont fitted = font;
    while (QFontMetricsF(fitted).horizontalAdvance(text) > width && fitted.pointSizeF() > MinPlainPointSize)
        fitted.setPointSizeF(std::max(MinPlainPointSize, fitted.pointSizeF() - 0.5));
    return fitted;
}

int MarkupDelegate::heightFor(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const int inner = std::max(1, width - 2 * Margin);
    qreal height;
    if (isMarkup(index)) {
        height = MarkupText(CellMarkup::parse(opt.text), opt.font, inner, MaxCellHeight).height();
    } else {
        height = QFontMetrics(opt.font).height();
    }
    return std::min(MaxCellHeight, static_cast<int>(std::ceil(height)) + 2 * Margin);
}

QSize MarkupDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = option.rect.width() > 0 ? option.rect.width() : 100;
    return QSize(width, heightFor(option, index, width));
}
