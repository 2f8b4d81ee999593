#include "app/Form1.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/GMapAlarmMap.h"
#include "alarm/Incident.h"
#include "app/DriveTimeLabel.h"
#include "app/LinkWarning.h"
#include "app/ScreenWake.h"
#include "app/WallScreen.h"
#include "app/WindowLook.h"
#include "common/AppContext.h"
#include "common/GeoPoint.h"
#include "common/Twips.h"
#include "crew/CrewDesk.h"
#include "history/HistoryDesk.h"
#include "history/HistoryReader.h"
#include "link/ServerLink.h"
#include "log/DocumentationList.h"
#include "log/TickerModel.h"
#include "map/ucGMap.h"
#include "paths/PathStates.h"
#include "print/Printout.h"
#include "settings/Form2.h"
#include "station/ControlServer.h"
#include "station/Station.h"
#include "water/WaterLookup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

namespace {

// In full screen the mouse pointer goes after this long without movement.
constexpr int kPointerIdleMs = 3000;
// How long a shown window may take to reach the screen before the start-up goes on without it.
constexpr int kOnScreenWaitMs = 3000;

} // namespace

Form1::Form1(Station& station, QWidget* parent)
    : QWidget(parent)
    , m_station(station)
    , m_ctx(station.context())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kessvenn"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(pal);
    resize(Form1Controls::designClient());
    m_ui = Form1Controls::create(this, m_ctx, m_station.settings());
    showStation();
    m_pointerIdle = new QTimer(this);
    m_pointerIdle->setSingleShot(true);
    m_pointerIdle->setInterval(kPointerIdleMs);
    connect(m_pointerIdle, &QTimer::timeout, this, [this] {
        if (m_fullScreen && !m_pointerHidden) {
            m_pointerHidden = true;
            QApplication::setOverrideCursor(Qt::BlankCursor);
        }
    });
    connect(m_ui.cmd_ende, &QPushButton::clicked, this, &QWidget::close);
    connectCommands();
    WindowLook::dress(m_ui);
    m_ui.noteDesign(m_design, this, m_linkWarning);
}

void Form1::showStation()
{
    // The screen is lit before an alarm's first sound.
    m_wake = new ScreenWake(m_ctx, this);
    m_wake->follow(m_station);
    alarmHandler = new AlarmHandler(m_ui.alarmControls(), new GMapAlarmMap(*m_ui.ucGMap1, this), this);
    alarmHandler->watch(m_station.core());
    alarmHandler->follow(m_station.incident());
    alarmHandler->setGeocoder(&m_station.viewGeocoder());
    m_ui.lbl_Anfahrt->follow(m_station.incident());
    // The nearest water sources: their line in the top bar and on the wall screen, their signs on
    // the map; gone with the incident.
    const auto noWater = [this] {
        m_ui.lbl_Wasser->clear();
        m_ui.ucGMap1->setWaterSources({});
        if (m_wall)
            m_wall->setWater(QString());
    };
    connect(&m_station.incident(), &Incident::opened, this, noWater);
    connect(&m_station.incident(), &Incident::closed, this, noWater);
    connect(&m_station.water(), &WaterLookup::found, this, [this](const WaterNearby& nearby) {
        // Not on the wall's standby map, which shows the station alone.
        if (m_station.incident().position() != nearby.incident || (m_wall && m_wall->standbyShown()))
            return;
        m_ui.lbl_Wasser->setText(nearby.line());
        m_ui.ucGMap1->setWaterSources(nearby.sources);
        if (m_wall)
            m_wall->setWater(nearby.line());
    });
    m_documentation = new DocumentationList(m_ctx, m_ui.List_Doku, this);
    m_documentation->follow(m_station.ticker());
    m_history = new HistoryDesk(m_ctx, m_station.core(), *alarmHandler, m_ui.roLabel1_1, this);
    m_history->printable = [this] { return m_station.printout().settings().has_value(); };
    connect(m_history, &HistoryDesk::printRequested, &m_station.printout(), [this](const HistoryAlarm& alarm) {
        m_station.printout().printAgain(alarm.fields, alarm.received, alarm.printout);
    });
    // The crew's strength in the top bar and the vehicles' board over the status list, from load() on.
    m_crew = new CrewDesk(m_ui.roLabel1_1, m_ui.Grid_Status, m_ui.Grid_Melder, this);
    m_linkWarning = new LinkWarning(this);
    // Over the window rather than in the full top bar: at the top of the map, or in the wall's head.
    m_soundWarning = new QLabel(this);
    m_soundWarning->setObjectName(QStringLiteral("lbl_Ton"));
    m_soundWarning->setAlignment(Qt::AlignCenter);
    m_soundWarning->setWordWrap(true);
    m_soundWarning->setTextFormat(Qt::PlainText);
    m_soundWarning->setStyleSheet(QStringLiteral("background-color: #ffd000; color: black; font-weight: bold;"));
    m_soundWarning->hide();
    connect(&m_station, &Station::configured, m_soundWarning, [this] {
        m_soundWarning->setText(m_station.soundWarning());
        m_soundWarning->setVisible(!m_station.soundWarning().isEmpty());
    });
    connect(&m_station.link(), &ServerLink::linkStatusChanged, this,
        [this](bool connected) { m_ui.Image_S->setPixmap(m_ui.Image_Server[connected ? 1 : 0]->pixmap()); });
    // The band names every path that is down or silent; with one dispatch host it reads as ever.
    connect(&m_station.paths(), &PathStates::changed, m_linkWarning,
        [this] { m_linkWarning->setPaths(m_station.paths().paths()); });
    connect(&m_station, &Station::configured, m_ui.ucGMap1, [this] { m_ui.ucGMap1->setConfig(m_station.mapConfig()); });
    // A live alarm is never hidden: the list and the settings dialog give the alarm the screen.
    connect(&m_station.core(), &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan&, bool replay) {
        if (replay || !isVisible())
            return;
        raise();
        activateWindow();
    });
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    delete m_form2;
    if (m_pointerHidden)
        QApplication::restoreOverrideCursor();
}

void Form1::load()
{
    m_station.load();
    m_ui.Label_vers->setText(QStringLiteral("V %1.%2.%3")
                                 .arg(KESSVENN_VERSION_MAJOR)
                                 .arg(KESSVENN_VERSION_MINOR)
                                 .arg(KESSVENN_VERSION_PATCH));
    const DisplaySettings& display = m_station.display();
    // A hall screen's controls are never given what passers-by must not read, not even for a moment.
    alarmHandler->setPrivacy(display.privacy);
    for (QLabel* label : m_ui.label_einsatz)
        label->clear();
    m_crew->show(*m_station.crew(), *m_station.vehicles(), !display.privacy);
    m_linkWarning->setDelaySeconds(display.linkWarningSeconds);
    m_linkWarning->setPaths(m_station.paths().paths());
    bool placeAnew = false;
    if (!display.screen.isEmpty()) {
        if (QScreen* chosen = WallScreen::chooseScreen(display.screen); chosen && chosen != screen()) {
            setScreen(chosen);
            placeAnew = true;
        }
    }
    if (display.fullscreen && !m_fullScreen) {
        setFullScreen(true);
        placeAnew = true;
    }
    if (placeAnew && isVisible())
        showOnScreen();
    alarmHandler->InitAlarmGrids();
    setUpWall();
    // display.ini switching the wall layout on applies at once, as it is saved.
    connect(&m_station, &Station::configured, this, &Form1::setUpWall, Qt::UniqueConnection);
    // Before the first alarm the map shows the station, or nothing at all.
    const std::optional<QPointF> home = m_station.routeSettings().station;
    m_ui.ucGMap1->setIdleView(
        home ? std::optional(GeoPoint { float(home->y()), float(home->x()) }.text()) : std::nullopt, 16);
    waitUntilOnScreen();
    m_station.replayLastAlarm();
    m_documentation->InitDocumentationList();
    m_documentation->lese_ticker();
    // The link opens at once, while the replay is still heard, not at the timer's first tick.
    m_station.openLink();
    // The wall's calendar after the link: nothing stands before it.
    if (m_wall)
        m_wall->readCalendar();
}

void Form1::setUpWall()
{
    // At start-up, and once more when display.ini switches the wall layout on.
    const DisplaySettings& display = m_station.display();
    if (display.privacy)
        m_history->setLocked(true);
    if (display.layout != DisplaySettings::Layout::Wall) {
        takeDownWall();
        return;
    }
    if (m_wall)
        return;
    m_wall = new WallScreen(m_ctx, display, this);
    m_wall->watch(m_station.core());
    m_wall->setCrew(m_station.crew());
    m_wall->setVehicles(m_station.vehicles());
    connect(&m_station.incident(), &Incident::routed, m_wall,
        [this](const std::optional<Route>&) { m_wall->setDriveTime(m_ui.lbl_Anfahrt->text()); });
    connect(&m_station.incident(), &Incident::closed, m_wall, [this] { m_wall->setDriveTime(QString()); });
    m_mapDesign = m_design.design(m_ui.ucGMap1);
    const QObjectList& siblings = children();
    const qsizetype mapAt = siblings.indexOf(m_ui.ucGMap1);
    m_mapUnder = nullptr;
    for (qsizetype i = mapAt + 1; mapAt >= 0 && i < siblings.size() && !m_mapUnder; ++i)
        m_mapUnder = qobject_cast<QWidget*>(siblings[i]);
    m_design.forget(m_ui.ucGMap1);
    m_wall->setMap(m_ui.ucGMap1, m_station.routeSettings().station);
    m_wall->setTicker(m_documentation->model());
    m_wall->setButtonBar(m_ui.roLabel1_1);
    m_wall->linkStatus(m_station.link().LinkStatus());
    connect(&m_station.link(), &ServerLink::linkStatusChanged, m_wall, &WallScreen::linkStatus);
    m_wall->setPaths(m_station.paths().paths());
    connect(&m_station.paths(), &PathStates::changed, m_wall, [this] { m_wall->setPaths(m_station.paths().paths()); });
    applyLayout(size());
    m_wall->show();
    placeLinkWarning(size());
    m_linkWarning->raise();
}

void Form1::takeDownWall()
{
    // display.ini switching the wall layout off: the map goes back to its place in the window,
    // under the controls it lay under, and the classic window is laid out again.
    if (!m_wall)
        return;
    m_ui.ucGMap1->setParent(this);
    m_ui.ucGMap1->setGeometry(twipsEdgesToPixels(m_mapDesign));
    m_design.note(m_ui.ucGMap1, DesignPlaces::Type::Kept);
    if (m_mapUnder)
        m_ui.ucGMap1->stackUnder(m_mapUnder);
    m_ui.ucGMap1->show();
    delete m_wall;
    m_wall = nullptr;
    applyLayout(size());
    placeLinkWarning(size());
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
        const QSize client
            = Form1Controls::designClient().boundedTo(available.size().shrunkBy(margins)).expandedTo(QSize(1, 1));
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
    if (!isVisible() || !window || window->isExposed() || m_ctx.ist_ende())
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

void Form1::connectCommands()
{
    for (int i = 0; i < int(m_ui.cmd_zoom.size()); ++i)
        connect(m_ui.cmd_zoom[i], &QPushButton::clicked, this, [this, i] { cmd_zoom_Click(i); });
    for (int i = 0; i < int(m_ui.cmd_Anbieter.size()); ++i)
        connect(m_ui.cmd_Anbieter[i], &QPushButton::clicked, this, [this, i] { cmd_Anbieter_Click(i); });
    connect(m_ui.cmd_Clear, &QPushButton::clicked, this, &Form1::cmd_Clear_Click);
    connect(m_ui.cmd_Settings, &QPushButton::clicked, this, &Form1::cmd_Settings_Click);

    askYesNo = [this](QWidget* parent, const QString& title, const QString& question) {
        QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        // Over a wall screen taller than full HD the question is as large as the buttons that
        // asked it.
        if (m_wall && WallLayout::scale(size()) > 1) {
            QFont font = box.font();
            font.setPointSizeF(font.pointSizeF() * WallLayout::scale(size()));
            box.setFont(font);
        }
        return box.exec() == QMessageBox::Yes;
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

    // The display, the marker, the route's line and the drive time go with the incident.
    m_station.clearIncident();
    if (m_wall)
        m_wall->showStandby();
}

void Form1::cmd_Settings_Click()
{
    // One dialog: a click while it is open brings it to the front as it stands, with any edits.
    // A window of its own, not one kept above the alarm display: a live alarm puts the display in
    // front of it (see showStation).
    if (!m_form2 || !m_form2->isVisible()) {
        delete m_form2;
        m_form2 = new Form2(m_ctx, m_station.config());
        m_form2->setAttribute(Qt::WA_DeleteOnClose);
        // The station reads its files again when the dialog has closed.
        connect(m_form2, &QDialog::finished, &m_station, &Station::reload);
        m_form2->testAlarm = [this] {
            const ControlAnswer answer = m_station.testAlarm();
            return std::pair(answer.ok, answer.text);
        };
    }
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
    // "Probealarm": two modifiers and the last function key, which no hand finds by chance.
    if (held == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_F12) {
        m_station.testAlarm();
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
        m_station.printout().printNow();
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
        placeLinkWarning(client);
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
    placeLinkWarning(event->size());
}

void Form1::placeLinkWarning(QSize client)
{
    // On the wall screen the band lies over the map, never over the alarm's time or units.
    m_linkWarning->place(client, m_wall ? WallLayout::alarm(client).linkBand : QRect());
}

void Form1::placeSoundWarning(QSize client)
{
    QRect place;
    if (m_wall) {
        // The middle third of the head, between the station's name and the clock.
        const QRect head = WallLayout::alarm(client).head.rect;
        place = QRect(head.left() + head.width() / 3, head.top(), head.width() / 3, head.height());
    } else {
        // A strip across the top of the map, under its zoom buttons; the incident stays in the middle.
        const QRect map = m_ui.ucGMap1->geometry();
        const int top = m_ui.lbl_Zoom->geometry().bottom() + 1;
        place = QRect(map.left(), top, map.width(), std::max(24, m_ui.cmd_Clear->height()));
    }
    m_soundWarning->setGeometry(place);
    m_soundWarning->raise();
}

void Form1::applyLayout(QSize clientPixels)
{
    m_ui.applyLayout(m_design, clientPixels);
    placeSoundWarning(clientPixels);
    applyDocumentationColumns();
    if (m_wall) {
        m_wall->setGeometry(QRect(QPoint(), clientPixels));
        // The buttons over the wall grow with a screen taller than full HD, as its type does.
        if (const double scale = WallLayout::scale(clientPixels); scale > 1)
            m_ui.scaleBar(m_design, clientPixels, scale);
    }
}

void Form1::applyDocumentationColumns()
{
    // Rule 8 of the layout: the list knows its columns and keeps their widths in one place.
    if (m_ui.List_Doku->horizontalHeader()->count() >= 5)
        m_documentation->setColumnWidths();
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_station.shutDown();
}
