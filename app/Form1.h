#pragma once

#include "link/MessageHandlers.h"

#include <QWidget>

#include <array>

class AppContext;
class DocumentationList;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class ServerLink;
class ucGMap;

// The top bar: a container painted with the window's colour gradient.
class TopBar : public QWidget {
    Q_OBJECT

public:
    explicit TopBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The main window, the program. Its children are the controls of the alarm display; the logic
// behind them lives in the subsystems' own classes.
class Form1 : public QWidget, public MessageHandlers {
    Q_OBJECT

public:
    explicit Form1(AppContext& ctx, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: data folders, version, settings, link values, paths, grids, map zoom,
    // replay of the last alarm, documentation list and ticker.
    void load();

    // The documentation list: set up once at start-up, then refilled from the ticker file.
    void InitDocumentationList();
    void lese_ticker();

    // MessageHandlers
    void HandleStationAlarm(const QString& message, int replay) override;
    void HandleUnitAlarm(const QString& message) override;
    void HandleTickerMessage(const QString& message) override;
    void InsertStatusRow(const QString& message) override;
    void InsertPagerRow(const QString& message) override;
    void DeleteTicker() override;
    void HandleFeedback(const QString& message) override;

    [[nodiscard]] AppContext& context() { return m_ctx; }

    // The controls, under the names the station's documentation uses.
    TopBar* roLabel1_1 = nullptr;
    QPushButton* cmd_Settings = nullptr;
    QLabel* Image_S = nullptr;
    std::array<QLabel*, 2> Image_Server{};
    QPushButton* cmd_Clear = nullptr;
    QPushButton* cmd_ende = nullptr;
    QLabel* Label_vers = nullptr;
    ucGMap* ucGMap1 = nullptr;
    std::array<QPushButton*, 8> cmd_zoom{};
    QLabel* lbl_Zoom = nullptr;
    std::array<QPushButton*, 4> cmd_Anbieter{};
    std::array<QLabel*, 9> label_einsatz{};
    std::array<QLabel*, 2> Label2{};
    QLabel* Label4 = nullptr;
    QLabel* Image_Blau = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QTableWidget* MSFlexGrid1 = nullptr;
    QTableWidget* Grid_Melder = nullptr;
    QTableWidget* Grid_Status = nullptr;
    QTableView* List_Doku = nullptr;
    QTimer* Timer1 = nullptr;

    // The link to the dispatch computer; it owns the socket Winsock_Klein.
    ServerLink* serverLink = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void onTimer1();

    AppContext& m_ctx;
    DocumentationList* m_documentation = nullptr;
};
