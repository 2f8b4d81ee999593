#include "route/Route.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

// Consecutive pieces of one street become one step.
void addStep(QList<Route::Step>& steps, const QString& street, double meters)
{
    if (!steps.isEmpty() && steps.last().street == street)
        steps.last().meters += meters;
    else
        steps.append({ street, meters });
}

bool plausible(const QPointF& p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::abs(p.x()) <= 180 && std::abs(p.y()) <= 90;
}

std::optional<Route> checked(Route route)
{
    if (route.points.size() < 2 || !std::isfinite(route.meters) || !std::isfinite(route.seconds) || route.meters < 0
        || route.seconds < 0)
        return std::nullopt;
    return route;
}

} // namespace

QString RouteText::summary(const Route& route, double factor)
{
    const long minutes = std::max(1L, std::lround(route.seconds * factor / 60));
    return QStringLiteral("Anfahrt %1 min \u00B7 %2 km")
        .arg(minutes)
        .arg(kGerman.toString(route.meters / 1000, 'f', 1));
}

QString RouteText::step(const Route::Step& step)
{
    const QString street = step.street.isEmpty() ? QStringLiteral("Straße ohne Namen") : step.street;
    if (step.meters < 1000)
        return street + QStringLiteral(" %1 m").arg(std::lround(step.meters / 10) * 10);
    return street + QStringLiteral(" %1 km").arg(kGerman.toString(step.meters / 1000, 'f', 1));
}

std::optional<Route> RouteText::fromRoutino(const QByteArray& text)
{
    Route route;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray row = line.trimmed();
        if (row.isEmpty() || row.startsWith('#'))
            continue;
        // Latitude, longitude, node, type, segment km, segment min, total km, total min, speed,
        // bearing, highway; the first row leaves the last three empty.
        const QList<QByteArray> cells = line.split('\t');
        if (cells.size() < 8)
            return std::nullopt;
        bool ok[6] = {};
        const QPointF point(cells[1].trimmed().toDouble(&ok[1]), cells[0].trimmed().toDouble(&ok[0]));
        const double segmentKm = cells[4].trimmed().toDouble(&ok[2]);
        const double segmentMin = cells[5].trimmed().toDouble(&ok[3]);
        if (!(ok[0] && ok[1] && ok[2] && ok[3]) || !plausible(point) || segmentKm < 0 || segmentMin < 0)
            return std::nullopt;
        route.points.append(point);
        route.meters += segmentKm * 1000;
        route.seconds += segmentMin * 60;
        if (route.points.size() > 1)
            addStep(
                route.steps, cells.size() > 10 ? QString::fromUtf8(cells[10].trimmed()) : QString(), segmentKm * 1000);
    }
    return checked(route);
}

std::optional<Route> RouteText::fromOsrm(const QByteArray& json)
{
    const QJsonObject answer = QJsonDocument::fromJson(json).object();
    if (answer.value(QStringLiteral("code")).toString() != QLatin1String("Ok"))
        return std::nullopt;
    const QJsonObject first = answer.value(QStringLiteral("routes")).toArray().at(0).toObject();
    const QJsonValue meters = first.value(QStringLiteral("distance"));
    const QJsonValue seconds = first.value(QStringLiteral("duration"));
    if (!meters.isDouble() || !seconds.isDouble())
        return std::nullopt;
    Route route;
    route.meters = meters.toDouble();
    route.seconds = seconds.toDouble();
    const QJsonArray line
        = first.value(QStringLiteral("geometry")).toObject().value(QStringLiteral("coordinates")).toArray();
    for (const QJsonValue& value : line) {
        const QJsonArray pair = value.toArray();
        const QPointF point(pair.at(0).toDouble(NAN), pair.at(1).toDouble(NAN));
        if (pair.size() < 2 || !plausible(point))
            return std::nullopt;
        route.points.append(point);
    }
    for (const QJsonValue& leg : first.value(QStringLiteral("legs")).toArray()) {
        for (const QJsonValue& step : leg.toObject().value(QStringLiteral("steps")).toArray()) {
            const double stepMeters = step.toObject().value(QStringLiteral("distance")).toDouble();
            if (stepMeters > 0)
                addStep(route.steps, step.toObject().value(QStringLiteral("name")).toString(), stepMeters);
        }
    }
    return checked(route);
}
