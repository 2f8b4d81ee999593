#include "history/HistoryDesk.h"

#include "alarm/AlarmCore.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "common/Twips.h"
#include "config/StationSettings.h"
#include "history/HistoryReader.h"
#include "history/HistoryView.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

const QString kFileName = QStringLiteral("history.sqlite");

} // namespace

HistoryDesk::HistoryDesk(AppContext& ctx, AlarmCore& core, AlarmHandler& handler, QWidget* bar, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_core(core)
    , m_handler(handler)
    , m_bar(bar)
{
    auto* button = new QPushButton(QStringLiteral("Einsätze (strg+e)"), bar);
    button->setObjectName(QStringLiteral("cmd_Einsaetze"));
    // Beside the link picture, left of what the layout moves with the right edge.
    button->setGeometry(twipsRect(4080, 120, 1935, 495));
    button->setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(10);
    font.setBold(true);
    button->setFont(font);
    connect(button, &QPushButton::clicked, this, &HistoryDesk::openList);

    m_band = new QPushButton(bar);
    m_band->setObjectName(QStringLiteral("ArchiveBand"));
    m_band->setFocusPolicy(Qt::NoFocus);
    m_band->setFont(font);
    m_band->setStyleSheet(QStringLiteral("background-color: #FFD400; color: black; border: 3px solid black;"));
    m_band->hide();
    connect(m_band, &QPushButton::clicked, this, &HistoryDesk::returnToLive);
    bar->installEventFilter(this);

    connect(&core, &AlarmCore::stationAlarm, this, &HistoryDesk::onStationAlarm);
    connect(&core, &AlarmCore::unitAlarm, this, &HistoryDesk::onUnitAlarm);
}

void HistoryDesk::openList()
{
    if (m_locked) {
        qCInfo(lcHistory) << "The history is not shown on this screen (display.ini privacy=1)";
        return;
    }
    if (!m_view) {
        m_view = new HistoryView(m_ctx.dataFile(kFileName), m_bar->window());
        connect(m_view, &HistoryView::alarmChosen, this, &HistoryDesk::showArchived);
        connect(m_view, &HistoryView::printRequested, this, &HistoryDesk::printRequested);
        m_view->printable = [this] { return printable && printable(); };
    }
    m_view->reload();
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
}

void HistoryDesk::showArchived(const HistoryAlarm& alarm)
{
    const std::optional<StationAlarmPlan> plan
        = PlanStationAlarm(alarm.fields.join(QChar(9)), true, m_ctx, m_core.settings());
    if (!plan)
        return;
    m_archive = true;
    m_band->setText(QStringLiteral("Archiv: Einsatz vom %1   (Esc: zurück)")
                        .arg(alarm.received.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    placeBand();
    m_band->show();
    m_band->raise();
    if (m_view)
        m_view->hide();
    m_handler.ShowAlarmAgain(*plan);
}

void HistoryDesk::placeBand()
{
    // Over the whole bar, in the largest bold font whose line fits into it.
    m_band->setGeometry(m_bar->rect());
    QFont font = m_band->font();
    for (int pixels = std::max(8, m_bar->height() * 11 / 20); pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(m_band->text()) <= m_bar->width() - 16)
            break;
    }
    m_band->setFont(font);
}

void HistoryDesk::returnToLive()
{
    if (!std::exchange(m_archive, false))
        return;
    m_band->hide();
    m_handler.showLive();
    if (m_liveUnits)
        m_handler.ShowUnitAlarm(UnitAlarmPlan { *m_liveUnits, {} });
}

void HistoryDesk::onStationAlarm(const StationAlarmPlan&)
{
    // A new alarm is never hidden behind the list.
    if (m_view)
        m_view->hide();
    m_liveUnits.reset();
    // The screen already shows the new alarm.
    m_archive = false;
    m_band->hide();
}

void HistoryDesk::onUnitAlarm(const UnitAlarmPlan& plan)
{
    m_liveUnits = plan.units;
    if (m_view)
        m_view->hide();
    // The units are on screen already; the labels still show the archived alarm.
    if (m_archive)
        returnToLive();
}

bool HistoryDesk::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_bar && event->type() == QEvent::Resize)
        placeBand();
    return QObject::eventFilter(watched, event);
}
