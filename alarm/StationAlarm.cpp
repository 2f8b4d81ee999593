#include "alarm/StationAlarm.h"

#include "alarm/UnitList.h"
#include "common/GeoPoint.h"
#include "common/NumberText.h"
#include "config/StationSettings.h"

#include <cmath>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

} // namespace

StationAlarm::StationAlarm(QStringList fields)
    : m_fields(std::move(fields))
{
}

std::optional<StationAlarm> StationAlarm::parse(const QString& message)
{
    QStringList fields = message.split(QChar(9));
    if (fields.size() < 7)
        return std::nullopt;
    return StationAlarm(std::move(fields));
}

QString StationAlarm::field(int i) const
{
    return i >= 0 && i < m_fields.size() ? m_fields.at(i) : QString();
}

QString StationAlarm::firstWord() const
{
    return field(2).section(QLatin1Char(' '), 0, 0);
}

QString StationAlarm::secondWord() const
{
    // Without a second word the label is emptied: it must not keep the previous incident's text.
    return field(2).section(QLatin1Char(' '), 1, 1);
}

std::array<QString, 9> StationAlarm::incidentLabels() const
{
    std::array<QString, 9> labels;
    labels[0] = field(3);
    labels[1] = field(4);
    labels[2] = field(7) + QLatin1Char(' ') + field(8);
    labels[3] = field(5) + QLatin1Char(' ') + field(6);
    if (!field(10).isEmpty())
        labels[3] += QStringLiteral(" / ") + field(10);
    labels[4] = field(12);
    labels[5] = field(11);
    labels[6] = field(13);
    labels[7] = field(9);
    if (!field(18).isEmpty())
        labels[8] = QStringLiteral("Mitteiler: ") + field(18);
    return labels;
}

QStringList StationAlarm::units() const
{
    return UnitList::split(field(14));
}

bool StationAlarm::indicatorOn() const
{
    return NumberText::readLeadingNumber(field(15)) != 0.0;
}

std::optional<QString> StationAlarm::coordinates() const
{
    // Half a pair, or a half that is not a number, would send the map a centre it cannot read.
    const auto read = [this](int i, double limit) -> std::optional<double> {
        QString text = field(i).trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value) || std::fabs(value) > limit)
            return std::nullopt;
        return value;
    };
    const std::optional<double> latitude = read(16, 90.0);
    const std::optional<double> longitude = read(17, 180.0);
    if (!latitude || !longitude)
        return std::nullopt;
    return GeoPoint { static_cast<float>(*latitude), static_cast<float>(*longitude) }.text();
}

QString StationAlarm::address() const
{
    return field(5) + QLatin1Char(' ') + field(6) + QLatin1Char(',') + field(7) + QLatin1Char(' ') + field(8);
}

QString StationAlarm::speechText(const StationSettings& s) const
{
    QString text;
    // Every block is its text and one line end; a block that itself ends in a line end is
    // therefore followed by an empty line, which gives the speech program its pauses.
    const auto block = [&text](const QString& content) { text += content + kLineEnd; };

    if (s.SpeakLeadText)
        block(s.LeadText + kLineEnd);
    if (s.SpeakIncidentType)
        block(field(3) + kLineEnd);
    if (s.SpeakKeyword)
        block(field(4) + kLineEnd);
    if (s.SpeakTown)
        block(field(6) + kLineEnd);
    if (s.SpeakStreet)
        block(field(7) + kLineEnd + kLineEnd + field(8) + kLineEnd);
    if (s.SpeakSupplement)
        block(field(12) + kLineEnd);
    if (s.SpeakDistrict && !field(10).isEmpty())
        block(QStringLiteral("Stadtteil ") + kLineEnd + kLineEnd + field(10) + kLineEnd);
    if (s.SpeakObject && !field(11).isEmpty())
        block(QStringLiteral("Objekt ") + kLineEnd + kLineEnd + field(11) + kLineEnd);
    if (s.SpeakOutsideTown && !field(13).isEmpty())
        block(QStringLiteral("Außerhalb ") + kLineEnd + kLineEnd + field(13) + kLineEnd);
    const QStringList unitList = units();
    if (s.SpeakUnits && !unitList.isEmpty()) {
        QString list;
        for (const QString& unit : unitList)
            list += unit + kLineEnd;
        block(QStringLiteral("Alarmiert sind") + kLineEnd + list + QStringLiteral("Ich wiederhole")
            + QString(9, QLatin1Char(' ')) + QStringLiteral("Alarmiert sind") + kLineEnd + list);
    }
    if (s.SpeakTrailText)
        block(s.TrailText + kLineEnd);
    return text;
}
