#include "alarm/AlarmHandler.h"

#include "alarm/AlarmMap.h"
#include "alarm/AlarmRows.h"
#include "alarm/AnnouncementOutput.h"
#include "alarm/GridCellDelegate.h"
#include "alarm/LastAlarmStore.h"
#include "alarm/StationAlarm.h"
#include "alarm/UnitList.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

constexpr int kMarkerColour = 65280; // green
constexpr int kTwipsPerPixel = 15;
constexpr Qt::Alignment kCellAlignment = Qt::AlignLeft | Qt::AlignTop;

QTableWidgetItem* makeCell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(kCellAlignment);
    // Cells cannot be selected: no highlight may ever cover a feedback colour.
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

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
        grid->setColumnWidth(c, columns[c].widthTwips / kTwipsPerPixel);
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
}

void setText(QLabel* label, const QString& text)
{
    if (label)
        label->setText(text);
}

bool writeSpeechText(const QString& path, const QString& text)
{
    if (path.isEmpty())
        return false;
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = CodePage::encode(text);
    return file.write(bytes) == bytes.size();
}

} // namespace

AlarmHandler::AlarmHandler(AppContext& ctx, const AlarmControls& controls, AlarmMap* map,
                           AnnouncementOutput* output, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_controls(controls)
    , m_output(output)
{
    setMap(map);
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

bool AlarmHandler::ending() const
{
    return m_ctx.ist_ende() == 1;
}

void AlarmHandler::HandleStationAlarm(const QString& message, int replay)
{
    const std::optional<StationAlarm> parsed = StationAlarm::parse(message);
    if (!parsed)
        return;
    const StationAlarm& alarm = *parsed;

    setText(m_controls.Label4, alarm.header());
    setText(m_controls.Label2[0], alarm.firstWord());
    setText(m_controls.Label2[1], alarm.secondWord());
    const std::array<QString, 9> labels = alarm.incidentLabels();
    for (int i = 0; i < 9; ++i)
        setText(m_controls.label_einsatz[i], labels[i]);

    const QStringList units = alarm.units();
    showUnits(units);

    if (m_controls.Image_Blau) {
        const QLabel* source = alarm.indicatorOn() ? m_controls.Image2 : m_controls.Image3;
        if (source)
            m_controls.Image_Blau->setPixmap(source->pixmap());
    }

    placeIncident(alarm);

    // The station sees the alarm before the first sound blocks the thread.
    paintNow();

    if (replay == 0)
        LastAlarmStore::store(m_ctx.LastAlarmPath, alarm.fields());

    playAlarmSound();
    speak(alarm);

    if (isOn(m_ctx.settings.PlayUnitWavs))
        playUnitSounds(units);
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

void AlarmHandler::placeIncident(const StationAlarm& alarm)
{
    if (!m_map)
        return;
    if (alarm.hasCoordinates()) {
        // Any lookup still under way belongs to an older alarm now.
        m_awaitingLookup = false;
        m_latestCoordinates = alarm.coordinates();
        m_map->setGPoint(m_latestCoordinates);
        m_map->DelMarker();
        m_map->AddMarker(m_latestCoordinates, kMarkerColour, QStringLiteral("E"));
        m_map->Refresh();
        return;
    }
    // The marker waits for the lookup's answer; until then no marker shows the last incident's
    // place as if it were the new one.
    m_latestCoordinates.clear();
    m_awaitingLookup = true;
    m_map->DelMarker();
    m_map->Refresh();
    m_map->SetCenterToTextLocation(alarm.address());
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
        const QString position
            = coordinateNumberText(m_map->Lat()) + QLatin1Char(',') + coordinateNumberText(m_map->Lng());
        m_map->AddMarker(position, kMarkerColour, QStringLiteral("E"));
    }
    m_map->Refresh();
}

void AlarmHandler::paintNow()
{
    QLabel* anchor = m_controls.label_einsatz[1];
    if (anchor && anchor->window()->isVisible())
        anchor->window()->repaint();
}

void AlarmHandler::playAlarmSound()
{
    if (m_output && isOn(m_ctx.settings.PlayAlarmWav) && !ending())
        m_output->PlayWave(m_ctx.programFile(QStringLiteral("alarm.wav")));
}

void AlarmHandler::speak(const StationAlarm& alarm)
{
    const Settings& s = m_ctx.settings;
    if (!m_output || !isOn(s.SpeechEnabled) || s.SpeechProgramPath.isEmpty() || FileExists(s.SpeechProgramPath) != 1 || ending())
        return;
    // The speech program is not started on a text it cannot read.
    if (!writeSpeechText(s.SpeechTextFile, alarm.speechText(s)))
        return;
    m_output->RunSpeechProgram(s.SpeechProgramPath, s.SpeechTextFile, s.SpeechArgsBefore, s.SpeechArgsAfter);
}

void AlarmHandler::playUnitSounds(const QStringList& units)
{
    for (const QString& unit : units) {
        if (ending() || !m_output)
            return;
        // A unit whose name cannot be a file of the program folder is shown and spoken, not played.
        if (const std::optional<QString> path = UnitList::soundFile(m_ctx.ProgramFolder, unit))
            m_output->PlayWave(*path);
    }
}

void AlarmHandler::HandleUnitAlarm(const QString& message)
{
    const QStringList fields = message.split(QChar(9));
    const QStringList units = UnitList::split(fields.value(1));
    showUnits(units);
    if (units.isEmpty())
        return;
    paintNow();
    playAlarmSound();
    if (isOn(m_ctx.settings.PlayUnitWavs))
        playUnitSounds(units);
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
        grid->setItem(r, AlarmRows::kFeedbackColumn, cell);
        grid->setCurrentCell(r, AlarmRows::kFeedbackColumn, QItemSelectionModel::NoUpdate);
        return;
    }
}

void AlarmHandler::ReplayLastAlarm()
{
    if (const std::optional<QString> message = LastAlarmStore::read(m_ctx.LastAlarmPath))
        HandleStationAlarm(*message, 1);
}
