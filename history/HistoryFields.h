#pragma once

#include <QString>
#include <QStringList>

// What the history takes from a station alarm's fields: the texts of its columns and which fields
// are personal.
namespace HistoryFields {

constexpr int kRemark = 9;
constexpr int kInformant = 18;
constexpr int kUnits = 14;

[[nodiscard]] inline QString joined(const QString& a, const QString& b, const QString& between)
{
    return a.isEmpty() || b.isEmpty() ? a + b : a + between + b;
}

// A test alarm ("Probealarm", StationAlarm::isTest) in SQL, on the stored fields of a row: kept and
// shown as such, never counted as an alarm.
inline constexpr const char* kTestSql = "(kind = 'station' AND substr(fields, 1, 11) = 'PROBEALARM' || char(9))";

[[nodiscard]] inline QString keyword(const QStringList& f)
{
    return f.value(4);
}
[[nodiscard]] inline QString incidentPicture(const QStringList& f)
{
    return f.value(3);
}
[[nodiscard]] inline QString object(const QStringList& f)
{
    return f.value(11);
}
[[nodiscard]] inline QString street(const QStringList& f)
{
    return joined(f.value(7).trimmed(), f.value(8).trimmed(), QStringLiteral(" "));
}
[[nodiscard]] inline QString place(const QStringList& f)
{
    return joined(joined(f.value(5).trimmed(), f.value(6).trimmed(), QStringLiteral(" ")), f.value(10).trimmed(),
        QStringLiteral(" / "));
}
[[nodiscard]] inline QString address(const QStringList& f)
{
    return joined(street(f), place(f), QStringLiteral(", "));
}

} // namespace HistoryFields
