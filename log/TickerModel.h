#pragma once

#include "log/TickerCells.h"
#include "log/TickerFile.h"

#include <QAbstractTableModel>
#include <QCache>

#include <vector>

// The documentation list's rows over the lines of the ticker file: one row per non-empty line,
// newest first, five columns as TickerCells builds them. A row is built only when it is asked for
// (when it is shown), so that a file of many thousands of lines costs little more than reading it.
//
// The model can be ordered by "Nr" (the line's number, the default newest first) or by "Zeit";
// the other columns keep the current order.
class TickerModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        // true when the cell's caption is markup, false for plain text
        IsMarkupRole = Qt::UserRole + 1,
        // the row's number ("Nr") as a number
        NumberRole,
    };

    explicit TickerModel(QObject* parent = nullptr);

    // The rows of a freshly read ticker file; every earlier row goes.
    void setLines(TickerLines lines);
    void clear();

    // One line just stored at the end of the ticker file: its row is inserted where the current
    // order puts it (on top while newest first); the other rows stay as they are.
    void addLine(QByteArrayView line);

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    [[nodiscard]] static bool isSortable(int column)
    {
        return column == TickerCells::Nr || column == TickerCells::Zeit;
    }
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }
    [[nodiscard]] Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // The cells of a row, and its number (the line's position among the non-empty lines, from 1).
    [[nodiscard]] TickerCells cells(int row) const;
    [[nodiscard]] qint64 number(int row) const;

private:
    [[nodiscard]] qsizetype lineOfRow(int row) const;
    void orderByTime();
    // The row a new line takes in the order by "Zeit".
    [[nodiscard]] int timeRowOf(QByteArrayView line, qsizetype index) const;

    TickerLines m_lines;
    int m_sortColumn = TickerCells::Nr;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    // Line index per row while ordered by "Zeit"; empty while ordered by "Nr".
    std::vector<qsizetype> m_order;
    // Rows built lately, so that painting and sizing do not split the same line again and again.
    // The cost is counted in units of characters (see TickerModel.cpp).
    mutable QCache<qsizetype, TickerCells> m_rows;
};
