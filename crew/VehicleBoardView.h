#pragma once

#include <QDateTime>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QGridLayout;
class VehicleBoard;

// The vehicles' board: one tile per vehicle with its short name, status number and meaning in the
// status's colour, and the time since. A status older than a day is greyed and marked "alt". Only
// the tiles of status 5 and 0 blink, once a second for their first minute; nothing else moves.
class VehicleBoardView : public QWidget {
    Q_OBJECT

public:
    VehicleBoardView(const VehicleBoard& board, QWidget* parent = nullptr);

    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    // The tiles' labels, in the board's order.
    [[nodiscard]] const QList<QLabel*>& tileLabels() const { return m_labels; }
    // Whether a blinking tile is in its light phase now.
    [[nodiscard]] bool blinkLit() const { return m_lit; }
    // Shows the board's tiles as they are now.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void blink();

    const VehicleBoard& m_board;
    QGridLayout* m_grid = nullptr;
    QList<QLabel*> m_labels;
    QTimer m_blink;
    QTimer m_minute;
    bool m_lit = true;
    int m_columns = 0;
};
