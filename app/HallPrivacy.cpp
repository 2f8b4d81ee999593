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
    connect(&core, &AlarmCore::pagerMessage, this, &HallPrivacy::clearNames);
    clearAlarm();
    clearNames();
}

void HallPrivacy::clearAlarm()
{
    for (const int i : { kRemark, kInformant }) {
        if (QLabel* label = m_controls.label_einsatz[i])
            label->clear();
    }
}

void HallPrivacy::clearNames()
{
    QTableWidget* grid = m_controls.Grid_Melder;
    for (int row = 0; grid && row < grid->rowCount(); ++row) {
        if (QTableWidgetItem* item = grid->item(row, kPagerNameColumn); item && !item->text().isEmpty())
            item->setText(QString());
    }
}
