#pragma once

#include "crew/Strength.h"

#include <QObject>

class AlarmCore;
class AppContext;
class CrewWatch;
class HistoryRecorder;
class QLabel;
class QTableWidget;
class QWidget;
class VehicleBoard;
class VehicleBoardView;

// The crew's strength and the vehicles' board in the classic window: the strength line in the top
// bar, the pager list's answer column fitted to its words, and the board laid over the status
// list, shown and hidden by a key. The status list itself stays as it is.
class CrewDesk : public QObject {
    Q_OBJECT

public:
    // `bar`: the top bar; the board takes the status list's place whenever it is shown.
    CrewDesk(AppContext& ctx, AlarmCore& core, QWidget* bar, QTableWidget* statusList, QTableWidget* pagerList,
        QObject* parent = nullptr);

    // Starts counting with display.ini's settings, before the stored alarm is shown again; the
    // history, when given, keeps each alarm's strength. Without `names` (a hall screen that
    // passers-by read) the strength line's tool tip names nobody.
    void start(const Strength::Settings& settings, HistoryRecorder* history = nullptr, bool names = true);
    // The alarm was cleared from the screen: answers count nowhere until the next one.
    void alarmCleared();
    // F11: the board over the status list, or the list again.
    void toggleBoard();

    [[nodiscard]] CrewWatch* watch() const { return m_watch; }
    // From start() on.
    [[nodiscard]] VehicleBoard* board() const { return m_board; }
    [[nodiscard]] QLabel& strengthLine() const { return *m_line; }

    // The strength line's text, and the names of those coming, later and not.
    [[nodiscard]] static QString lineText(const Strength::Count& count, const Strength::Settings& settings);
    [[nodiscard]] static QString peopleText(const Strength::Count& count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showStrength(const Strength::Count& count);
    void fitPagerColumns();

    AppContext& m_ctx;
    AlarmCore& m_core;
    CrewWatch* m_watch = nullptr;
    VehicleBoard* m_board = nullptr;
    VehicleBoardView* m_view = nullptr;
    QLabel* m_line = nullptr;
    bool m_names = true;
    QTableWidget* m_statusList = nullptr;
    QTableWidget* m_pagerList = nullptr;
};
