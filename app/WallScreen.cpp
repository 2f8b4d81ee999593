#include "app/WallScreen.h"

#include "alarm/AlarmCore.h"
#include "app/FittingLabel.h"
#include "app/StationCalendar.h"
#include "app/WallTexts.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "crew/CrewWatch.h"
#include "crew/VehicleBoard.h"
#include "crew/VehicleBoardView.h"
#include "history/HistoryReader.h"
#include "log/CellMarkup.h"
#include "log/TickerCells.h"
#include "map/ucGMap.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <utility>

namespace {

const QColor kAlarmGround(0x14, 0x14, 0x18);
const QColor kStandbyGround(0x10, 0x1C, 0x2C);
const QColor kKeywordGround(0xC0, 0x10, 0x10);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kYellow(0xFF, 0xD8, 0x40);
const QColor kGrey(0xB8, 0xC4, 0xD0);
const QColor kWaterBlue(0x9C, 0xD0, 0xFF);
// A movement of the pointer shows the buttons this long.
constexpr int kBarShownMs = 5000;
constexpr int kTickerRows = 3;
constexpr int kDetailZoom = 17;
constexpr int kStationZoom = 15;
constexpr int kStationMarkerColour = 0x1060D0; // blue, beside the incident's green

// The font whose capitals are `cap` pixels high on `widget`'s screen.
QFont typeOfCapHeight(int cap, const QWidget* widget, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(bold);
    QFont probe = font;
    probe.setPixelSize(1000);
    const double capShare = std::max(0.5, QFontMetricsF(probe).capHeight() / 1000.0);
    font.setPointSizeF(std::max(1.0, cap / capShare * 72.0 / std::max(1, widget->logicalDpiY())));
    return font;
}

void setGround(QWidget* page, const QColor& colour)
{
    page->setAutoFillBackground(true);
    QPalette pal = page->palette();
    pal.setColor(QPalette::Window, colour);
    page->setPalette(pal);
}

} // namespace

WallScreen::WallScreen(AppContext& ctx, const DisplaySettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_ctx(ctx)
    , m_settings(settings)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    setObjectName(QStringLiteral("WallScreen"));
    m_alarmPage = new QWidget(this);
    m_alarmPage->setObjectName(QStringLiteral("wallAlarm"));
    setGround(m_alarmPage, kAlarmGround);
    m_standbyPage = new QWidget(this);
    m_standbyPage->setObjectName(QStringLiteral("wallStandby"));
    setGround(m_standbyPage, kStandbyGround);

    const auto alarmBox
        = [this](const char* name, WallBox WallAlarmGeometry::*box, Qt::Alignment alignment, const QColor& colour) {
              FittingLabel* label = makeLabel(m_alarmPage, name, alignment, colour);
              m_alarmBoxes.emplace_back(label, box);
              return label;
          };
    m_head = alarmBox("head", &WallAlarmGeometry::head, Qt::AlignLeft | Qt::AlignVCenter, kGrey);
    m_headClock = alarmBox("headClock", &WallAlarmGeometry::head, Qt::AlignRight | Qt::AlignVCenter, kGrey);
    m_keyword = alarmBox("keyword", &WallAlarmGeometry::keyword, Qt::AlignCenter, kWhite);
    m_keyword->setAutoFillBackground(true);
    QPalette red = m_keyword->palette();
    red.setColor(QPalette::Window, kKeywordGround);
    m_keyword->setPalette(red);
    m_picture = alarmBox("picture", &WallAlarmGeometry::picture, Qt::AlignCenter, kYellow);
    m_address = alarmBox("address", &WallAlarmGeometry::address, Qt::AlignLeft | Qt::AlignVCenter, kWhite);
    m_since = alarmBox("since", &WallAlarmGeometry::time, Qt::AlignLeft | Qt::AlignVCenter, kYellow);
    m_units = alarmBox("units", &WallAlarmGeometry::units, Qt::AlignLeft | Qt::AlignTop, kWhite);
    m_units->setWordWrap(true);
    if (!m_settings.privacy) {
        m_remark = alarmBox("remark", &WallAlarmGeometry::remark, Qt::AlignLeft | Qt::AlignTop, kGrey);
        m_remark->setWordWrap(true);
        m_informant = alarmBox("informant", &WallAlarmGeometry::informant, Qt::AlignLeft | Qt::AlignVCenter, kGrey);
    }
    m_driveTime = alarmBox("driveTime", &WallAlarmGeometry::driveTime, Qt::AlignLeft | Qt::AlignVCenter, kWhite);
    m_water = alarmBox("water", &WallAlarmGeometry::water, Qt::AlignLeft | Qt::AlignVCenter, kWaterBlue);
    m_water->setWordWrap(true);
    m_answers = alarmBox("answers", &WallAlarmGeometry::answers, Qt::AlignLeft | Qt::AlignVCenter, kWhite);
    if (!m_settings.privacy) {
        m_names = alarmBox("names", &WallAlarmGeometry::names, Qt::AlignLeft | Qt::AlignTop, kGrey);
        m_names->setWordWrap(true);
    }

    const auto standbyBox
        = [this](const char* name, WallBox WallStandbyGeometry::*box, Qt::Alignment alignment, const QColor& colour) {
              FittingLabel* label = makeLabel(m_standbyPage, name, alignment, colour);
              m_standbyBoxes.emplace_back(label, box);
              return label;
          };
    m_clockLabel = standbyBox("clock", &WallStandbyGeometry::clock, Qt::AlignLeft | Qt::AlignVCenter, kWhite);
    m_date = standbyBox("date", &WallStandbyGeometry::date, Qt::AlignLeft | Qt::AlignVCenter, kWhite);
    m_stationName = standbyBox("station", &WallStandbyGeometry::station, Qt::AlignLeft | Qt::AlignVCenter, kGrey);
    m_lastAlarm = standbyBox("lastAlarm", &WallStandbyGeometry::lastAlarm, Qt::AlignLeft | Qt::AlignVCenter, kYellow);
    m_status = standbyBox("status", &WallStandbyGeometry::status, Qt::AlignLeft | Qt::AlignVCenter, kGrey);
    m_appointments
        = standbyBox("appointments", &WallStandbyGeometry::appointments, Qt::AlignLeft | Qt::AlignTop, kWhite);
    m_ticker = standbyBox("ticker", &WallStandbyGeometry::ticker, Qt::AlignLeft | Qt::AlignTop, kGrey);
    // Every standby text keeps its size across the hall: a long line of the lists is cut, a long
    // single line is made smaller but never wrapped.
    for (FittingLabel* label : { m_clockLabel, m_date, m_stationName, m_lastAlarm, m_status })
        label->setOverflow(FittingLabel::Overflow::OneLine);
    m_appointments->setOverflow(FittingLabel::Overflow::Cut);
    m_ticker->setOverflow(FittingLabel::Overflow::Cut);

    m_name = m_settings.stationName.isEmpty() ? m_ctx.MonitorName : m_settings.stationName;
    m_head->setText(m_name);
    m_stationName->setText(m_name);
    if (!m_settings.calendar.isEmpty()) {
        // A path of its own, or one in the data folder.
        m_calendar = std::make_unique<CalendarWatch>(QDir(m_ctx.DataFolder).absoluteFilePath(m_settings.calendar));
        connect(m_calendar.get(), &CalendarWatch::changed, this, &WallScreen::fillAppointments);
    }

    m_tick.setSingleShot(true);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &WallScreen::refresh);
    m_barShown.setSingleShot(true);
    m_barShown.setInterval(kBarShownMs);
    connect(&m_barShown, &QTimer::timeout, this, [this] {
        if (m_bar)
            m_bar->stackUnder(this);
    });
    showPage();
    fillStandby();
    refresh();
}

WallScreen::~WallScreen() = default;

FittingLabel* WallScreen::makeLabel(QWidget* page, const char* name, Qt::Alignment alignment, const QColor& colour)
{
    auto* label = new FittingLabel(QString(), page);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(alignment);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}

FittingLabel* WallScreen::label(const QString& name) const
{
    return findChild<FittingLabel*>(name);
}

void WallScreen::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan& plan, bool replay) {
        // The replay of last.dat shows the alarm as old as the file.
        const QDateTime received = replay ? QFileInfo(m_ctx.LastAlarmPath).lastModified() : m_clock();
        m_showsTest = plan.source == AlarmSource::Test;
        showAlarm(plan, received.isValid() ? received : m_clock());
    });
    // What a later copy filled in; the crew's answers, the drive time and a unit alarm's units stand.
    connect(&core, &AlarmCore::stationAlarmMerged, this, [this, &core](const StationAlarmPlan& plan, quint64 sequence) {
        if (m_standby || sequence != core.liveStationAlarms())
            return;
        showFields(plan);
        m_alarmClock = plan.secondWord;
        m_lastKeyword = plan.labels[1];
        if (!plan.units.isEmpty() && m_units->text().isEmpty())
            m_units->setText(plan.units.join(QStringLiteral(", ")));
        refresh();
    });
    connect(&core, &AlarmCore::unitAlarm, this, [this](const UnitAlarmPlan& plan) {
        if (plan.units.isEmpty())
            return;
        // A unit alarm replaces the standby view too, and a test alarm, without a keyword or place of
        // an older one.
        if (m_standby || std::exchange(m_showsTest, false)) {
            StationAlarmPlan unitsOnly;
            unitsOnly.labels[1] = QStringLiteral("Einheitenalarm");
            unitsOnly.secondWord = m_clock().toString(QStringLiteral("HH:mm"));
            unitsOnly.units = plan.units;
            showAlarm(unitsOnly, m_clock());
        }
        m_units->setText(plan.units.join(QStringLiteral(", ")));
    });
}

void WallScreen::setCrew(CrewWatch* crew)
{
    m_crew = crew;
    if (!crew)
        return;
    connect(crew, &CrewWatch::strengthChanged, this, &WallScreen::showStrength);
    showStrength(crew->strength());
}

void WallScreen::setVehicles(VehicleBoard* vehicles)
{
    delete m_board;
    m_board = nullptr;
    if (!vehicles)
        return;
    m_board = new VehicleBoardView(*vehicles, this);
    m_board->setFont(QFont(QStringLiteral("Liberation Sans")));
    m_board->setFilling(true);
    // The first tile makes room for the board: the map gives it, or the standby view's texts.
    connect(vehicles, &VehicleBoard::changed, this, [this] {
        if (boardShown() != m_board->isVisibleTo(this))
            place();
    });
    place();
}

bool WallScreen::boardShown() const
{
    return m_board && !m_board->board().tiles().isEmpty();
}

void WallScreen::showStrength(const Strength::Count& count)
{
    if (!m_crew)
        return;
    m_answers->setText(count.text(m_crew->settings()));
    if (!m_names)
        return;
    // Those coming on the first line, those later and not on the second.
    using Strength::Reply;
    // No more names than the area can show: the rest are counted, and a flood of answers costs
    // the screen no more than a full hall.
    constexpr qsizetype kMostNames = 60;
    QStringList coming, later, notComing;
    std::array<qsizetype, 3> left {};
    for (const Strength::Person& p : count.people) {
        const int g = p.reply == Reply::Coming ? 0 : p.reply == Reply::Later ? 1 : 2;
        QStringList& names = g == 0 ? coming : g == 1 ? later : notComing;
        if (names.size() < kMostNames)
            names << p.text();
        else
            ++left[g];
    }
    const auto group = [&left](Reply reply, const QStringList& names) {
        const qsizetype more = left[reply == Reply::Coming ? 0 : reply == Reply::Later ? 1 : 2];
        return Strength::replyWord(reply) + QStringLiteral(": ") + names.join(QStringLiteral(", "))
            + (more > 0 ? QStringLiteral(" … +%1").arg(more) : QString());
    };
    QStringList others;
    if (!later.isEmpty())
        others << group(Reply::Later, later);
    if (!notComing.isEmpty())
        others << group(Reply::Not, notComing);
    QStringList lines;
    if (!coming.isEmpty())
        lines << group(Reply::Coming, coming);
    if (!others.isEmpty())
        lines << others.join(QStringLiteral(" · "));
    m_names->setText(lines.join(u'\n'));
}

void WallScreen::setMap(ucGMap* map, std::optional<QPointF> station)
{
    m_map = map;
    m_station = station;
    if (m_map) {
        m_map->setParent(this);
        if (m_standby)
            centreOnStation();
    }
    place();
    placeMap();
}

void WallScreen::setTicker(QAbstractItemModel* model)
{
    m_tickerModel = model;
    for (auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(model, signal, this, &WallScreen::fillTicker);
    connect(model, &QAbstractItemModel::modelReset, this, &WallScreen::fillTicker);
    connect(model, &QAbstractItemModel::layoutChanged, this, &WallScreen::fillTicker);
    fillTicker();
}

void WallScreen::readCalendar()
{
    if (m_calendar)
        m_calendar->begin();
}

void WallScreen::setButtonBar(QWidget* bar)
{
    m_bar = bar;
    if (m_bar)
        m_bar->stackUnder(this);
}

void WallScreen::setClock(Clock clock, int speed)
{
    m_clock = std::move(clock);
    m_speed = std::max(1, speed);
    refresh();
}

void WallScreen::showAlarm(const StationAlarmPlan& plan, const QDateTime& received)
{
    showFields(plan);
    m_units->setText(plan.units.join(QStringLiteral(", ")));
    m_driveTime->clear();
    m_water->clear();
    m_alarmClock = plan.secondWord;
    m_received = received;
    m_lastKeyword = plan.labels[1];
    // The new alarm's count follows with the strength's next showing, after the first sound.
    m_answers->clear();
    if (m_names)
        m_names->clear();
    if (m_map)
        m_map->setGZoom(kDetailZoom);
    m_standby = false;
    showPage();
    refresh();
    // On screen before the first sound, as the design window is.
    if (isVisible())
        repaint();
}

void WallScreen::showFields(const StationAlarmPlan& plan)
{
    const std::array<QString, 9>& l = plan.labels;
    m_keyword->setText(l[1]);
    m_picture->setText(l[0]);
    QStringList place, address;
    for (const QString& part : { l[5], l[4], l[6] }) {
        if (!part.trimmed().isEmpty())
            place << part.simplified();
    }
    for (const QString& line : { l[2].simplified(), l[3].simplified(), place.join(QStringLiteral(" · ")) }) {
        if (!line.isEmpty())
            address << line;
    }
    m_address->setText(address.join(u'\n'));
    if (m_remark)
        m_remark->setText(l[7]);
    if (m_informant)
        m_informant->setText(l[8]);
}

void WallScreen::showStandby()
{
    if (m_standby)
        return;
    m_standby = true;
    centreOnStation();
    fillStandby();
    showPage();
    refresh();
}

void WallScreen::setDriveTime(const QString& text)
{
    m_driveTime->setText(text);
    // Both ends of the way in view.
    if (m_map && !m_standby)
        m_map->fitRoute();
}

void WallScreen::setWater(const QString& line)
{
    m_water->setText(line.isEmpty() ? QString() : QStringLiteral("Wasser: ") + line);
}

void WallScreen::linkStatus(bool connected)
{
    m_linkUp = connected;
    if (m_standby)
        refresh();
}

void WallScreen::setPaths(const QList<PathStates::Path>& paths)
{
    m_paths = paths;
    QStringList head { m_name };
    for (const PathStates::Path& path : paths) {
        if (path.state != PathStates::State::Connected)
            head << path.name + QLatin1Char(' ') + PathStates::stateWord(path.state) + QStringLiteral(" seit ")
                    + path.since.toString(QStringLiteral("HH:mm"));
    }
    m_head->setText(head.join(QStringLiteral(" · ")));
    if (m_standby)
        refresh();
}

void WallScreen::pointerMoved()
{
    if (!m_bar)
        return;
    m_bar->raise();
    m_barShown.start();
}

void WallScreen::refresh()
{
    const QDateTime now = m_clock();
    std::chrono::milliseconds next = std::chrono::milliseconds(60'000 - now.time().msecsSinceStartOfDay() % 60'000);
    if (!m_standby && m_settings.standbyMinutes > 0) {
        const QDateTime due = m_received.addMSecs(qint64(m_settings.standbyMinutes * 60'000));
        if (now >= due) {
            showStandby();
            return;
        }
        next = std::min(next, std::chrono::milliseconds(now.msecsTo(due)));
    }
    const QString clock = now.toString(QStringLiteral("HH:mm"));
    if (m_standby) {
        // A new year counts from nought; appointments that are over leave the list.
        if (now.date().year() != m_countYear)
            countThisYear();
        fillAppointments();
        m_clockLabel->setText(clock);
        m_date->setText(WallTexts::date(now.date()));
        m_lastAlarm->setText(WallTexts::lastAlarm(m_lastKeyword, m_received, now));
        QStringList status { WallTexts::yearCount(now.date().year(), m_yearCount) };
        if (m_paths.size() > 1) {
            // Every path: "Leitstelle 1 verbunden · Leitstelle 2 getrennt seit 10:42".
            for (const PathStates::Path& path : std::as_const(m_paths))
                status << path.name + QLatin1Char(' ') + PathStates::stateWord(path.state)
                        + (path.state == PathStates::State::Connected
                                ? QString()
                                : QStringLiteral(" seit ") + path.since.toString(QStringLiteral("HH:mm")));
        } else {
            status << (m_linkUp ? QStringLiteral("Leitstelle verbunden")
                                : QStringLiteral("keine Verbindung zur Leitstelle"));
        }
        m_status->setText(status.join(QStringLiteral(" · ")));
    } else {
        m_headClock->setText(clock);
        const QString since = WallTexts::since(m_received, now);
        m_since->setText(m_alarmClock.isEmpty() ? since : QStringLiteral("%1 Uhr · %2").arg(m_alarmClock, since));
        next = std::min(next, WallTexts::untilSinceChanges(m_received, now));
    }
    m_tick.start(std::max<int>(1, int(next.count() / m_speed)));
}

void WallScreen::fillStandby()
{
    countThisYear();
    fillAppointments();
    fillTicker();
}

void WallScreen::countThisYear()
{
    // This year's station alarms as the history holds them; read here, never on an alarm's way.
    m_yearCount = 0;
    m_countYear = m_clock().date().year();
    const QString path = m_ctx.dataFile(QStringLiteral("history.sqlite"));
    if (!m_ctx.DataFolder.isEmpty() && QFile::exists(path)) {
        HistoryReader reader(path, true);
        if (reader.open()) {
            for (const HistoryRow& row : reader.rows(m_countYear))
                m_yearCount += row.counted();
        }
    }
}

void WallScreen::fillAppointments()
{
    QStringList lines;
    if (m_calendar) {
        for (const Appointment& a : m_calendar->next(m_clock()))
            lines << StationCalendar::text(a);
    }
    m_appointments->setText(lines.join(u'\n'));
}

void WallScreen::fillTicker()
{
    QStringList lines;
    for (int row = 0; m_tickerModel && row < std::min(kTickerRows, m_tickerModel->rowCount()); ++row) {
        const auto cell = [&](int column, qsizetype most) {
            return CellMarkup::plainText(CellMarkup::parse(m_tickerModel->index(row, column).data().toString(), most))
                .simplified();
        };
        lines << cell(TickerCells::Zeit, 20) + QStringLiteral("  ") + cell(TickerCells::Text, 200);
    }
    m_ticker->setText(lines.join(u'\n'));
}

void WallScreen::showPage()
{
    m_alarmPage->setVisible(!m_standby);
    m_standbyPage->setVisible(m_standby);
    placeMap();
}

void WallScreen::placeMap()
{
    const bool board = boardShown();
    if (m_board) {
        m_board->setGeometry(m_standby ? WallLayout::standby(size(), m_station.has_value(), board).board
                                       : WallLayout::alarm(size(), board).board);
        setGround(m_board, m_standby ? kStandbyGround : kAlarmGround);
        m_board->setVisible(board);
        m_board->raise();
    }
    if (!m_map)
        return;
    m_map->setPaintScale(WallLayout::scale(size()));
    m_map->setGeometry(m_standby ? WallLayout::standby(size(), true, board).map : WallLayout::alarm(size(), board).map);
    m_map->setVisible(!m_standby || m_station);
    m_map->raise();
}

void WallScreen::centreOnStation()
{
    if (!m_map || !m_station)
        return;
    // Never the open sea at 0° / 0°: the station marked, without the last incident's marker, way
    // and water sources.
    m_map->setRoute({});
    m_map->DelMarker();
    m_map->setWaterSources({});
    const QString station = QStringLiteral("%1,%2").arg(m_station->y(), 0, 'f', 6).arg(m_station->x(), 0, 'f', 6);
    m_map->AddMarker(station, kStationMarkerColour, QStringLiteral("W"));
    m_map->setGPoint(station);
    m_map->setGZoom(kStationZoom);
}

void WallScreen::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    place();
}

void WallScreen::place()
{
    m_alarmPage->setGeometry(rect());
    m_standbyPage->setGeometry(rect());
    const bool board = boardShown();
    const WallAlarmGeometry alarm = WallLayout::alarm(size(), board);
    for (const auto& [label, box] : m_alarmBoxes) {
        const WallBox& b = alarm.*box;
        label->setGeometry(b.rect);
        label->setFont(typeOfCapHeight(b.capHeight, this, label == m_keyword));
    }
    // The station's name and the clock share the head.
    QRect head = alarm.head.rect;
    m_headClock->setGeometry(head.adjusted(head.width() * 3 / 4, 0, 0, 0));
    m_head->setGeometry(head.adjusted(0, 0, -head.width() / 4, 0));
    const WallStandbyGeometry standby = WallLayout::standby(size(), m_station.has_value(), board);
    for (const auto& [label, box] : m_standbyBoxes) {
        const WallBox& b = standby.*box;
        label->setGeometry(b.rect);
        label->setFont(typeOfCapHeight(b.capHeight, this, label == m_clockLabel));
    }
    placeMap();
}

QScreen* WallScreen::chooseScreen(const QString& wanted)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (screen->name() == wanted)
            return screen;
    }
    bool number = false;
    const int index = wanted.toInt(&number);
    if (number && index >= 0 && index < screens.size())
        return screens.at(index);
    QStringList names;
    for (const QScreen* screen : screens)
        names << screen->name();
    qCWarning(lcFiles).noquote() << "display.ini: the screen" << wanted << "is not there (screens:"
                                 << names.join(QStringLiteral(", ")) + "); the primary screen serves";
    return QGuiApplication::primaryScreen();
}
