#pragma once

#include "app/DesignPlaces.h"
#include "app/Form1Controls.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class AlarmHandler;
class CrewDesk;
class DocumentationList;
class Form2;
class HistoryDesk;
class LinkWarning;
class QTimer;
class ScreenWake;
class Station;
class WallScreen;

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
    // The wall layout's screen (display.ini layout=wall), once load() made it; null otherwise.
    [[nodiscard]] WallScreen* wallScreen() const { return m_wall; }

    // Asks the clear command's Yes/No question and returns true for Yes. The window asks through a
    // message box; tests answer here instead.
    std::function<bool(QWidget* parent, const QString& title, const QString& question)> askYesNo;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showStation();
    void setUpWall();
    void takeDownWall();
    void connectCommands();
    void applyLayout(QSize clientPixels);
    void placeLinkWarning(QSize client);
    // "Alarmton ausgeschaltet" and the like where it is seen but covers nothing of the alarm.
    void placeSoundWarning(QSize client);
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
    // The crew's strength in the top bar and the vehicles' board over the status list.
    CrewDesk* m_crew = nullptr;
    QPointer<Form2> m_form2;
    // The station's wall screen: wake and sleep, the dead-link band, full screen.
    ScreenWake* m_wake = nullptr;
    LinkWarning* m_linkWarning = nullptr;
    // In the top bar, between "Clear" and "Programmende": what keeps alarms from being heard.
    QLabel* m_soundWarning = nullptr;
    bool m_fullScreen = false;
    QTimer* m_pointerIdle = nullptr;
    bool m_pointerHidden = false;
    // The wall layout, when display.ini asks for it.
    WallScreen* m_wall = nullptr;
    // The map's place in the classic window while the wall screen holds it: its design in twips and
    // the control it lay under.
    QRect m_mapDesign;
    QPointer<QWidget> m_mapUnder;
};
