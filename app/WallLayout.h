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
// drive time, the crew's strength and the names of those who answered, and the map from the head
// to the bottom, with the vehicles' board under it when the station has vehicles to show.
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
    WallBox answers; // the strength and the count of the replies
    WallBox names; // those coming, later and not
    QRect map;
    QRect board; // empty without a board
    // The dead-link band: across the middle of the map, off every text of the alarm.
    QRect linkBand;

    [[nodiscard]] QList<WallBox> boxes() const
    {
        return { head, keyword, picture, address, time, units, remark, informant, driveTime, answers, names };
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

    [[nodiscard]] static WallAlarmGeometry alarm(QSize screen, bool withBoard = false);
    [[nodiscard]] static WallStandbyGeometry standby(QSize screen, bool withMap, bool withBoard = false);
};
