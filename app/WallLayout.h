#pragma once

#include <QList>
#include <QRect>
#include <QSize>

// One text box of the wall screen: its place in pixels, the cap height of its type (the height of a
// capital letter, which is what the eye reads across a hall) and the lines it is made for.
struct WallBox {
    QRect rect;
    int capHeight = 0;
    int lines = 1;

    bool operator==(const WallBox&) const = default;
};

// The alarm on the wall screen: the head (station and clock), the keyword, the incident picture,
// the address, the time of the alarm and the time since, the units, the remark, the informant, the
// drive time, the nearest water sources, the crew's strength and the names of those who answered,
// and the map from the head to the bottom, with the vehicles' board under it when the station has
// vehicles to show.
struct WallAlarmGeometry {
    WallBox head;
    WallBox keyword;
    WallBox picture;
    WallBox address;
    WallBox time;
    WallBox units;
    WallBox remark;
    WallBox informant;
    WallBox driveTime;
    WallBox water; // the nearest water sources, as the classic window's line
    WallBox answers; // the strength and the count of the replies
    WallBox names; // those coming, later and not
    QRect map;
    QRect board; // empty without a board
    // The dead-link band: across the middle of the map, off every text of the alarm.
    QRect linkBand;

    [[nodiscard]] QList<WallBox> boxes() const
    {
        return { head, keyword, picture, address, time, units, remark, informant, driveTime, water, answers, names };
    }
};

// Between alarms: a large clock, the date, the station's name, the last alarm, this year's count
// and the link's state, the next appointments, the newest ticker entries, the map of the station
// when there is one, and the vehicles' board.
struct WallStandbyGeometry {
    WallBox clock;
    WallBox date;
    WallBox station;
    WallBox lastAlarm;
    WallBox status; // this year's alarms and the link
    WallBox appointments;
    WallBox ticker;
    QRect map; // empty without a map
    QRect board; // empty without a board

    [[nodiscard]] QList<WallBox> boxes() const
    {
        return { clock, date, station, lastAlarm, status, appointments, ticker };
    }
};

// The wall layout: a pure function of the screen's size. On a landscape screen the texts fill the
// left half and the map the right half; on a portrait screen the map takes the lower part. The
// vehicles' board is a strip at the bottom: under the map on a landscape screen, across the screen
// otherwise.
class WallLayout {
public:
    // The keyword's capitals are at least this share of the screen's height.
    static constexpr double kKeywordCapShare = 0.06;
    // The board's strip is this share of the screen's height.
    static constexpr double kBoardShare = 0.18;
    // The screen's height that everything drawn at a fixed pixel size is made for; a taller
    // screen draws it larger by its height over this one.
    static constexpr int kDesignHeight = 1080;

    // The share of its full-HD size that the map's marks, the buttons and the questions are drawn at
    // on a screen of this size: 2 on a 4K screen.
    [[nodiscard]] static double scale(QSize screen);

    [[nodiscard]] static WallAlarmGeometry alarm(QSize screen, bool withBoard = false);
    [[nodiscard]] static WallStandbyGeometry standby(QSize screen, bool withMap, bool withBoard = false);
};
