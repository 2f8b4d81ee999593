#include "app/HallPrivacy.h"

#include "alarm/AlarmCore.h"

#include <QLabel>
#include <QTableWidget>

namespace {

constexpr int kRemark = 7;
constexpr int kInformant = 8;
constexpr int kPagerNameColumn = 0;

} // namespace

HallPrivacy::HallPrivacy(AlarmCore& core, const AlarmControls& controls, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
{
    connect(&core, &AlarmCore::stationAlarm, this, &HallPrivacy::clearAlarm);
    // The pager rows reach the grid in bursts, some time after their messages: each name is taken
    // out as its cell is filled, before anything is painted, whatever fills it.
    if (QTableWidget* grid = m_controls.Grid_Melder)
        connect(grid->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) { clearNames(from.row(), to.row()); });
    clearAlarm();
    if (m_controls.Grid_Melder)
        clearNames(0, m_controls.Grid_Melder->rowCount() - 1);
}

void HallPrivacy::clearAlarm()
{
    for (const int i : { kRemark, kInformant }) {
        if (QLabel* label = m_controls.label_einsatz[i])
            label->clear();
    }
}

void HallPrivacy::clearNames(int from, int to)
{
    QTableWidget* grid = m_controls.Grid_Melder;
    for (int row = std::max(0, from); grid && row <= to && row < grid->rowCount(); ++row) {
        if (QTableWidgetItem* item = grid->item(row, kPagerNameColumn); item && !item->text().isEmpty())
            item->setText(QString());
    }
}
