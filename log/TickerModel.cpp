#include "log/TickerModel.h"

#include "log/CellMarkup.h"
#include "log/TickerTime.h"

#include <algorithm>
#include <climits>
#include <limits>

namespace {

// Ordering by "Zeit": most entries carry a readable date and time and are ordered by one number;
// the others are compared part by part.
constexpr qint64 kPartly = std::numeric_limits<qint64>::max();

qint64 timeKey(const TickerTime& t)
{
    return t.date >= 0 && t.time >= 0 ? t.date * 1000000 + t.time : kPartly;
}

// Whether line a (its time, key and index) stands before line b in the order by "Zeit". Entries of
// the same time keep their file order, newest first when descending.
bool timeBefore(
    const TickerTime& ta, qint64 ka, qsizetype a, const TickerTime& tb, qint64 kb, qsizetype b, bool ascending)
{
    int c;
    if (ka != kPartly && kb != kPartly)
        c = ka < kb ? -1 : (ka > kb ? 1 : 0);
    else
        c = TickerTime::compare(ta, tb);
    if (c != 0)
        return ascending ? c < 0 : c > 0;
    return ascending ? a < b : a > b;
}

// A built row costs one unit per started 4,096 characters. The cache holds a few hundred ordinary
// rows, more than any screen shows, or a few of the largest (a message is at most 1 MiB): the rows
// of messages that came and went out of view are not kept.
constexpr qsizetype kCharactersPerUnit = 4096;
constexpr int kCachedUnits = 512;
// A tooltip shows the whole text of an ordinary entry; a huge one is cut where it would no longer
// fit on the screen.
constexpr qsizetype kToolTipCharacters = 4000;

qsizetype units(const TickerCells& cells)
{
    qsizetype characters = 0;
    for (const QString& caption : cells.caption)
        characters += caption.size();
    return 1 + characters / kCharactersPerUnit;
}

} // namespace

TickerModel::TickerModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_rows(kCachedUnits)
{
}

void TickerModel::setLines(TickerLines lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    m_rows.clear();
    m_order.clear();
    if (m_sortColumn == TickerCells::Zeit)
        orderByTime();
    endResetModel();
}

void TickerModel::clear()
{
    setLines(TickerLines());
}

void TickerModel::addLine(QByteArrayView line)
{
    if (line.isEmpty() || m_lines.size() >= INT_MAX)
        return;
    const qsizetype index = m_lines.size();
    int row;
    if (m_sortColumn == TickerCells::Zeit)
        row = timeRowOf(line, index);
    else
        row = m_sortOrder == Qt::DescendingOrder ? 0 : static_cast<int>(index);
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    if (m_sortColumn == TickerCells::Zeit)
        m_order.insert(m_order.begin() + row, index);
    endInsertRows();
}

int TickerModel::timeRowOf(QByteArrayView line, qsizetype index) const
{
    const TickerTime added = TickerTime::ofLine(line);
    const qint64 addedKey = timeKey(added);
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    const auto at = std::lower_bound(m_order.begin(), m_order.end(), index, [&](qsizetype shown, qsizetype) {
        const TickerTime t = TickerTime::ofLine(m_lines.bytes(shown));
        return timeBefore(t, timeKey(t), shown, added, addedKey, index, ascending);
    });
    return static_cast<int>(at - m_order.begin());
}

int TickerModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(std::min<qsizetype>(m_lines.size(), INT_MAX));
}

int TickerModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : TickerCells::ColumnCount;
}

qsizetype TickerModel::lineOfRow(int row) const
{
    if (!m_order.empty())
        return m_order[static_cast<size_t>(row)];
    return m_sortOrder == Qt::DescendingOrder ? m_lines.size() - 1 - row : row;
}

qint64 TickerModel::number(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return lineOfRow(row) + 1;
}

TickerCells TickerModel::cells(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const qsizetype line = lineOfRow(row);
    if (const TickerCells* cached = m_rows.object(line))
        return *cached;
    TickerCells built = TickerCells::Append_Ticker(m_lines.text(line), line + 1);
    const qsizetype cost = units(built);
    if (cost <= m_rows.maxCost())
        m_rows.insert(line, new TickerCells(built), cost);
    return built;
}

QVariant TickerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= TickerCells::ColumnCount)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == TickerCells::Nr)
            return QString::number(number(index.row()));
        return cells(index.row()).caption[static_cast<size_t>(column)];
    case Qt::ToolTipRole:
        if (column == TickerCells::Text)
            return CellMarkup::toolTip(cells(index.row()).caption[TickerCells::Text], kToolTipCharacters);
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignTop);
    case IsMarkupRole:
        return TickerCells::isMarkup(column);
    case NumberRole:
        return number(index.row());
    default:
        return {};
    }
}

QVariant TickerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return TickerCells::heading(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TickerModel::sort(int column, Qt::SortOrder order)
{
    if (!isSortable(column) || (column == m_sortColumn && order == m_sortOrder))
        return;
    beginResetModel();
    m_sortColumn = column;
    m_sortOrder = order;
    m_rows.clear();
    m_order.clear();
    if (m_sortColumn == TickerCells::Zeit)
        orderByTime();
    endResetModel();
}

void TickerModel::orderByTime()
{
    struct Item {
        qint64 key;
        qsizetype line;
    };
    const qsizetype n = m_lines.size();
    std::vector<TickerTime> times(static_cast<size_t>(n));
    std::vector<Item> items(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i) {
        const TickerTime t = TickerTime::ofLine(m_lines.bytes(i));
        times[static_cast<size_t>(i)] = t;
        items[static_cast<size_t>(i)] = { timeKey(t), i };
    }
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        return timeBefore(times[static_cast<size_t>(a.line)], a.key, a.line, times[static_cast<size_t>(b.line)], b.key,
            b.line, ascending);
    });
    m_order.resize(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        m_order[static_cast<size_t>(i)] = items[static_cast<size_t>(i)].line;
}
