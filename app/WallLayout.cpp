#include "app/WallLayout.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A row of a column: its share of the column's height, its lines, and its capitals' share of one
// line's height. A capital of 0.6 of the line leaves the font's ascent and descent room in it.
struct Row {
    double weight;
    int lines;
    double capShare;
};

constexpr double kHeadShare = 0.07;
constexpr double kLargestCap = 0.6;
// On a portrait screen the map begins this far down.
constexpr double kPortraitMapTop = 0.66;

// Stacks the rows top down in `column`, `gap` pixels apart, their heights by weight; every box
// ends where the next begins less the gap, and the last ends at the column's bottom.
std::vector<WallBox> stack(const QRect& column, int gap, const std::vector<Row>& rows)
{
    double total = 0;
    for (const Row& row : rows)
        total += row.weight;
    const int room = std::max(0, column.height() - gap * int(rows.size() - 1));
    std::vector<WallBox> boxes;
    double top = 0;
    for (const Row& row : rows) {
        const int y = column.top() + int(std::lround(top * room / total)) + gap * int(boxes.size());
        top += row.weight;
        const int bottom = column.top() + int(std::lround(top * room / total)) + gap * int(boxes.size());
        WallBox box;
        box.rect = QRect(column.left(), y, column.width(), std::max(0, bottom - y));
        box.lines = row.lines;
        box.capHeight = int(std::floor(row.capShare * box.rect.height() / row.lines));
        boxes.push_back(box);
    }
    return boxes;
}

int gapOf(QSize screen)
{
    return std::max(4, std::min(screen.width(), screen.height()) / 100);
}

WallBox headOf(QSize screen, int gap)
{
    WallBox head;
    head.rect = QRect(gap, 0, screen.width() - 2 * gap, int(std::lround(kHeadShare * screen.height())));
    head.capHeight = int(std::floor(0.45 * head.rect.height()));
    return head;
}

// Places the map and the board on the screen below `top`, and cuts the column of texts, which
// begins as all of that less the gaps at the edges, down to its share: the map takes the right half
// of a landscape screen or the lower part of a portrait one, the board a strip along the bottom,
// under the map or, without one, across the screen.
void placeMapAndBoard(
    QSize screen, int top, int gap, bool withMap, bool withBoard, QRect& column, QRect& map, QRect& board)
{
    const int strip = withBoard ? int(std::lround(WallLayout::kBoardShare * screen.height())) : 0;
    const int bottom = screen.height() - strip;
    column = QRect(gap, top + gap, screen.width() - 2 * gap, screen.height() - top - 2 * gap);
    QRect side(0, bottom, screen.width(), 0);
    if (withMap && screen.height() > screen.width()) {
        const int mapTop = int(std::lround(kPortraitMapTop * screen.height()));
        column.setBottom(mapTop - gap - 1);
        side = QRect(0, mapTop, screen.width(), bottom - mapTop);
    } else if (withMap) {
        const int half = screen.width() / 2;
        column.setRight(half - gap - 1);
        side = QRect(half, top, screen.width() - half, bottom - top);
    } else if (strip) {
        column.setBottom(bottom - gap - 1);
    }
    if (withMap)
        map = side;
    if (strip)
        board = QRect(side.left(), bottom, side.width(), strip);
}

} // namespace

WallAlarmGeometry WallLayout::alarm(QSize screen, bool withBoard)
{
    WallAlarmGeometry g;
    if (screen.width() <= 0 || screen.height() <= 0)
        return g;
    const int gap = gapOf(screen);
    g.head = headOf(screen, gap);
    const bool portrait = screen.height() > screen.width();
    QRect column;
    placeMapAndBoard(screen, g.head.rect.bottom() + 1, gap, true, withBoard, column, g.map, g.board);
    // A portrait column is shorter for the same screen height: the keyword takes more of it.
    const std::vector<WallBox> boxes = stack(column, gap,
        { { portrait ? 24.0 : 14.0, 1, kLargestCap }, { 6, 1, 0.55 }, { 14, 3, 0.55 }, { 6, 1, 0.5 }, { 10, 2, 0.5 },
            { 12, 3, 0.5 }, { 5, 1, 0.5 }, { 5, 1, 0.5 }, { 5, 1, 0.5 }, { 9, 2, 0.5 }, { 9, 2, 0.5 } });
    g.keyword = boxes[0];
    g.picture = boxes[1];
    g.address = boxes[2];
    g.time = boxes[3];
    g.units = boxes[4];
    g.remark = boxes[5];
    g.informant = boxes[6];
    g.driveTime = boxes[7];
    g.water = boxes[8];
    g.answers = boxes[9];
    g.names = boxes[10];
    const int band = std::min(g.map.height(), std::max(40, screen.height() / 5));
    g.linkBand = QRect(g.map.left(), g.map.top() + (g.map.height() - band) / 2, g.map.width(), band);
    return g;
}

double WallLayout::scale(QSize screen)
{
    return screen.height() > 0 ? double(screen.height()) / kDesignHeight : 1.0;
}

WallStandbyGeometry WallLayout::standby(QSize screen, bool withMap, bool withBoard)
{
    WallStandbyGeometry g;
    if (screen.width() <= 0 || screen.height() <= 0)
        return g;
    const int gap = gapOf(screen);
    QRect column;
    placeMapAndBoard(screen, 0, gap, withMap, withBoard, column, g.map, g.board);
    const std::vector<WallBox> boxes = stack(column, gap,
        { { 30, 1, kLargestCap }, { 8, 1, 0.5 }, { 7, 1, 0.5 }, { 6, 1, 0.5 }, { 5, 1, 0.5 }, { 24, 6, 0.5 },
            { 12, 3, 0.5 } });
    g.clock = boxes[0];
    g.date = boxes[1];
    g.station = boxes[2];
    g.lastAlarm = boxes[3];
    g.status = boxes[4];
    g.appointments = boxes[5];
    g.ticker = boxes[6];
    return g;
}
