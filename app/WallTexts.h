#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <chrono>

// The wall screen's texts that depend on the time, in German: pure, with the time passed in.
namespace WallTexts {

// "seit 4:07 min" in the first ten minutes after the alarm, then "seit 12 min", from an hour on
// "seit 1 h 05 min". A clock set back before the alarm reads as its very start.
[[nodiscard]] QString since(const QDateTime& alarm, const QDateTime& now);
// How long until since() reads differently: to the next second in the first ten minutes, then to
// the next minute.
[[nodiscard]] std::chrono::milliseconds untilSinceChanges(const QDateTime& alarm, const QDateTime& now);

// "Dienstag, 8. Dezember 2026", whatever language the system speaks.
[[nodiscard]] QString date(QDate day);
// "gerade eben", "vor 5 Minuten", "vor 1 Stunde", "vor 2 Tagen".
[[nodiscard]] QString age(const QDateTime& then, const QDateTime& now);
// "Letzter Einsatz: B3 Wohnungsbrand · vor 2 Tagen"; "Noch kein Einsatz" without one.
[[nodiscard]] QString lastAlarm(const QString& keyword, const QDateTime& then, const QDateTime& now);
// "2026: 143 Einsätze", "2026: 1 Einsatz".
[[nodiscard]] QString yearCount(int year, int count);

} // namespace WallTexts
