#pragma once

#include "crew/Strength.h"

#include <QObject>

class CrewWatch;
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
    CrewDesk(QWidget* bar, QTableWidget* statusList, QTableWidget* pagerList, QObject* parent = nullptr);

    // Shows the station's strength and board, from the start-up on (before the stored alarm is
    // shown again). Without `names` (a hall screen that passers-by read) the strength line's tool
    // tip names nobody.
    void show(CrewWatch& watch, VehicleBoard& board, bool names = true);
    // F11: the board over the status list, or the list again.
    void toggleBoard();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showStrength(const Strength::Count& count);
    void fitPagerColumns();

    CrewWatch* m_watch = nullptr;
    VehicleBoardView* m_view = nullptr;
    QLabel* m_line = nullptr;
    bool m_names = true;
    QTableWidget* m_statusList = nullptr;
    QTableWidget* m_pagerList = nullptr;
    // Compared by the pointer given: a list that is being destroyed is asked nothing.
    QWidget* m_pagerViewport = nullptr;
};
