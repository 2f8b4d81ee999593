#include "history/HistoryModel.h"

namespace {

const char* const kHeadings[] = { "Datum", "Uhrzeit", "Stichwort", "Adresse", "Einheiten", "kommt", "Stärke" };

} // namespace

void HistoryModel::setRows(std::vector<HistoryRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_searchable = false;
    m_shown.clear();
    if (!m_terms.isEmpty())
        makeSearchable();
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (HistorySearch::matches(m_rows[i].search, m_terms))
            m_shown.push_back(i);
    }
    endResetModel();
}

void HistoryModel::makeSearchable()
{
    // The list opens without them; the first keystroke makes them.
    if (std::exchange(m_searchable, true))
        return;
    for (HistoryRow& row : m_rows)
        row.makeSearchText();
}

void HistoryModel::setSearch(QStringView text)
{
    const QStringList terms = HistorySearch::terms(text);
    if (terms == m_terms)
        return;
    // Typing on narrows the rows shown now; anything else starts from all rows.
    bool narrower = true;
    for (const QString& old : m_terms)
        narrower
            = narrower && std::any_of(terms.begin(), terms.end(), [&](const QString& t) { return t.contains(old); });
    beginResetModel();
    m_terms = terms;
    makeSearchable();
    std::vector<int> shown;
    if (narrower) {
        for (int i : m_shown) {
            if (HistorySearch::matches(m_rows[i].search, m_terms))
                shown.push_back(i);
        }
    } else {
        for (int i = 0; i < int(m_rows.size()); ++i) {
            if (HistorySearch::matches(m_rows[i].search, m_terms))
                shown.push_back(i);
        }
    }
    m_shown = std::move(shown);
    endResetModel();
}

std::array<int, 12> HistoryModel::alarmsPerMonth() const
{
    std::array<int, 12> months {};
    for (const HistoryRow& row : m_rows) {
        const int month = QStringView(row.local).mid(5, 2).toInt();
        if (row.counted() && month >= 1 && month <= 12)
            ++months[month - 1];
    }
    return months;
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(std::size(kHeadings));
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_shown.size()))
        return {};
    const HistoryRow& row = rowAt(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == 5)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return row.local.mid(8, 2) + QLatin1Char('.') + row.local.mid(5, 2) + QLatin1Char('.') + row.local.left(4);
    case 1:
        return row.local.mid(11, 5);
    case 2:
        return row.station ? row.keyword : QStringLiteral("Einheitenalarm");
    case 3:
        return row.address;
    case 4:
        return row.units;
    case 5:
        return row.station ? QVariant(row.coming) : QVariant();
    case 6:
        return row.strength;
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
        return QString::fromUtf8(kHeadings[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}
