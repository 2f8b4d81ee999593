#include "water/WaterSource.h"

#include <QStringList>

#include <cmath>
#include <numbers>

Q_LOGGING_CATEGORY(lcWater, "kessvenn.water")

namespace {

struct KindText {
    WaterKind kind;
    char letter;
    const char* name;
};

constexpr KindText kKinds[] = {
    { WaterKind::Underground, 'U', "underground" },
    { WaterKind::Pillar, 'O', "pillar" },
    { WaterKind::Wall, 'W', "wall" },
    { WaterKind::Pipe, 'R', "pipe" },
    { WaterKind::Hydrant, 'H', "hydrant" },
    { WaterKind::Tank, 'B', "tank" },
    { WaterKind::Pond, 'T', "pond" },
    { WaterKind::SuctionPoint, 'S', "suction_point" },
};

const KindText& textOf(WaterKind kind)
{
    for (const KindText& k : kKinds) {
        if (k.kind == kind)
            return k;
    }
    return kKinds[4];
}

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180;
}

} // namespace

QString WaterNearby::line() const
{
    if (!indexRead)
        return {};
    if (sources.isEmpty())
        return QStringLiteral("Kein Hydrant im Umkreis von %1 m").arg(int(Radius));
    QStringList entries;
    for (const WaterFound& found : sources.first(std::min<qsizetype>(Listed, sources.size())))
        entries << Water::entry(found);
    return entries.join(QStringLiteral(", "));
}

namespace Water {

QChar letter(WaterKind kind)
{
    return QLatin1Char(textOf(kind).letter);
}

bool isHydrant(WaterKind kind)
{
    return kind != WaterKind::Tank && kind != WaterKind::Pond && kind != WaterKind::SuctionPoint;
}

QString kindName(WaterKind kind)
{
    return QString::fromLatin1(textOf(kind).name);
}

std::optional<WaterKind> kindFromName(QStringView name)
{
    for (const KindText& k : kKinds) {
        if (name == QLatin1String(k.name))
            return k.kind;
    }
    return std::nullopt;
}

std::optional<WaterKind> classify(
    std::string_view emergency, std::string_view hydrantType, std::string_view amenity, std::string_view waterSource)
{
    if (emergency == "water_tank")
        return WaterKind::Tank;
    if (emergency == "suction_point")
        return WaterKind::SuctionPoint;
    if (emergency == "fire_water_pond")
        return WaterKind::Pond;
    if (emergency != "fire_hydrant" && !(emergency.empty() && amenity == "fire_hydrant"))
        return std::nullopt;
    if (hydrantType == "underground")
        return WaterKind::Underground;
    if (hydrantType == "pillar")
        return WaterKind::Pillar;
    if (hydrantType == "wall")
        return WaterKind::Wall;
    if (hydrantType == "pipe")
        return WaterKind::Pipe;
    if (hydrantType == "pond")
        return WaterKind::Pond;
    if (hydrantType == "suction_point")
        return WaterKind::SuctionPoint;
    // A "hydrant" of unknown kind on open water or a tank is where the pump sucks from.
    if (waterSource == "water_tank" || waterSource == "cistern")
        return WaterKind::Tank;
    for (const char* open : { "pond", "lake", "river", "stream", "canal", "reservoir" }) {
        if (waterSource == open)
            return WaterKind::SuctionPoint;
    }
    return WaterKind::Hydrant;
}

int diameterFromText(std::string_view text)
{
    const auto trim = [](std::string_view& s) {
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ')
            s.remove_suffix(1);
    };
    trim(text);
    if (text.size() >= 2 && (text[0] == 'D' || text[0] == 'd') && (text[1] == 'N' || text[1] == 'n')) {
        text.remove_prefix(2);
        trim(text);
    }
    int value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 5 && text[digits] >= '0' && text[digits] <= '9')
        value = value * 10 + (text[digits++] - '0');
    if (digits == 0)
        return 0;
    text.remove_prefix(digits);
    trim(text);
    if (text == "mm")
        text = {};
    // Fire service pipes run from DN 50 to DN 1000; anything else is a typing error or another unit.
    if (!text.empty() || value < 25 || value > 1200)
        return 0;
    return value;
}

QString direction(QPointF from, QPointF to)
{
    static const char* const kPoints[] = { "N", "NO", "O", "SO", "S", "SW", "W", "NW" };
    const double lat1 = radians(from.y()), lat2 = radians(to.y());
    const double dLon = radians(to.x() - from.x());
    const double y = std::sin(dLon) * std::cos(lat2);
    const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
    double bearing = std::atan2(y, x) * 180 / std::numbers::pi;
    if (bearing < 0)
        bearing += 360;
    return QString::fromLatin1(kPoints[int(std::floor((bearing + 22.5) / 45)) % 8]);
}

QString entry(const WaterFound& found)
{
    QString text = letter(found.source.kind);
    if (found.source.diameterMm > 0)
        text += QLatin1Char(' ') + QString::number(found.source.diameterMm);
    const int rounded = qRound(found.meters);
    // Standing on it, a direction means nothing.
    if (rounded == 0 || found.direction.isEmpty())
        return text + QStringLiteral(" \u00B7 %1 m").arg(rounded);
    return text + QStringLiteral(" \u00B7 %1 m %2").arg(rounded).arg(found.direction);
}

} // namespace Water
