#pragma once

#include <QStyledItemDelegate>

// Paints the alarm grids' cells with their own background and never with a selection or focus
// highlight, so that a feedback colour stays visible whatever the grid's current cell is.
class GridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
