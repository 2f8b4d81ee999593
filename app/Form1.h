#pragma once

#include "app/DesignPlaces.h"
#include "app/DisplaySettings.h"
#include "link/MessageHandlers.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class AlarmHandler;
struct AlarmControls;
class AlarmCore;
class RoutePlanner;
class WaterLookup;
struct Route;
class AnnouncementOutput;
class AnnouncementQueue;
class Announcer;
class AppContext;
class CrewDesk;
class DocumentationList;
class Form2;
class HistoryDesk;
class LinkWarning;
class Printout;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class ScreenWake;
class ServerLink;
class ucGMap;
class WallScreen;

// The top bar: a container painted with the window's colour gradient.
class TopBar : public QWidget {
    Q_OBJECT

public:
    explicit TopBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The controls of the main window, under the names the station's documentation uses. Each one's
// object name is that name as well.
struct Form1Controls {
    TopBar* roLabel1_1 = nullptr;
    QPushButton* cmd_Settings = nullptr;
    QLabel* Image_S = nullptr;
    std::array<QLabel*, 2> Image_Server {};
    QPushButton* cmd_Clear = nullptr;
    QPushButton* cmd_ende = nullptr;
    QLabel* Label_vers = nullptr;
    QLabel* lbl_Anfahrt = nullptr; // drive time and distance of the route to the incident
    QLabel* lbl_Wasser = nullptr; // the nearest water sources around the incident
    ucGMap* ucGMap1 = nullptr;
    std::array<QPushButton*, 8> cmd_zoom {};
    QLabel* lbl_Zoom = nullptr;
    std::array<QPushButton*, 4> cmd_Anbieter {};
    std::array<QLabel*, 9> label_einsatz {};
    std::array<QLabel*, 2> Label2 {};
    QLabel* Label4 = nullptr;
    QLabel* Image_Blau = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QTableWidget* Grid_Melder = nullptr;
    QTableWidget* Grid_Status = nullptr;
    QTableView* List_Doku = nullptr;
};

// The main window, the program. Its children are the controls of the alarm display; the logic
// behind them lives in the subsystems' own classes.
class Form1 : public QWidget, public MessageHandlers {
    Q_OBJECT

public:
    // Whether the one-second timer that keeps the link up runs from the start. The program always
    // starts it; a window built for a picture or a test may leave the link alone.
    enum class LinkTimer { Running, Stopped };

    explicit Form1(AppContext& ctx, LinkTimer linkTimer = LinkTimer::Running, QWidget* parent = nullptr);
    ~Form1() override;

    // Shows the window centred on its screen, at its design size or, on a smaller screen, fitted
    // into the screen's available area; in full-screen mode over the whole screen without a frame.
    void showOnScreen();

    // Full screen whatever display.ini says (the command line's --fullscreen); display.ini can
    // only add it.
    void setFullScreen(bool on);

    // The start-up sequence: data folders, version, settings, display settings, link values, paths,
    // grids, map zoom, replay of the last alarm, documentation list and ticker. A shown window is on
    // screen before the replay makes its first sound; the replay is announced unless display.ini
    // asks for a younger last.dat than there is.
    void load();

    // The documentation list: set up once at start-up, then refilled from the ticker file.
    void InitDocumentationList();
    void lese_ticker();

    // MessageHandlers: handed to the alarm core, as the link's messages are.
    void HandleStationAlarm(const QString& message, int replay) override;
    void HandleUnitAlarm(const QString& message) override;
    void HandleTickerMessage(const QString& message) override;
    void InsertStatusRow(const QString& message) override;
    void InsertPagerRow(const QString& message) override;
    void DeleteTicker() override;
    void HandleFeedback(const QString& message) override;

    [[nodiscard]] AppContext& context() { return m_ctx; }

    // The operator commands; the buttons and the shortcuts both run these.
    void cmd_zoom_Click(int index);
    void cmd_Anbieter_Click(int index);
    void cmd_Clear_Click();
    void cmd_Settings_Click();

    // The open settings dialog, or null while none is open.
    [[nodiscard]] Form2* settingsDialog() const;

    // Asks the clear command's Yes/No question and returns true for Yes. The window asks through a
    // message box; tests answer here instead.
    std::function<bool(QWidget* parent, const QString& title, const QString& question)> askYesNo;

    // Where alarms are announced: the loudspeakers and the speech program unless replaced. The
    // output must outlive the window.
    void setAnnouncementOutput(AnnouncementOutput* output);
    [[nodiscard]] Printout& printout() const { return *m_printout; }

    // The controls that show an alarm, for the alarm handler.
    [[nodiscard]] AlarmControls alarmControls() const;

    // The wall layout's screen (display.ini layout=wall), once load() made it; null otherwise.
    [[nodiscard]] WallScreen* wallScreen() const { return m_wall; }

    // The link to the dispatch computer; it owns the socket Winsock_Klein.
    ServerLink* serverLink = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createAlarmHandler();
    void onTimer1();
    void connectCommands();
    void noteDesign();
    void applyLayout(QSize clientPixels);
    void applyDocumentationColumns();
    void waitUntilOnScreen();
    void replayLastAlarm();
    void setUpRoute();
    void setUpWall();
    void showRoute(const Route& route);
    void createWaterLookup();
    void setUpWater();
    void pointerMoved();
    [[nodiscard]] bool runShortcut(int key, Qt::KeyboardModifiers modifiers);

    AppContext& m_ctx;
    Form1Controls m_ui;
    DesignPlaces m_design;
    QTimer* Timer1 = nullptr;
    // The alarm's way from the link to the screen, last.dat and the loudspeakers; what the alarm
    // messages show in the labels, the grids and the map.
    AlarmCore* m_core = nullptr;
    AlarmHandler* alarmHandler = nullptr;
    // The way from the station to the incident, when map.ini asks for one.
    RoutePlanner* m_route = nullptr;
    WaterLookup* m_water = nullptr;
    // The alarm on paper, after its announcement has started.
    Printout* m_printout = nullptr;
    // The loudspeakers and the speech program, and the order in which alarms are heard there.
    Announcer* m_announcer = nullptr;
    AnnouncementQueue* m_announcements = nullptr;
    DocumentationList* m_documentation = nullptr;
    // Every alarm kept; the list "Einsätze" and an archived alarm on the display.
    HistoryDesk* m_history = nullptr;
    // The crew's strength in the top bar and the vehicles' board over the status list.
    CrewDesk* m_crew = nullptr;
    QPointer<Form2> m_form2;
    bool m_liveAlarmShown = false;
    // The station's wall screen: display.ini, wake and sleep, the dead-link band, full screen.
    DisplaySettings m_display;
    ScreenWake* m_wake = nullptr;
    LinkWarning* m_linkWarning = nullptr;
    bool m_fullScreen = false;
    QTimer* m_pointerIdle = nullptr;
    bool m_pointerHidden = false;
    WallScreen* m_wall = nullptr;
};
