#pragma once

#include <QByteArrayView>

// The time of a ticker entry as far as it can be read from its stored line, for ordering the list
// by "Zeit": a date in timeLine1 written as day.month.year (two or four digits for the year) and a
// time of day in timeLine2 written as hours:minutes with optional seconds. A date or time that
// cannot be read is ordered after those that can, by its text.
//
// The text parts refer to the bytes of the line, which must outlive the value.
struct TickerTime {
    qint64 date = -1; // yyyymmdd, or -1
    qint64 time = -1; // hhmmss, or -1
    QByteArrayView dateText;
    QByteArrayView timeText;

    [[nodiscard]] static TickerTime ofLine(QByteArrayView line);

    // Earlier first: date, then time. Negative, zero or positive.
    [[nodiscard]] static int compare(const TickerTime& a, const TickerTime& b);
    [[nodiscard]] bool operator<(const TickerTime& other) const { return compare(*this, other) < 0; }
    [[nodiscard]] bool operator==(const TickerTime& other) const { return compare(*this, other) == 0; }
};
