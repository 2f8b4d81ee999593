#include "alarm/GridCellDelegate.h"

#include <QPainter>

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.canConvert<QBrush>())
        painter->fillRect(plain.rect, background.value<QBrush>());
    QStyledItemDelegate::paint(painter, plain, index);
}
