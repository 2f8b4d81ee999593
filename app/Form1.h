#pragma once

#include "app/DesignPlaces.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class AlarmHandler;
struct AlarmControls;
class AppContext;
class DocumentationList;
class DriveTimeLabel;
class Form2;
class HistoryDesk;
class LinkWarning;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class ScreenWake;
class Station;
class ucGMap;

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
    DriveTimeLabel* lbl_Anfahrt = nullptr; // drive time and distance of the route to the incident
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

// The main window: shows the station (its alarm display, map, lists and link state) and takes the
// operator's commands. The alarm's way and every service behind it belong to the Station; the
// window's parts subscribe to it themselves.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // The station must outlive the window.
    explicit Form1(Station& station, QWidget* parent = nullptr);
    ~Form1() override;

    // Shows the window centred on its screen, at its design size or, on a smaller screen, fitted
    // into the screen's available area; in full-screen mode over the whole screen without a frame.
    void showOnScreen();

    // Full screen whatever display.ini says (the command line's --fullscreen); display.ini can
    // only add it.
    void setFullScreen(bool on);

    // The start-up: the station's files, the display settings, grids and map, then (with the window
    // on screen) the replay of the last alarm, the documentation list and the link.
    void load();

    // The operator commands; the buttons and the shortcuts both run these.
    void cmd_zoom_Click(int index);
    void cmd_Anbieter_Click(int index);
    void cmd_Clear_Click();
    void cmd_Settings_Click();

    // The open settings dialog, or null while none is open.
    [[nodiscard]] Form2* settingsDialog() const;
    [[nodiscard]] HistoryDesk& history() const { return *m_history; }

    // Asks the clear command's Yes/No question and returns true for Yes. The window asks through a
    // message box; tests answer here instead.
    std::function<bool(QWidget* parent, const QString& title, const QString& question)> askYesNo;

    // The controls that show an alarm, for the alarm handler.
    [[nodiscard]] AlarmControls alarmControls() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void showStation();
    void connectCommands();
    void noteDesign();
    void applyLayout(QSize clientPixels);
    void applyDocumentationColumns();
    void waitUntilOnScreen();
    void pointerMoved();
    [[nodiscard]] bool runShortcut(int key, Qt::KeyboardModifiers modifiers);

    Station& m_station;
    AppContext& m_ctx;
    Form1Controls m_ui;
    DesignPlaces m_design;
    // What the alarm messages and the incident show in the labels, the grids and on the map.
    AlarmHandler* alarmHandler = nullptr;
    DocumentationList* m_documentation = nullptr;
    // The list "Einsätze" and an archived alarm on the display.
    HistoryDesk* m_history = nullptr;
    QPointer<Form2> m_form2;
    // The station's wall screen: wake and sleep, the dead-link band, full screen.
    ScreenWake* m_wake = nullptr;
    LinkWarning* m_linkWarning = nullptr;
    bool m_fullScreen = false;
    QTimer* m_pointerIdle = nullptr;
    bool m_pointerHidden = false;
};
