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
// drive time, the answers of the pagers, and the map from the head to the bottom.
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
    WallBox answers;
    QRect map;

    [[nodiscard]] QList<WallBox> boxes() const
    {
        return { head, keyword, picture, address, time, units, remark, informant, driveTime, answers };
    }
};

// Between alarms: a large clock, the date, the station's name, the last alarm, this year's count
// and the link's state, the next appointments, the newest ticker entries, and the map of the
// station when there is one.
struct WallStandbyGeometry {
    WallBox clock;
    WallBox date;
    WallBox station;
    WallBox lastAlarm;
    WallBox status; // this year's alarms and the link
    WallBox appointments;
    WallBox ticker;
    QRect map; // empty without a map

    [[nodiscard]] QList<WallBox> boxes() const
    {
        return { clock, date, station, lastAlarm, status, appointments, ticker };
    }
};

// The wall layout: a pure function of the screen's size. On a landscape screen the texts fill the
// left half and the map the right half; on a portrait screen the map takes the lower part.
class WallLayout {
public:
    // The keyword's capitals are at least this share of the screen's height.
    static constexpr double kKeywordCapShare = 0.06;

    [[nodiscard]] static WallAlarmGeometry alarm(QSize screen);
    [[nodiscard]] static WallStandbyGeometry standby(QSize screen, bool withMap);
};
