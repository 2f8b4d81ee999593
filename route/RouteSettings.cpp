#include "route/RouteSettings.h"

#include "common/GeoPoint.h"
#include "common/KeyValueFile.h"
#include "common/Log.h"

#include <QDebug>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace {

std::optional<QPointF> position(const QString& text)
{
    const std::optional<GeoPoint> point = GeoPoint::parse(text);
    return point ? std::optional(point->toPointF()) : std::nullopt;
}

} // namespace

const QStringList RouteSettings::Keys = { QStringLiteral("station"), QStringLiteral("route"),
    QStringLiteral("route.data"), QStringLiteral("route.profile"), QStringLiteral("route.factor") };

RouteSettings RouteSettings::parse(const KeyValueFile& file)
{
    RouteSettings settings;
    bool broken = false;
    const auto unusable = [&](const KeyValueFile::Entry& entry, const QString& expected) {
        broken = true;
        file.unusable(entry, expected + QStringLiteral("; no route"));
    };
    for (const KeyValueFile::Entry& entry : file.entries()) {
        const QString& name = entry.name;
        const QString& value = entry.value;
        if (name == QLatin1String("station")) {
            settings.station = position(value);
            if (!settings.station)
                unusable(entry, QStringLiteral("latitude,longitude"));
        } else if (name == QLatin1String("route")) {
            const QUrl url(value);
            if (value.compare(QLatin1String("routino"), Qt::CaseInsensitive) == 0) {
                settings.engine = Engine::Routino;
            } else if (url.isValid()
                && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
                && !url.host().isEmpty()) {
                settings.engine = Engine::Osrm;
                settings.osrm = value;
                while (settings.osrm.endsWith(QLatin1Char('/')))
                    settings.osrm.chop(1);
            } else if (!value.isEmpty()) {
                unusable(entry, QStringLiteral("routino or an http:// address"));
            }
        } else if (name == QLatin1String("route.data")) {
            settings.data = value;
        } else if (name == QLatin1String("route.profile")) {
            // A profile is one word: it goes into a command line and an address.
            static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_-]*$"));
            if (word.match(value).hasMatch())
                settings.profile = value;
            else
                unusable(entry, QStringLiteral("one word"));
        } else if (name == QLatin1String("route.factor")) {
            bool ok = false;
            const double factor = value.toDouble(&ok);
            if (ok && factor > 0 && factor <= 10)
                settings.factor = factor;
            else
                unusable(entry, QStringLiteral("a number above 0 up to 10"));
        }
    }
    if (broken)
        settings.engine = Engine::None;
    else if (settings.engine != Engine::None && !settings.station)
        qCWarning(lcRoute).noquote() << "map.ini: route without station; no route";
    return settings;
}
