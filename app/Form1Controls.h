#pragma once

#include "app/MainLayout.h"

#include <QWidget>

#include <array>

struct AlarmControls;
class AppContext;
struct StationSettings;
class DesignPlaces;
class DriveTimeLabel;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
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
    // The controls of a new window `form`; the map reads map.ini of `ctx` until the station tells it.
    [[nodiscard]] static Form1Controls create(QWidget* form, AppContext& ctx, const StationSettings& settings);
    // The client area the window is designed for: 18960 × 14040 twips.
    [[nodiscard]] static QSize designClient();
    // Notes every control's design place (but `except`'s) for the layout.
    void noteDesign(DesignPlaces& design, QWidget* form, const QWidget* except) const;
    // Places the controls for a client area of this size.
    void applyLayout(DesignPlaces& places, QSize clientPixels) const;
    // Draws the top bar and its controls at `scale` times their design size across the client
    // area's width, as a wall screen shows them over itself.
    void scaleBar(DesignPlaces& places, QSize clientPixels, double scale) const;
    // The controls that show an alarm, for the alarm handler.
    [[nodiscard]] AlarmControls alarmControls() const;

    TopBar* roLabel1_1 = nullptr;
    QPushButton* cmd_Settings = nullptr;
    QLabel* Image_S = nullptr;
    std::array<QLabel*, 2> Image_Server {};
    QPushButton* cmd_Clear = nullptr;
    QPushButton* cmd_ende = nullptr;
    QLabel* Label_vers = nullptr;
    DriveTimeLabel* lbl_Anfahrt = nullptr; // drive time and distance of the route to the incident
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

private:
    // The rules of MainLayout for a client area of width × height twips drawn at `scale`.
    [[nodiscard]] MainLayoutGeometry arranged(const DesignPlaces& places, int width, int height, double scale) const;
};
