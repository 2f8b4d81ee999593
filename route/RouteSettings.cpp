#include "route/RouteSettings.h"

#include "common/Log.h"
#include "config/ConfigValues.h"

#include <QDebug>

#include <algorithm>

namespace {

const QStringList kKeys = { QStringLiteral("station"), QStringLiteral("route"), QStringLiteral("route.data"),
    QStringLiteral("route.profile"), QStringLiteral("route.factor") };

} // namespace

RouteSettings RouteSettings::from(const ConfigValues& v)
{
    RouteSettings settings;
    const bool broken = std::any_of(v.problems().begin(), v.problems().end(),
        [](const ConfigProblem& problem) { return kKeys.contains(problem.key); });
    if (v.given(u"station"))
        settings.station = v.at(u"station").value.toPointF();
    const QString route = v.text(u"route");
    if (route == QLatin1String("routino")) {
        settings.engine = Engine::Routino;
    } else if (!route.isEmpty()) {
        settings.engine = Engine::Osrm;
        settings.osrm = route;
        while (settings.osrm.endsWith(QLatin1Char('/')))
            settings.osrm.chop(1);
    }
    settings.data = v.text(u"route.data");
    settings.profile = v.text(u"route.profile");
    settings.factor = v.decimal(u"route.factor");
    if (broken)
        settings.engine = Engine::None;
    else if (settings.engine != Engine::None && !settings.station)
        qCWarning(lcRoute).noquote() << "map.ini: route without station; no route";
    return settings;
}
