#include "alarm/AlarmHandler.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmMap.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/GridCellDelegate.h"
#include "common/GeoPoint.h"
#include "common/Twips.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

constexpr int kMarkerColour = 65280; // green
constexpr Qt::Alignment kCellAlignment = Qt::AlignLeft | Qt::AlignTop;

QTableWidgetItem* makeCell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(kCellAlignment);
    // Cells cannot be selected: no highlight may ever cover a feedback colour.
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

// The one place that makes an alarm grid a display: no selection, no focus, no editing.
void setUpGrid(QTableWidget* grid, std::span<const AlarmRows::Column> columns)
{
    if (!grid)
        return;
    if (grid->columnCount() < static_cast<int>(columns.size()))
        grid->setColumnCount(static_cast<int>(columns.size()));
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        auto* heading = new QTableWidgetItem(QString::fromUtf8(columns[c].heading));
        heading->setTextAlignment(kCellAlignment);
        grid->setHorizontalHeaderItem(c, heading);
        grid->setColumnWidth(c, twipsToPixels(columns[c].widthTwips));
        grid->setColumnHidden(c, columns[c].widthTwips == 0);
    }
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (!qobject_cast<GridCellDelegate*>(grid->itemDelegate()))
        grid->setItemDelegate(new GridCellDelegate(grid));
}

void insertTopRow(QTableWidget* grid, const std::array<QString, 3>& cells)
{
    if (!grid)
        return;
    if (grid->columnCount() < 3)
        grid->setColumnCount(3);
    grid->insertRow(0);
    for (int c = 0; c < 3; ++c)
        grid->setItem(0, c, makeCell(cells[c]));
    if (grid->rowCount() > AlarmHandler::kMostGridRows)
        grid->setRowCount(AlarmHandler::kMostGridRows);
}

void setText(QLabel* label, const QString& text)
{
    if (!label)
        return;
    if (text.size() <= AlarmHandler::kMostLabelCharacters)
        return label->setText(text);
    qsizetype cut = AlarmHandler::kMostLabelCharacters;
    if (text.at(cut).isLowSurrogate())
        --cut;
    label->setText(text.left(cut) + QStringLiteral(" …"));
}

} // namespace

AlarmHandler::AlarmHandler(const AlarmControls& controls, AlarmMap* map, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
{
    setMap(map);
}

void AlarmHandler::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarm, this, &AlarmHandler::ShowStationAlarm);
    connect(&core, &AlarmCore::unitAlarm, this, &AlarmHandler::ShowUnitAlarm);
    connect(&core, &AlarmCore::statusMessage, this, &AlarmHandler::InsertStatusRow);
    connect(&core, &AlarmCore::pagerMessage, this, &AlarmHandler::InsertPagerRow);
    connect(&core, &AlarmCore::feedbackMessage, this, &AlarmHandler::HandleFeedback);
}

void AlarmHandler::setMap(AlarmMap* map)
{
    if (m_map)
        disconnect(m_map, nullptr, this, nullptr);
    m_map = map;
    m_awaitingLookup = false;
    if (m_map)
        connect(m_map, &AlarmMap::locationLookupFinished, this, &AlarmHandler::onLookupFinished);
}

void AlarmHandler::InitAlarmGrids()
{
    setUpGrid(m_controls.MSFlexGrid1, AlarmRows::unitColumns());
    setUpGrid(m_controls.Grid_Status, AlarmRows::statusColumns());
    setUpGrid(m_controls.Grid_Melder, AlarmRows::pagerColumns());
}

void AlarmHandler::ShowAlarmAgain(const StationAlarmPlan& plan)
{
    m_quietPlacement = true;
    show(plan);
}

void AlarmHandler::ShowStationAlarm(const StationAlarmPlan& plan)
{
    ++m_shownAlarms;
    m_quietPlacement = false;
    show(plan);
}

void AlarmHandler::show(const StationAlarmPlan& plan)
{
    setText(m_controls.Label4, plan.header);
    setText(m_controls.Label2[0], plan.firstWord);
    setText(m_controls.Label2[1], plan.secondWord);
    for (int i = 0; i < 9; ++i)
        setText(m_controls.label_einsatz[i], plan.labels[i]);
    showUnits(plan.units);
    if (m_controls.Image_Blau) {
        const QLabel* source = plan.indicatorOn ? m_controls.Image2 : m_controls.Image3;
        if (source)
            m_controls.Image_Blau->setPixmap(source->pixmap());
    }
    placeIncident(plan);
    // The station sees the alarm before its first sound.
    paintNow();
}

void AlarmHandler::showUnits(const QStringList& units)
{
    QTableWidget* grid = m_controls.MSFlexGrid1;
    if (!grid)
        return;
    if (grid->columnCount() < 1)
        grid->setColumnCount(1);
    grid->setRowCount(0);
    grid->setRowCount(static_cast<int>(units.size()));
    for (int r = 0; r < units.size(); ++r)
        grid->setItem(r, 0, makeCell(units.at(r)));
}

void AlarmHandler::placeIncident(const StationAlarmPlan& plan)
{
    if (!m_map)
        return;
    if (plan.coordinates) {
        // Any lookup still under way belongs to an older alarm now.
        m_awaitingLookup = false;
        m_latestCoordinates = *plan.coordinates;
        m_map->setGPoint(m_latestCoordinates);
        m_map->DelMarker();
        m_map->AddMarker(m_latestCoordinates, kMarkerColour, QStringLiteral("E"));
        m_map->Refresh();
        placed(GeoPoint::parse(m_latestCoordinates).value_or(GeoPoint {}).toPointF());
        return;
    }
    // The marker waits for the lookup's answer; until then no marker shows the last incident's
    // place as if it were the new one.
    m_latestCoordinates.clear();
    m_awaitingLookup = true;
    m_map->DelMarker();
    m_map->Refresh();
    m_map->SetCenterToTextLocation(plan.address);
}

void AlarmHandler::onLookupFinished(bool found)
{
    if (!m_awaitingLookup) {
        // A late answer for an older alarm: it may have moved the centre; put it back.
        if (found && !m_latestCoordinates.isEmpty()) {
            m_map->setGPoint(m_latestCoordinates);
            m_map->Refresh();
        }
        return;
    }
    m_awaitingLookup = false;
    m_map->DelMarker();
    if (found) {
        const QString position = GeoPoint { static_cast<float>(m_map->Lat()), static_cast<float>(m_map->Lng()) }.text();
        m_map->AddMarker(position, kMarkerColour, QStringLiteral("E"));
    }
    m_map->Refresh();
    placed(found ? std::optional<QPointF>(QPointF(m_map->Lng(), m_map->Lat())) : std::nullopt);
}

void AlarmHandler::placed(std::optional<QPointF> position)
{
    if (m_quietPlacement)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, position, alarm = m_shownAlarms] {
            if (alarm == m_shownAlarms)
                emit incidentPlaced(position);
        },
        Qt::QueuedConnection);
}

void AlarmHandler::paintNow()
{
    QLabel* anchor = m_controls.label_einsatz[1];
    if (anchor && anchor->window()->isVisible())
        anchor->window()->repaint();
}

void AlarmHandler::ShowUnitAlarm(const UnitAlarmPlan& plan)
{
    showUnits(plan.units);
    if (!plan.units.isEmpty())
        paintNow();
}

void AlarmHandler::InsertStatusRow(const QString& message)
{
    if (const auto row = AlarmRows::statusRow(message, clock()))
        insertTopRow(m_controls.Grid_Status, *row);
}

void AlarmHandler::InsertPagerRow(const QString& message)
{
    if (const auto row = AlarmRows::pagerRow(message))
        insertTopRow(m_controls.Grid_Melder, *row);
}

void AlarmHandler::HandleFeedback(const QString& message)
{
    QTableWidget* grid = m_controls.Grid_Melder;
    const std::optional<AlarmRows::Feedback> feedback = AlarmRows::feedback(message);
    if (!grid || !feedback)
        return;
    // New rows go to the top: the first match is the newest row with the id.
    for (int r = 0; r < grid->rowCount(); ++r) {
        const QTableWidgetItem* id = grid->item(r, AlarmRows::kPagerIdColumn);
        if (!id || id->text() != feedback->pagerId)
            continue;
        QTableWidgetItem* cell = makeCell(feedback->word);
        const int c = feedback->colour;
        cell->setBackground(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
        // Only the cell changes: the view stays where the station has it, so no current cell.
        grid->setItem(r, AlarmRows::kFeedbackColumn, cell);
        return;
    }
}
