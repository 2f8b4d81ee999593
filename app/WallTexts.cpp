#include "app/WallTexts.h"

#include <QStringList>

#include <algorithm>

namespace WallTexts {

namespace {

qint64 secondsBetween(const QDateTime& from, const QDateTime& to)
{
    return std::max<qint64>(0, from.secsTo(to));
}

QString counted(qint64 n, const char* one, const char* many)
{
    return QStringLiteral("vor %1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

} // namespace

QString since(const QDateTime& alarm, const QDateTime& now)
{
    const qint64 seconds = secondsBetween(alarm, now);
    const qint64 minutes = seconds / 60;
    if (minutes < 10)
        return QStringLiteral("seit %1:%2 min").arg(minutes).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (minutes < 60)
        return QStringLiteral("seit %1 min").arg(minutes);
    return QStringLiteral("seit %1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::chrono::milliseconds untilSinceChanges(const QDateTime& alarm, const QDateTime& now)
{
    const qint64 ms = std::max<qint64>(0, alarm.msecsTo(now));
    const qint64 step = ms < 10 * 60 * 1000 ? 1000 : 60 * 1000;
    return std::chrono::milliseconds(step - ms % step);
}

QString date(QDate day)
{
    static const char* const weekdays[]
        = { "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag", "Sonntag" };
    static const char* const months[] = { "Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August",
        "September", "Oktober", "November", "Dezember" };
    if (!day.isValid())
        return {};
    return QStringLiteral("%1, %2. %3 %4")
        .arg(QString::fromUtf8(weekdays[day.dayOfWeek() - 1]))
        .arg(day.day())
        .arg(QString::fromUtf8(months[day.month() - 1]))
        .arg(day.year());
}

QString age(const QDateTime& then, const QDateTime& now)
{
    const qint64 minutes = secondsBetween(then, now) / 60;
    if (minutes < 1)
        return QStringLiteral("gerade eben");
    if (minutes < 60)
        return counted(minutes, "Minute", "Minuten");
    if (minutes < 24 * 60)
        return counted(minutes / 60, "Stunde", "Stunden");
    return counted(minutes / (24 * 60), "Tag", "Tagen");
}

QString lastAlarm(const QString& keyword, const QDateTime& then, const QDateTime& now)
{
    if (!then.isValid())
        return QStringLiteral("Noch kein Einsatz");
    return QStringLiteral("Letzter Einsatz: %1 · %2").arg(keyword.simplified(), age(then, now));
}

QString yearCount(int year, int count)
{
    return QStringLiteral("%1: %2 %3").arg(year).arg(count).arg(count == 1 ? "Einsatz" : "Einsätze");
}

} // namespace WallTexts
