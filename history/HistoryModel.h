#pragma once

#include "history/HistoryReader.h"

#include <QAbstractTableModel>

#include <array>
#include <vector>

// The history's list: date, time, keyword, address, units and the number of "kommt" answers, newest
// first, narrowed by the words of the search.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<HistoryRow> rows);
    void setSearch(QStringView text);

    [[nodiscard]] const HistoryRow& rowAt(int row) const { return m_rows[m_shown[row]]; }
    // Station alarms per month (0 = January) among all rows, whatever the search.
    [[nodiscard]] std::array<int, 12> alarmsPerMonth() const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void makeSearchable();

    std::vector<HistoryRow> m_rows;
    bool m_searchable = false;
    std::vector<int> m_shown;
    QStringList m_terms;
};
