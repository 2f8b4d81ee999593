#include "alarm/AlarmHandler.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmMap.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/GridCellDelegate.h"
#include "alarm/Incident.h"
#include "common/GeoPoint.h"
#include "common/Twips.h"
#include "map/Geocoder.h"
#include "map/MapViewState.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

constexpr int kMarkerColour = 65280; // green
// label_einsatz(7) and (8): the remark and the informant, which a hall screen never shows.
constexpr int kRemarkLabel = 7;
constexpr int kInformantLabel = 8;

// A pager message without its holder's name (field 1), for a hall screen's pager list.
QString withoutHolder(const QString& message)
{
    QStringList fields = message.split(QChar(9));
    if (fields.size() > 1)
        fields[1].clear();
    return fields.join(QChar(9));
}

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

QTableWidgetItem* feedbackCell(const QString& word, int colour)
{
    QTableWidgetItem* cell = makeCell(word);
    if (colour >= 0)
        cell->setBackground(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    return cell;
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
    m_gridTimer.setSingleShot(true);
    m_gridTimer.setInterval(kGridMs);
    connect(&m_gridTimer, &QTimer::timeout, this, qOverload<>(&AlarmHandler::showRows));
}

void AlarmHandler::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarm, this, &AlarmHandler::ShowStationAlarm);
    connect(&core, &AlarmCore::unitAlarm, this, &AlarmHandler::ShowUnitAlarm);
    connect(&core, &AlarmCore::statusMessage, this, &AlarmHandler::InsertStatusRow);
    connect(&core, &AlarmCore::pagerMessage, this,
        [this](const QString& message) { InsertPagerRow(m_privacy ? withoutHolder(message) : message); });
    connect(&core, &AlarmCore::feedbackMessage, this, &AlarmHandler::HandleFeedback);
}

void AlarmHandler::follow(Incident& incident)
{
    m_incident = &incident;
    connect(&incident, &Incident::placed, this, [this] {
        // An alarm with coordinates stands on the map since it came.
        if (m_showsLive && m_incident->plan() && !m_incident->plan()->coordinates)
            showIncidentPlace();
    });
    connect(&incident, &Incident::routed, this, [this](const std::optional<Route>& route) {
        if (m_showsLive && m_map && route) {
            m_map->setRoute(route->points);
            m_map->Refresh();
        }
    });
    connect(&incident, &Incident::closed, this, [this] { clearIncident(); });
    // A later copy's fields fill the live alarm on screen; its place stays until a new one is found.
    connect(&incident, &Incident::merged, this, [this](const StationAlarmPlan& plan) {
        if (!m_showsLive)
            return;
        // The units grid keeps a unit alarm's list unless the copy brought units of its own.
        const bool units = plan.units != m_liveUnits;
        show(plan, units);
        if (units)
            m_liveUnits = plan.units;
        if (plan.coordinates)
            showPlace(*plan.coordinates, *plan.coordinates);
        else
            showIncidentPlace();
        paintNow();
    });
}

void AlarmHandler::setGeocoder(Geocoder* geocoder)
{
    if (m_geocoder)
        disconnect(m_geocoder, nullptr, this, nullptr);
    m_geocoder = geocoder;
    if (!geocoder)
        return;
    connect(geocoder, &Geocoder::answered, this, [this](quint64 id, const std::optional<QString>& found) {
        if (id != m_lookup || m_showsLive)
            return;
        m_lookup = 0;
        MapViewState at;
        if (found && at.setCentreText(*found) != MapViewState::CentreChange::Rejected)
            showPlace(*found, GeoPoint { float(at.lat()), float(at.lng()) }.text());
    });
}

void AlarmHandler::setMap(AlarmMap* map)
{
    m_map = map;
}

void AlarmHandler::InitAlarmGrids()
{
    setUpGrid(m_controls.MSFlexGrid1, AlarmRows::unitColumns());
    setUpGrid(m_controls.Grid_Status, AlarmRows::statusColumns());
    setUpGrid(m_controls.Grid_Melder, AlarmRows::pagerColumns());
}

void AlarmHandler::ShowAlarmAgain(const StationAlarmPlan& plan)
{
    m_showsLive = false;
    show(plan);
    m_lookup = 0;
    if (plan.coordinates)
        showPlace(*plan.coordinates, *plan.coordinates);
    else
        showPlace({}, {});
    if (!plan.coordinates && m_geocoder && m_map)
        m_lookup = m_geocoder->lookUp(plan.address);
    paintNow();
}

void AlarmHandler::ShowStationAlarm(const StationAlarmPlan& plan)
{
    m_showsLive = true;
    m_lookup = 0;
    m_liveUnits = plan.units;
    show(plan);
    // The marker waits for the incident's place; until then no marker shows the last incident's
    // place as if it were the new one. Coordinates place it at once.
    if (plan.coordinates)
        showPlace(*plan.coordinates, *plan.coordinates);
    else
        showPlace({}, {});
    // The station sees the alarm before its first sound.
    paintNow();
}

void AlarmHandler::showLive()
{
    m_showsLive = true;
    m_lookup = 0;
    if (!m_incident || !m_incident->plan()) {
        clearIncident(true);
        return;
    }
    show(*m_incident->plan());
    showIncidentPlace();
}

void AlarmHandler::showIncidentPlace()
{
    const std::optional<Route>& route = m_incident->route();
    showPlace(m_incident->centreText(), m_incident->markerText(), route ? route->points : QList<QPointF>());
}

void AlarmHandler::showPlace(const QString& centre, const QString& marker, const QList<QPointF>& route)
{
    if (!m_map)
        return;
    if (!centre.isEmpty())
        m_map->setGPoint(centre);
    m_map->DelMarker();
    if (!marker.isEmpty())
        m_map->AddMarker(marker, kMarkerColour, QStringLiteral("E"));
    m_map->setRoute(route);
    m_map->Refresh();
}

void AlarmHandler::clearIncident(bool keepPagers)
{
    for (QLabel* label : m_controls.label_einsatz)
        setText(label, {});
    setText(m_controls.Label2[0], {});
    setText(m_controls.Label2[1], {});
    setText(m_controls.Label4, {});
    // The grids' headings are their horizontal headers: no rows left means the heading row alone.
    if (m_controls.MSFlexGrid1)
        m_controls.MSFlexGrid1->setRowCount(0);
    if (m_controls.Grid_Melder && !keepPagers) {
        m_controls.Grid_Melder->setRowCount(0);
        m_pagerRows.clear();
    }
    m_lookup = 0;
    showPlace({}, {});
}

void AlarmHandler::show(const StationAlarmPlan& plan, bool units)
{
    setText(m_controls.Label4, plan.header);
    setText(m_controls.Label2[0], plan.firstWord);
    setText(m_controls.Label2[1], plan.secondWord);
    for (int i = 0; i < 9; ++i) {
        const bool personal = i == kRemarkLabel || i == kInformantLabel;
        setText(m_controls.label_einsatz[i], personal && m_privacy ? QString() : plan.labels[i]);
    }
    if (units)
        showUnits(plan.units);
    if (m_controls.Image_Blau) {
        const QLabel* source = plan.indicatorOn ? m_controls.Image2 : m_controls.Image3;
        if (source)
            m_controls.Image_Blau->setPixmap(source->pixmap());
    }
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
    if (const auto row = AlarmRows::statusRow(message, clock())) {
        m_statusRows.add(*row, false);
        rowsCame();
    }
}

void AlarmHandler::InsertPagerRow(const QString& message)
{
    if (const auto row = AlarmRows::pagerRow(message)) {
        m_pagerRows.add(*row, true);
        rowsCame();
    }
}

void AlarmHandler::HandleFeedback(const QString& message)
{
    const std::optional<AlarmRows::Feedback> feedback = AlarmRows::feedback(message);
    if (!m_controls.Grid_Melder || !feedback)
        return;
    // The newest row with the id, as long as it is kept.
    GridRows& pagers = m_pagerRows;
    const auto it = pagers.newestById.constFind(feedback->pagerId);
    if (it == pagers.newestById.cend() || *it < pagers.first)
        return;
    GridRows::Row& row = pagers.rows[*it - pagers.first];
    row.cells[AlarmRows::kFeedbackColumn] = feedback->word;
    row.colour = feedback->colour;
    pagers.answered.push_back(*it);
    rowsCame();
}

void AlarmHandler::rowsCame()
{
    if (!m_gridTimer.isActive())
        m_gridTimer.start();
}

void AlarmHandler::showRows()
{
    showRows(m_controls.Grid_Status, m_statusRows);
    showRows(m_controls.Grid_Melder, m_pagerRows);
    emit rowsShown();
}

void AlarmHandler::showRows(QTableWidget* grid, GridRows& rows)
{
    const qsizetype fresh = std::min<qsizetype>(std::exchange(rows.added, 0), qsizetype(rows.rows.size()));
    const std::vector<quint64> answered = std::exchange(rows.answered, {});
    if (!grid)
        return;
    if (grid->columnCount() < 3)
        grid->setColumnCount(3);
    // The new rows go to the top in one step, the newest first; the oldest go beyond the limit.
    if (fresh > 0) {
        grid->model()->insertRows(0, int(fresh));
        for (qsizetype r = 0; r < fresh; ++r) {
            const GridRows::Row& row = rows.rows[rows.rows.size() - 1 - r];
            for (int c = 0; c < 3; ++c) {
                grid->setItem(int(r), c,
                    c == AlarmRows::kFeedbackColumn && row.colour >= 0 ? feedbackCell(row.cells[c], row.colour)
                                                                       : makeCell(row.cells[c]));
            }
        }
        if (grid->rowCount() > kMostGridRows)
            grid->setRowCount(kMostGridRows);
    }
    // Feedback for rows shown before: only the cell changes, so the view stays where the station has it.
    const quint64 newest = rows.first + rows.rows.size() - 1;
    for (const quint64 number : answered) {
        if (number < rows.first || newest - number < quint64(fresh) || newest - number >= quint64(grid->rowCount()))
            continue;
        const GridRows::Row& row = rows.rows[number - rows.first];
        grid->setItem(int(newest - number), AlarmRows::kFeedbackColumn,
            feedbackCell(row.cells[AlarmRows::kFeedbackColumn], row.colour));
    }
}

void AlarmHandler::GridRows::add(const std::array<QString, 3>& cells, bool keyed)
{
    rows.push_back({ cells, -1 });
    ++added;
    if (keyed)
        newestById.insert(cells[AlarmRows::kPagerIdColumn], first + rows.size() - 1);
    if (rows.size() > size_t(kMostGridRows)) {
        const GridRows::Row& oldest = rows.front();
        // The oldest row's id points here only when no newer row has it.
        if (keyed) {
            const auto it = newestById.constFind(oldest.cells[AlarmRows::kPagerIdColumn]);
            if (it != newestById.cend() && *it == first)
                newestById.erase(it);
        }
        rows.pop_front();
        ++first;
    }
}

void AlarmHandler::GridRows::clear()
{
    first += rows.size();
    rows.clear();
    added = 0;
    answered.clear();
    newestById.clear();
}
