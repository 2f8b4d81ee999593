#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Valid iCalendar files that cost libical, expanded naively, minutes or memory without end: the
// station's calendar is input from outside.
namespace HostileCalendars {

inline QByteArray calendar(const QByteArray& body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Wache//Termine//DE\r\n" + body + "END:VCALENDAR\r\n";
}

inline QByteArray event(int n, const QByteArray& start, const QByteArray& rule)
{
    return "BEGIN:VEVENT\r\nUID:" + QByteArray::number(n) + "@wache\r\nDTSTART" + start
        + (rule.isEmpty() ? QByteArray() : "\r\nRRULE:" + rule) + "\r\nSUMMARY:Termin " + QByteArray::number(n)
        + "\r\nEND:VEVENT\r\n";
}

// A time zone whose standard time begins anew every minute since 1601.
inline QByteArray minuteZone(const QByteArray& tzid)
{
    return "BEGIN:VTIMEZONE\r\nTZID:" + tzid
        + "\r\nBEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=MINUTELY\r\nTZOFFSETFROM:+0100\r\n"
          "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
}

// Each by its name.
inline QList<QPair<const char*, QByteArray>> all()
{
    QByteArray minutely, many;
    for (int n = 1; n <= 200; ++n)
        minutely += event(n, ":20200101T000000", "FREQ=MINUTELY");
    for (int n = 1; n <= 25'000; ++n)
        many += event(n, ":2027" + QByteArray::number(101 + n % 12 * 100).rightJustified(4, '0') + "T190000", "")
                    .replace("\r\nSUMMARY", "\r\nLOCATION:Gerätehaus Nord, Hauptstraße 12, Übungsplatz\r\nSUMMARY");
    return {
        { "SECONDLY", calendar(event(1, ":20000101T000000", "FREQ=SECONDLY")) },
        { "COUNT=2000000000", calendar(event(1, ":20000101T000000", "FREQ=SECONDLY;COUNT=2000000000")) },
        { "200 MINUTELY events", calendar(minutely) },
        { "per-minute VTIMEZONE since 1601",
            calendar(minuteZone("Europe/Berlin") + event(1, ";TZID=Europe/Berlin:20261208T190000", "")) },
        { "25000 events", calendar(many) },
    };
}

} // namespace HostileCalendars
