#include "app/Form1.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/GMapAlarmMap.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "app/CaptionButton.h"
#include "app/FittingLabel.h"
#include "app/HallPrivacy.h"
#include "app/LinkWarning.h"
#include "app/MainLayout.h"
#include "app/Pictures.h"
#include "app/ScreenWake.h"
#include "app/WallScreen.h"
#include "app/WindowLook.h"
#include "common/AppContext.h"
#include "common/Twips.h"
#include "crew/CrewDesk.h"
#include "history/HistoryDesk.h"
#include "history/HistoryReader.h"
#include "history/HistoryRecorder.h"
#include "link/ServerLink.h"
#include "log/DocumentationList.h"
#include "log/TickerModel.h"
#include "map/MapConfig.h"
#include "map/ucGMap.h"
#include "print/Printout.h"
#include "route/RoutePlanner.h"
#include "settings/DataFolders.h"
#include "settings/Form2.h"
#include "settings/SettingsFile.h"
#include "water/WaterLookup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace {

const QColor kWindowGrey(0xC0, 0xC0, 0xC0);
const QColor kDarkShade(0xFE, 0x6C, 0x58);
const QColor kLightShade(0xFF, 0xBC, 0xB3);

struct AlarmLabelDesign {
    int top;
    int height;
    double pointSize;
    bool dark;
    Qt::Alignment alignment;
    const char* caption;
};

// label_einsatz(0) to (8): top, height, font size, shade, alignment, design caption.
const AlarmLabelDesign kAlarmLabels[9] = {
    { 1800, 615, 26.25, false, Qt::AlignCenter, "Meldbild" },
    { 720, 1095, 48, true, Qt::AlignCenter, "Stichwort" },
    { 2400, 615, 26.25, true, Qt::AlignCenter, "Straße/Hnr" },
    { 3000, 615, 26.25, false, Qt::AlignCenter, "Plz/Ort" },
    { 3600, 615, 26.25, true, Qt::AlignCenter, "Zusatz" },
    { 4200, 615, 26.25, false, Qt::AlignCenter, "Objekt" },
    { 4800, 615, 26.25, true, Qt::AlignCenter, "agO" },
    { 6000, 1335, 26.25, true, Qt::AlignLeft | Qt::AlignTop, "Vermerk" },
    { 5400, 615, 26.25, false, Qt::AlignCenter, "Hinweisgeber" },
};

// The client area the window is designed for: 18960 × 14040 twips.
const QSize kDesignClient(twipsToPixels(18960), twipsToPixels(14040));
// How long a shown window may take to reach the screen before the start-up goes on without it.
constexpr int kOnScreenWaitMs = 3000;
// In full screen the mouse pointer goes after this long without movement.
constexpr int kPointerIdleMs = 3000;

constexpr int kAlarmLabelLeft = 9600;
constexpr int kAlarmLabelWidth = 9135;

QString colourSheet(const QColor& background, const QColor& text = QColor())
{
    QString sheet = QStringLiteral("background-color: %1; border: 1px solid #202020;").arg(background.name());
    if (text.isValid())
        sheet += QStringLiteral(" color: %1;").arg(text.name());
    return sheet;
}

template <typename Button = QPushButton>
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    auto* button = new Button(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel* makePicture(QWidget* parent, const QString& name, QRect geometry, const QPixmap& pixmap, bool visible)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setPixmap(pixmap);
    // On a screen smaller than the design the picture shrinks with its place.
    label->setScaledContents(true);
    label->setAlignment(Qt::AlignCenter);
    label->setVisible(visible);
    return label;
}

QTableWidget* makeGrid(QWidget* parent, const QString& name, QRect geometry)
{
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(name);
    grid->setGeometry(geometry);
    grid->verticalHeader()->hide();
    return grid;
}

} // namespace

TopBar::TopBar(QWidget* parent)
    : QWidget(parent)
{
}

void TopBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0, QColor(0x6A, 0x97, 0xC0));
    gradient.setColorAt(1, QColor(0xB3, 0xC9, 0xDD));
    p.fillRect(rect(), gradient);
}

Form1::Form1(AppContext& ctx, LinkTimer linkTimer, QWidget* parent)
    : QWidget(parent)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kessvenn"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowGrey);
    setPalette(pal);
    resize(kDesignClient);

    createControls();
    m_documentation = new DocumentationList(m_ctx, m_ui.List_Doku, this);

    createAlarmHandler();

    m_wake = new ScreenWake(m_ctx, this);
    // The screen is lit before an alarm's first sound. A new alarm's route replaces the older
    // one's as soon as its position is known, which is told after the first sound has started.
    connect(m_core, &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan&, bool replay) {
        m_liveAlarmShown = m_liveAlarmShown || !replay;
        if (!replay)
            m_wake->alarm();
        m_ui.lbl_Anfahrt->clear();
        m_ui.ucGMap1->setRoute({});
        if (m_route)
            m_route->cancel();
    });
    connect(m_core, &AlarmCore::unitAlarm, m_wake, &ScreenWake::alarm);
    alarmHandler->watch(*m_core);
    connect(alarmHandler, &AlarmHandler::incidentPlaced, this, [this](std::optional<QPointF> position) {
        if (m_route && position)
            m_route->plan(*position);
    });
    m_printout->watch(*m_core);
    m_history = new HistoryDesk(m_ctx, *m_core, *alarmHandler, alarmControls(), m_ui.roLabel1_1, this);
    connect(m_history, &HistoryDesk::printRequested, m_printout,
        [this](const HistoryAlarm& alarm) { m_printout->printAgain(alarm.fields, alarm.received, alarm.printout); });
    createWaterLookup();
    m_crew = new CrewDesk(m_ctx, *m_core, m_ui.roLabel1_1, m_ui.Grid_Status, m_ui.Grid_Melder, this);
    connect(m_core, &AlarmCore::tickerMessage, m_documentation, &DocumentationList::HandleTickerMessage);
    connect(m_core, &AlarmCore::tickerDeleted, m_documentation, &DocumentationList::DeleteTicker);
    m_linkWarning = new LinkWarning(this);
    m_pointerIdle = new QTimer(this);
    m_pointerIdle->setSingleShot(true);
    m_pointerIdle->setInterval(kPointerIdleMs);
    connect(m_pointerIdle, &QTimer::timeout, this, [this] {
        if (m_fullScreen && !m_pointerHidden) {
            m_pointerHidden = true;
            QApplication::setOverrideCursor(Qt::BlankCursor);
        }
    });

    serverLink = new ServerLink(m_ctx, *m_core, this);
    connect(serverLink, &ServerLink::linkStatusChanged, this, [this](int status) {
        m_ui.Image_S->setPixmap(m_ui.Image_Server[status == 1 ? 1 : 0]->pixmap());
        m_linkWarning->linkStatus(status);
    });

    // The timer runs from the moment the window exists; its first tick opens the link.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &Form1::onTimer1);
    if (linkTimer == LinkTimer::Running)
        Timer1->start();

    connect(m_ui.cmd_ende, &QPushButton::clicked, this, &QWidget::close);
    connectCommands();
    WindowLook::dress(m_ui);
    noteDesign();
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    if (m_pointerHidden)
        QApplication::restoreOverrideCursor();
}

void Form1::createControls()
{
    m_ui.roLabel1_1 = new TopBar(this);
    m_ui.roLabel1_1->setObjectName(QStringLiteral("roLabel1(1)"));
    m_ui.roLabel1_1->setGeometry(twipsRect(0, 0, 17295, 735));

    m_ui.cmd_Settings = makeButton(m_ui.roLabel1_1, QStringLiteral("cmd_Settings"), QStringLiteral("Einstellungen"),
        twipsRect(720, 120, 1935, 495));
    const QSize serverPictureSize = twipsRect(0, 0, 960, 480).size();
    m_ui.Image_S = makePicture(m_ui.roLabel1_1, QStringLiteral("Image_S"), twipsRect(2880, 120, 960, 480),
        Pictures::serverState(false, serverPictureSize), true);
    for (int i = 0; i < 2; ++i) {
        m_ui.Image_Server[i] = makePicture(m_ui.roLabel1_1, QStringLiteral("Image_Server(%1)").arg(i),
            twipsRect(3960 + 1080 * i, 120, 960, 480), Pictures::serverState(i == 1, serverPictureSize), false);
    }
    m_ui.cmd_Clear = makeButton(m_ui.roLabel1_1, QStringLiteral("cmd_Clear"), QStringLiteral("Clear (strg+c)"),
        twipsRect(9720, 120, 1335, 495));
    m_ui.cmd_ende = makeButton(
        m_ui.roLabel1_1, QStringLiteral("cmd_ende"), QStringLiteral("Programmende"), twipsRect(14640, 120, 2295, 495));
    m_ui.Label_vers = new QLabel(m_ui.roLabel1_1);
    m_ui.Label_vers->setObjectName(QStringLiteral("Label_vers"));
    m_ui.Label_vers->setGeometry(twipsRect(120, 480, 1095, 255));
    m_ui.lbl_Anfahrt = new QLabel(m_ui.roLabel1_1);
    m_ui.lbl_Anfahrt->setObjectName(QStringLiteral("lbl_Anfahrt"));
    m_ui.lbl_Anfahrt->setGeometry(twipsRect(11160, 120, 3420, 495));
    m_ui.lbl_Anfahrt->setAlignment(Qt::AlignCenter);
    // Between the link pictures and the clear button; long lists take smaller type.
    m_ui.lbl_Wasser = new FittingLabel(QString(), m_ui.roLabel1_1);
    m_ui.lbl_Wasser->setObjectName(QStringLiteral("lbl_Wasser"));
    m_ui.lbl_Wasser->setGeometry(twipsRect(6120, 120, 3480, 495));
    m_ui.lbl_Wasser->setAlignment(Qt::AlignCenter);

    m_ui.ucGMap1 = new ucGMap(this);
    m_ui.ucGMap1->setObjectName(QStringLiteral("ucGMap1"));
    m_ui.ucGMap1->setContext(&m_ctx);
    m_ui.ucGMap1->setGeometry(twipsRect(0, 720, 9600, 9600));

    for (int i = 0; i < 8; ++i) {
        m_ui.cmd_zoom[i] = makeButton<CaptionButton>(this, QStringLiteral("cmd_zoom(%1)").arg(i),
            QStringLiteral("%1   (F%2)").arg(12 + i).arg(2 + i), twipsRect(720 * i, 720, 735, 615));
    }
    m_ui.lbl_Zoom = new QLabel(QStringLiteral("16"), this);
    m_ui.lbl_Zoom->setObjectName(QStringLiteral("lbl_Zoom"));
    m_ui.lbl_Zoom->setGeometry(twipsRect(5760, 720, 495, 615));
    m_ui.lbl_Zoom->setAlignment(Qt::AlignCenter);

    const QString mapTypeCaptions[4] = { QStringLiteral("Straße  (strg+s)"), QStringLiteral("Satellit   (strg+a)"),
        QStringLiteral(" Hybrid   (strg+h)"), QStringLiteral("Terrain   (strg+t)") };
    for (int i = 0; i < 4; ++i) {
        m_ui.cmd_Anbieter[i] = makeButton<CaptionButton>(this, QStringLiteral("cmd_Anbieter(%1)").arg(i),
            mapTypeCaptions[i], twipsRect(6240 + 840 * i, 720, 855, 615));
    }

    for (int i = 0; i < 9; ++i) {
        const AlarmLabelDesign& d = kAlarmLabels[i];
        auto* label = new FittingLabel(QString::fromUtf8(d.caption), this);
        label->setObjectName(QStringLiteral("label_einsatz(%1)").arg(i));
        label->setGeometry(twipsRect(kAlarmLabelLeft, d.top, kAlarmLabelWidth, d.height));
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(d.pointSize);
        label->setFont(font);
        label->setAlignment(d.alignment);
        label->setWordWrap(!(d.alignment & Qt::AlignHCenter));
        label->setStyleSheet(colourSheet(d.dark ? kDarkShade : kLightShade, palette().color(QPalette::WindowText)));
        m_ui.label_einsatz[i] = label;
    }

    for (int i = 0; i < 2; ++i) {
        m_ui.Label2[i] = new QLabel(this);
        m_ui.Label2[i]->setObjectName(QStringLiteral("Label2(%1)").arg(i));
        m_ui.Label2[i]->setGeometry(twipsRect(9600, i == 0 ? 1800 : 2040, 1095, i == 0 ? 255 : 375));
        m_ui.Label2[i]->setTextFormat(Qt::PlainText);
    }
    m_ui.Label2[0]->setStyleSheet(colourSheet(kLightShade, QColor(0, 0, 0xC0)));
    m_ui.Label2[1]->setStyleSheet(colourSheet(kLightShade));
    m_ui.Label4 = new QLabel(this);
    m_ui.Label4->setObjectName(QStringLiteral("Label4"));
    m_ui.Label4->setGeometry(twipsRect(9600, 2400, 1095, 615));
    m_ui.Label4->setAlignment(Qt::AlignCenter);
    // Texts from the dispatch computer: shown as they are, never read as markup.
    m_ui.Label4->setTextFormat(Qt::PlainText);
    m_ui.Label4->setStyleSheet(colourSheet(kDarkShade));

    const QSize signalSize = twipsRect(0, 0, 960, 960).size();
    m_ui.Image_Blau = makePicture(this, QStringLiteral("Image_Blau"), twipsRect(9600, 840, 975, 975),
        Pictures::alarmSignal(false, signalSize), true);
    m_ui.Image2 = makePicture(this, QStringLiteral("Image2"), twipsRect(10440, 840, 960, 960),
        Pictures::alarmSignal(true, signalSize), false);
    m_ui.Image3 = makePicture(this, QStringLiteral("Image3"), twipsRect(11280, 840, 960, 960),
        Pictures::alarmSignal(false, signalSize), false);
    m_ui.Image_Blau->setAttribute(Qt::WA_TranslucentBackground);

    // The small labels and the signal picture stand on top of the big labels' left end.
    for (QWidget* w : { static_cast<QWidget*>(m_ui.Label2[0]), static_cast<QWidget*>(m_ui.Label2[1]),
             static_cast<QWidget*>(m_ui.Label4), static_cast<QWidget*>(m_ui.Image_Blau) })
        w->raise();

    m_ui.MSFlexGrid1 = makeGrid(this, QStringLiteral("MSFlexGrid1"), twipsRect(9600, 7320, 4665, 14040 - 7320));
    m_ui.Grid_Melder = makeGrid(this, QStringLiteral("Grid_Melder"), twipsRect(14280, 7320, 4680, 2720));
    m_ui.Grid_Status = makeGrid(this, QStringLiteral("Grid_Status"), twipsRect(14280, 10040, 4680, 4000));

    m_ui.List_Doku = new QTableView(this);
    m_ui.List_Doku->setObjectName(QStringLiteral("List_Doku"));
    m_ui.List_Doku->setGeometry(twipsRect(0, 10320, 9615, 14040 - 10320));

    // The zoom and map-type buttons lie on top of the map.
    for (QPushButton* b : m_ui.cmd_zoom)
        b->raise();
    for (QPushButton* b : m_ui.cmd_Anbieter)
        b->raise();
    m_ui.lbl_Zoom->raise();
}

void Form1::load()
{
    serverLink->SendPending = 0;
    InitDataFolders(m_ctx);
    m_ui.Label_vers->setText(QStringLiteral("V %1.%2.%3")
                                 .arg(KESSVENN_VERSION_MAJOR)
                                 .arg(KESSVENN_VERSION_MINOR)
                                 .arg(KESSVENN_VERSION_PATCH));
    for (QLabel* label : m_ui.label_einsatz)
        label->clear();
    LoadSettings(m_ctx);
    m_display = DisplaySettings::read(m_ctx.DataFolder);
    m_wake->configure(m_display);
    m_linkWarning->setDelaySeconds(m_display.linkWarningSeconds);
    m_linkWarning->linkStatus(serverLink->LinkStatus());
    bool placeAnew = false;
    if (!m_display.screen.isEmpty()) {
        if (QScreen* chosen = WallScreen::chooseScreen(m_display.screen); chosen && chosen != screen()) {
            setScreen(chosen);
            placeAnew = true;
        }
    }
    if (m_display.fullscreen && !m_fullScreen) {
        setFullScreen(true);
        placeAnew = true;
    }
    if (placeAnew && isVisible())
        showOnScreen();
    m_ctx.ServerPort = 4750;
    m_ctx.MonitorName = QHostInfo::localHostName();
    m_ctx.TickerPath = m_ctx.dataFile(QStringLiteral("ticker.dat"));
    m_ctx.LastAlarmPath = m_ctx.dataFile(QStringLiteral("last.dat"));
    m_history->start();
    connect(m_printout, &Printout::printed, m_history->recorder(), &HistoryRecorder::recordPrintout);
    m_crew->start(m_display.strength, m_history->recorder(), !m_display.privacy);
    setUpRoute();
    setUpWater();
    setUpWall();
    alarmHandler->InitAlarmGrids();
    m_ui.ucGMap1->setGZoom(16);
    waitUntilOnScreen();
    // A live alarm that came in while the window reached the screen is newer than last.dat.
    if (!m_liveAlarmShown)
        replayLastAlarm();
    InitDocumentationList();
    lese_ticker();
    // The link opens at once, while the replay is still heard, not at the timer's first tick.
    if (Timer1->isActive())
        QTimer::singleShot(0, serverLink, [this] { serverLink->superviseTick(); });
}

void Form1::replayLastAlarm()
{
    // After a long power cut the stored alarm is old news: shown, but not sounded in the night.
    const QFileInfo stored(m_ctx.LastAlarmPath);
    // The file system's zero time (1970-01-01, a clock that was never set) reads as no time at all:
    // no age that could be trusted either.
    const QDateTime modified = stored.lastModified();
    const qint64 ageMs = modified.isValid() ? modified.msecsTo(QDateTime::currentDateTime()) : -1;
    const double limitMs = m_display.replayAnnounceMinutes * 60000;
    // A file from the future (a clock set back) has no age that could be trusted.
    const bool announce = limitMs <= 0 || (ageMs >= 0 && double(ageMs) < limitMs);
    if (announce && stored.exists())
        m_wake->alarm();
    m_core->ReplayLastAlarm(announce);
}

void Form1::setUpRoute()
{
    delete m_route;
    m_route = nullptr;
    RouteSettings settings = m_ui.ucGMap1->config().route;
    m_printout->setRouteExpected(settings.active(), settings.factor);
    if (!settings.active())
        return;
    m_route = new RoutePlanner(std::move(settings), this);
    connect(m_route, &RoutePlanner::routeFound, this, &Form1::showRoute);
    connect(m_route, &RoutePlanner::routeFound, m_printout, &Printout::routeFound);
    connect(m_route, &RoutePlanner::routeFailed, m_printout, &Printout::routeFailed);
    if (HistoryRecorder* history = m_history->recorder())
        connect(m_route, &RoutePlanner::routeFound, history, &HistoryRecorder::recordRoute);
}

void Form1::createWaterLookup()
{
    m_water = new WaterLookup(this);
    // A new alarm drops the older one's sources at once; its own follow once its place is known.
    connect(m_core, &AlarmCore::stationAlarm, m_water, [this] {
        m_water->cancel();
        m_ui.lbl_Wasser->clear();
        m_ui.ucGMap1->setWaterSources({});
    });
    connect(alarmHandler, &AlarmHandler::incidentPlaced, m_water, [this](std::optional<QPointF> position) {
        if (position)
            m_water->lookUp(*position);
    });
    connect(m_water, &WaterLookup::found, this, [this](const WaterNearby& nearby) {
        m_ui.lbl_Wasser->setText(nearby.line());
        m_ui.ucGMap1->setWaterSources(nearby.sources);
    });
    connect(m_water, &WaterLookup::found, m_printout, &Printout::waterFound);
}

void Form1::setUpWater()
{
    m_water->setIndex(m_ui.ucGMap1->config().water);
    m_printout->setWaterExpected(m_water->active());
    if (HistoryRecorder* history = m_history->recorder())
        connect(m_water, &WaterLookup::found, history, &HistoryRecorder::recordWater, Qt::UniqueConnection);
}

void Form1::showRoute(const Route& route)
{
    m_ui.lbl_Anfahrt->setText(RouteText::summary(route, m_route ? m_route->settings().factor : 1.0));
    m_ui.ucGMap1->setRoute(route.points);
    if (m_wall)
        m_wall->setDriveTime(m_ui.lbl_Anfahrt->text());
}

void Form1::setUpWall()
{
    // Once, at start-up: after the alarm handler, so that the personal fields it fills go again.
    if (m_display.privacy) {
        new HallPrivacy(*m_core, alarmControls(), this);
        m_history->setLocked(true);
    }
    if (m_display.layout != DisplaySettings::Layout::Wall || m_wall)
        return;
    m_wall = new WallScreen(m_ctx, m_display, this);
    m_wall->watch(*m_core, m_ui.Grid_Melder);
    m_design.forget(m_ui.ucGMap1);
    m_wall->setMap(m_ui.ucGMap1, m_ui.ucGMap1->config().route.station);
    m_wall->setTicker(m_documentation->model());
    m_wall->setButtonBar(m_ui.roLabel1_1);
    m_wall->linkStatus(serverLink->LinkStatus());
    connect(serverLink, &ServerLink::linkStatusChanged, m_wall, &WallScreen::linkStatus);
    m_wall->setGeometry(rect());
    m_wall->show();
    m_linkWarning->raise();
}

void Form1::setFullScreen(bool on)
{
    m_fullScreen = on;
    // A shown window keeps its flags: changing them would make it anew, and the window system
    // takes the frame off a full-screen window anyway.
    if (!isVisible())
        setWindowFlag(Qt::FramelessWindowHint, on);
    if (on) {
        m_pointerIdle->start();
    } else {
        m_pointerIdle->stop();
        pointerMoved();
    }
}

void Form1::pointerMoved()
{
    if (m_pointerHidden) {
        m_pointerHidden = false;
        QApplication::restoreOverrideCursor();
    }
    if (m_fullScreen)
        m_pointerIdle->start();
}

void Form1::showOnScreen()
{
    if (m_fullScreen) {
        // Without a window manager (a kiosk session) nobody acts on the request for full screen:
        // the window takes the screen's place itself. The layout follows on the resize.
        if (const QScreen* screen = this->screen())
            setGeometry(screen->geometry());
        showFullScreen();
        return;
    }
    // The window system may tell the frame's size once the window exists; some only once it is on
    // screen, and until then it counts as none (the start-up fits the window again then).
    create();
    if (const QScreen* screen = this->screen()) {
        const QRect frame = frameGeometry();
        const QMargins margins(geometry().left() - frame.left(), geometry().top() - frame.top(),
            frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
        const QRect available = screen->availableGeometry();
        const QSize client = kDesignClient.boundedTo(available.size().shrunkBy(margins)).expandedTo(QSize(1, 1));
        QRect place(QPoint(), client.grownBy(margins));
        place.moveCenter(available.center());
        place.moveTopLeft(QPoint(std::max(place.left(), available.left()), std::max(place.top(), available.top())));
        setGeometry(QRect(place.topLeft() + QPoint(margins.left(), margins.top()), client));
    }
    show();
}

void Form1::waitUntilOnScreen()
{
    QWindow* window = windowHandle();
    if (!isVisible() || !window || window->isExposed() || m_ctx.ist_ende() == 1)
        return;
    // The window system maps a shown window a little later; the first expose paints it.
    QEventLoop loop;
    struct ExposeWatch : QObject {
        QEventLoop& loop;
        explicit ExposeWatch(QEventLoop& l)
            : loop(l)
        {
        }
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            return false;
        }
    } watch(loop);
    window->installEventFilter(&watch);
    connect(&m_ctx, &AppContext::ending, &loop, &QEventLoop::quit);
    QTimer::singleShot(kOnScreenWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    window->removeEventFilter(&watch);
    // A window manager's frame may have made the window too large for the screen after all.
    if (const QScreen* screen = this->screen(); screen && !screen->availableGeometry().contains(frameGeometry()))
        showOnScreen();
}

void Form1::InitDocumentationList()
{
    m_documentation->InitDocumentationList();
}

void Form1::lese_ticker()
{
    m_documentation->lese_ticker();
}

void Form1::connectCommands()
{
    for (int i = 0; i < int(m_ui.cmd_zoom.size()); ++i)
        connect(m_ui.cmd_zoom[i], &QPushButton::clicked, this, [this, i] { cmd_zoom_Click(i); });
    for (int i = 0; i < int(m_ui.cmd_Anbieter.size()); ++i)
        connect(m_ui.cmd_Anbieter[i], &QPushButton::clicked, this, [this, i] { cmd_Anbieter_Click(i); });
    connect(m_ui.cmd_Clear, &QPushButton::clicked, this, &Form1::cmd_Clear_Click);
    connect(m_ui.cmd_Settings, &QPushButton::clicked, this, &Form1::cmd_Settings_Click);

    askYesNo = [](QWidget* parent, const QString& title, const QString& question) {
        return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };

    // The shortcuts act on key release whichever control has the focus, so the window looks at the
    // key events of all its children before they do.
    qApp->installEventFilter(this);

    // The list gets its columns at start-up, after the first layout; their widths follow then.
    connect(
        m_ui.List_Doku->horizontalHeader(), &QHeaderView::sectionCountChanged, this, &Form1::applyDocumentationColumns);
}

void Form1::cmd_zoom_Click(int index)
{
    m_ui.ucGMap1->setGZoom(index + 12);
    m_ui.lbl_Zoom->setText(QString::number(m_ui.ucGMap1->GZoom()));
}

void Form1::cmd_Anbieter_Click(int index)
{
    m_ui.ucGMap1->setMapType(index);
}

void Form1::cmd_Clear_Click()
{
    // The question waits in an event loop, so an alarm may arrive before it is answered. What the
    // operator decided to clear is what was on screen when asking; a newer alarm stays.
    const auto incidentOnScreen = [this] {
        QStringList texts;
        for (const QLabel* label : m_ui.label_einsatz)
            texts << label->text();
        texts << m_ui.Label2[0]->text() << m_ui.Label2[1]->text() << m_ui.Label4->text();
        for (int row = 0; row < m_ui.MSFlexGrid1->rowCount(); ++row) {
            const QTableWidgetItem* item = m_ui.MSFlexGrid1->item(row, 0);
            texts << (item ? item->text() : QString());
        }
        return texts;
    };
    const QStringList asked = incidentOnScreen();
    if (!askYesNo || !askYesNo(this, windowTitle(), QStringLiteral("Einsatzdaten entfernen?")))
        return;
    if (incidentOnScreen() != asked)
        return;

    for (QLabel* label : m_ui.label_einsatz)
        label->clear();
    m_ui.Label2[0]->clear();
    m_ui.Label2[1]->clear();
    m_ui.Label4->clear();
    // The grids' headings are their horizontal headers: no rows left means the heading row alone.
    m_ui.MSFlexGrid1->setRowCount(0);
    m_ui.Grid_Melder->setRowCount(0);
    m_printout->screenCleared();
    m_crew->alarmCleared();
    if (m_wall)
        m_wall->showStandby();
}

void Form1::cmd_Settings_Click()
{
    // One dialog: a click while it is open brings it to the front as it stands, with any edits.
    if (!m_form2 || !m_form2->isVisible())
        m_form2 = new Form2(m_ctx, this);
    // The map reads map.ini again when the dialog has closed.
    connect(m_form2, &QDialog::finished, m_ui.ucGMap1, &ucGMap::reloadConfiguration, Qt::UniqueConnection);
    connect(m_form2, &QDialog::finished, this, &Form1::setUpRoute, Qt::UniqueConnection);
    connect(m_form2, &QDialog::finished, this, &Form1::setUpWater, Qt::UniqueConnection);
    m_form2->show();
    m_form2->raise();
    m_form2->activateWindow();
}

Form2* Form1::settingsDialog() const
{
    return m_form2 && m_form2->isVisible() ? m_form2.data() : nullptr;
}

bool Form1::runShortcut(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (held == Qt::NoModifier && key == Qt::Key_F10) {
        // The whole way from the station to the incident.
        if (m_ui.ucGMap1->fitRoute())
            m_ui.lbl_Zoom->setText(QString::number(m_ui.ucGMap1->GZoom()));
        return true;
    }
    if (held == Qt::NoModifier && key == Qt::Key_F11) {
        m_crew->toggleBoard();
        return true;
    }
    if (held == Qt::NoModifier && key >= Qt::Key_F2 && key <= Qt::Key_F9) {
        cmd_zoom_Click(key - Qt::Key_F2);
        return true;
    }
    if (held == Qt::NoModifier && key == Qt::Key_Escape && m_history->showsArchive()) {
        m_history->returnToLive();
        return true;
    }
    if (held != Qt::ControlModifier)
        return false;
    switch (key) {
    case Qt::Key_E:
        m_history->openList();
        return true;
    case Qt::Key_S:
        cmd_Anbieter_Click(0);
        return true;
    case Qt::Key_A:
        cmd_Anbieter_Click(1);
        return true;
    case Qt::Key_H:
        cmd_Anbieter_Click(2);
        return true;
    case Qt::Key_T:
        cmd_Anbieter_Click(3);
        return true;
    case Qt::Key_C:
        cmd_Clear_Click();
        return true;
    case Qt::Key_P:
        m_printout->printNow();
        return true;
    default:
        return false;
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Every movement of the pointer, whichever window it is over, reaches the application first.
    if (event->type() == QEvent::MouseMove && m_fullScreen && watched->isWindowType())
        pointerMoved();
    if (event->type() == QEvent::MouseMove && m_wall && watched->isWindowType())
        m_wall->pointerMoved();
    // A window that goes full screen while shown may learn its new size from the window system
    // without a resize event of its own; the layout follows the window's.
    if (event->type() == QEvent::Resize && watched == windowHandle()) {
        const QSize client = static_cast<QResizeEvent*>(event)->size();
        applyLayout(client);
        m_linkWarning->place(client);
    }
    if (event->type() == QEvent::KeyRelease && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if ((widget == this || isAncestorOf(widget)) && !key->isAutoRepeat()
            && runShortcut(key->key(), key->modifiers()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyLayout(event->size());
    m_linkWarning->place(event->size());
}

void Form1::noteDesign()
{
    // Buttons and small labels draw their type at a fixed size; it shrinks with the window. The
    // alarm labels fit their type themselves, the map and the lists keep theirs.
    const auto note = [this](QWidget* w) {
        const bool fixedType
            = qobject_cast<QPushButton*>(w) || (qobject_cast<QLabel*>(w) && !qobject_cast<FittingLabel*>(w));
        m_design.note(w, fixedType ? DesignPlaces::Type::Scaled : DesignPlaces::Type::Kept);
    };
    for (QWidget* parent : { static_cast<QWidget*>(this), static_cast<QWidget*>(m_ui.roLabel1_1) }) {
        for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!w->isWindow() && w != m_linkWarning)
                note(w);
        }
    }
}

void Form1::applyLayout(QSize clientPixels)
{
    const int width = clientPixels.width() * kTwipsPerPixel;
    const int height = clientPixels.height() * kTwipsPerPixel;
    const double scale = MainLayout::scale(width, height);
    if (scale <= 0)
        return; // minimised: nothing to see
    m_design.apply(scale);

    MainLayoutGeometry design;
    design.cmd_ende = m_design.design(m_ui.cmd_ende);
    design.List_Doku = m_design.design(m_ui.List_Doku);
    design.MSFlexGrid1 = m_design.design(m_ui.MSFlexGrid1);
    design.Grid_Melder = m_design.design(m_ui.Grid_Melder);
    design.Grid_Status = m_design.design(m_ui.Grid_Status);
    for (int i = 0; i < int(m_ui.label_einsatz.size()); ++i)
        design.label_einsatz[i] = m_design.design(m_ui.label_einsatz[i]);
    design.roLabel1 = m_design.design(m_ui.roLabel1_1);

    const MainLayoutGeometry next
        = MainLayout::arrange(int(std::lround(width / scale)), int(std::lround(height / scale)), design);
    const auto place = [scale](QWidget* w, const QRect& twips) {
        w->setGeometry(twipsEdgesToPixels(MainLayout::scaled(twips, scale)));
    };
    place(m_ui.cmd_ende, next.cmd_ende);
    place(m_ui.List_Doku, next.List_Doku);
    place(m_ui.MSFlexGrid1, next.MSFlexGrid1);
    place(m_ui.Grid_Melder, next.Grid_Melder);
    place(m_ui.Grid_Status, next.Grid_Status);
    for (int i = 0; i < int(m_ui.label_einsatz.size()); ++i)
        place(m_ui.label_einsatz[i], next.label_einsatz[i]);
    place(m_ui.roLabel1_1, next.roLabel1);

    WindowLook::coverLabelEnds(m_ui);
    applyDocumentationColumns();
    if (m_wall)
        m_wall->setGeometry(QRect(QPoint(), clientPixels));
}

void Form1::applyDocumentationColumns()
{
    // Rule 8 of the layout: the list knows its columns and keeps their widths in one place.
    if (m_ui.List_Doku->horizontalHeader()->count() >= 5)
        m_documentation->setColumnWidths();
}

void Form1::onTimer1()
{
    if (m_ctx.ist_ende() == 1) {
        Timer1->stop();
        return;
    }
    serverLink->superviseTick();
}

void Form1::closeEvent(QCloseEvent* event)
{
    m_ctx.beginEnding();
    Timer1->stop();
    serverLink->SendPending = 0;
    serverLink->closeSocket();
    event->accept();
    if (m_ctx.endProcess)
        m_ctx.endProcess();
}

AlarmControls Form1::alarmControls() const
{
    AlarmControls controls;
    controls.label_einsatz = m_ui.label_einsatz;
    controls.Label2 = m_ui.Label2;
    controls.Label4 = m_ui.Label4;
    controls.Image_Blau = m_ui.Image_Blau;
    controls.Image2 = m_ui.Image2;
    controls.Image3 = m_ui.Image3;
    controls.MSFlexGrid1 = m_ui.MSFlexGrid1;
    controls.Grid_Status = m_ui.Grid_Status;
    controls.Grid_Melder = m_ui.Grid_Melder;
    return controls;
}

void Form1::setAnnouncementOutput(AnnouncementOutput* output)
{
    delete m_announcements;
    m_announcements = new AnnouncementQueue(m_ctx, *output, this);
    m_core->setAnnouncements(m_announcements);
}

void Form1::createAlarmHandler()
{
    m_announcer = new Announcer(m_ctx, this);
    m_announcements = new AnnouncementQueue(m_ctx, *m_announcer, this);
    m_core = new AlarmCore(m_ctx, this);
    m_core->setAnnouncements(m_announcements);
    auto* map = new GMapAlarmMap(*m_ui.ucGMap1, this);
    alarmHandler = new AlarmHandler(alarmControls(), map, this);
    m_printout = new Printout(m_ctx, this);
    m_printout->setMapConfig([map = m_ui.ucGMap1] { return map->config(); });
    connect(alarmHandler, &AlarmHandler::incidentPlaced, m_printout, &Printout::incidentPlaced);
}

void Form1::HandleStationAlarm(const QString& message, int replay)
{
    m_core->HandleStationAlarm(message, replay);
}

void Form1::HandleUnitAlarm(const QString& message)
{
    m_core->HandleUnitAlarm(message);
}

void Form1::HandleTickerMessage(const QString& message)
{
    m_core->HandleTickerMessage(message);
}

void Form1::InsertStatusRow(const QString& message)
{
    m_core->InsertStatusRow(message);
}

void Form1::InsertPagerRow(const QString& message)
{
    m_core->InsertPagerRow(message);
}

void Form1::DeleteTicker()
{
    m_core->DeleteTicker();
}

void Form1::HandleFeedback(const QString& message)
{
    m_core->HandleFeedback(message);
}
