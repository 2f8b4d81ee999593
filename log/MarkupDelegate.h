#pragma once

#include <QStyledItemDelegate>

// Paints the documentation list's cells: markup captions (TickerModel::IsMarkupRole) as styled text
// that wraps in the cell, plain captions (the row numbers) as the text they are, on one line. A cell's size hint is the
// height of its text at the column's width, at most MaxCellHeight.
class MarkupDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int MaxCellHeight = 400;
    static constexpr int Margin = 2;
    static constexpr qreal MinPlainPointSize = 5;

    explicit MarkupDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The font for a plain caption: the list's, made smaller (down to MinPlainPointSize) until the
    // text fits the width.
    [[nodiscard]] static QFont fittedFont(const QFont& font, const QString& text, int width);

    // The height the cell's content needs at the given column width.
    [[nodiscard]] int heightFor(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const;
};
