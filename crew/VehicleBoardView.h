#pragma once

#include <QDateTime>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

class VehicleBoard;

// The vehicles' board: one tile per vehicle with its short name, status number and meaning in the
// status's colour, and the time since. A status older than a day is greyed and marked "alt". Only
// the tiles of status 5 and 0 blink, once a second for their first minute; nothing else moves.
// The tiles are drawn by the board itself, so that a repaint before an alarm's first sound costs
// one widget, however many vehicles the station has.
class VehicleBoardView : public QWidget {
    Q_OBJECT

public:
    explicit VehicleBoardView(const VehicleBoard& board, QWidget* parent = nullptr);

    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    struct Tile {
        QString lines; // short name, status, time since; one a line
        QColor background;
        QRect place;
    };
    [[nodiscard]] const VehicleBoard& board() const { return m_board; }
    // The tiles as drawn now, in the board's order.
    [[nodiscard]] const QList<Tile>& tiles() const { return m_tiles; }
    // Takes the board's tiles as they are now.
    void refresh();
    // A wall screen's board: the type as large as lets every tile into the board's rectangle.
    void setFilling(bool filling);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void blink();
    // The narrowest a tile may be in `font`: the longest status meaning fits.
    [[nodiscard]] static int tileMinWidth(const QFont& font);
    void fillWithType(qsizetype tiles);

    const VehicleBoard& m_board;
    QList<Tile> m_tiles;
    QTimer m_blink;
    QTimer m_minute;
    bool m_lit = true;
    bool m_filling = false;
};
