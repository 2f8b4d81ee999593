#include "route/RoutePlanner.h"

#include "common/GeoPoint.h"
#include "common/Log.h"
#include "common/ProcessGroup.h"
#include "net/BoundedGet.h"

#include <QDebug>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include <unistd.h>

namespace {

QString number(double value)
{
    return QString::number(value, 'f', 6);
}

// Why the way cannot be one from the station to the incident; empty when it can.
QString implausible(const Route& route, QPointF station, QPointF incident)
{
    if (!std::isfinite(route.meters) || !std::isfinite(route.seconds))
        return QStringLiteral("the router's way has no number for its length or time");
    if (route.meters > RoutePlanner::kLongestMeters)
        return QStringLiteral("the router's way of %1 km is longer than any to an incident")
            .arg(route.meters / 1000, 0, 'g', 4);
    if (route.seconds > RoutePlanner::kLongestSeconds)
        return QStringLiteral("the router's drive time of %1 h is longer than any to an incident")
            .arg(route.seconds / 3600, 0, 'g', 4);
    const double apart = GeoPoint::meters(station, incident);
    if ((route.meters < 1 || route.seconds < 1) && apart > RoutePlanner::kAtStationMeters)
        return QStringLiteral("the router's way has no length, but the incident is %1 m from the station")
            .arg(std::lround(apart));
    return {};
}

} // namespace

RoutePlanner::RoutePlanner(RouteSettings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_limit(new QTimer(this))
{
    m_limit->setSingleShot(true);
    connect(m_limit, &QTimer::timeout, this, [this] {
        cancel();
        fail(QStringLiteral("no answer within %1 ms").arg(timeLimit.count()));
    });
}

RoutePlanner::~RoutePlanner()
{
    cancel();
}

void RoutePlanner::plan(QPointF incident)
{
    cancel();
    if (!m_settings.active())
        return;
    m_incident = incident;
    m_limit->start(timeLimit);
    if (m_settings.engine == RouteSettings::Engine::Routino)
        planRoutino(incident);
    else
        planOsrm(incident);
}

void RoutePlanner::cancel()
{
    m_limit->stop();
    if (m_process) {
        QProcess* process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
        } else {
            // A router that is a script goes with everything it started. The process is let be
            // until it has ended: the planner may go before it.
            process->setParent(nullptr);
            connect(process, &QProcess::stateChanged, process, [process](QProcess::ProcessState state) {
                if (state == QProcess::NotRunning)
                    process->deleteLater();
            });
            EndProcessGroup(static_cast<pid_t>(process->processId()), kGracePeriod);
        }
    }
    BoundedGet::drop(std::exchange(m_get, nullptr));
}

void RoutePlanner::planRoutino(QPointF incident)
{
    if (!QFileInfo(m_settings.data).isDir())
        return fail(QStringLiteral("the routing data folder \"%1\" is missing").arg(m_settings.data));
    const QPointF& station = *m_settings.station;
    auto* process = new QProcess(this);
    m_process = process;
    process->setProgram(routinoRouter);
    process->setArguments({ QStringLiteral("--dir=") + m_settings.data,
        QStringLiteral("--transport=")
            + (m_settings.profile.isEmpty() ? QStringLiteral("motorcar") : m_settings.profile),
        QStringLiteral("--quickest"), QStringLiteral("--lon1=") + number(station.x()),
        QStringLiteral("--lat1=") + number(station.y()), QStringLiteral("--lon2=") + number(incident.x()),
        QStringLiteral("--lat2=") + number(incident.y()), QStringLiteral("--output-text-all"),
        QStringLiteral("--output-stdout"), QStringLiteral("--quiet") });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    auto output = std::make_shared<QByteArray>();
    auto errors = std::make_shared<QByteArray>();
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, output] {
        output->append(process->readAllStandardOutput());
        if (output->size() > answerCap) {
            cancel();
            fail(QStringLiteral("routino answered more than %1 bytes").arg(answerCap));
        }
    });
    connect(process, &QProcess::readyReadStandardError, this, [process, errors] {
        // Only the beginning says why; the rest is dropped, however much a router prints.
        const QByteArray more = process->readAllStandardError();
        if (errors->size() < 1024)
            errors->append(more.left(1024 - errors->size()));
    });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        cancel();
        fail(QStringLiteral("%1 could not be started").arg(routinoRouter));
    });
    connect(process, &QProcess::finished, this, [this, process, output, errors](int code, QProcess::ExitStatus status) {
        output->append(process->readAllStandardOutput());
        m_limit->stop();
        m_process = nullptr;
        process->deleteLater();
        if (status != QProcess::NormalExit || code != 0)
            return fail(QStringLiteral("routino ended with code %1: %2")
                            .arg(code)
                            .arg(QString::fromUtf8(errors->simplified())));
        answered(RouteText::fromRoutino(*output), QStringLiteral("routino's answer could not be read"));
    });
    process->start();
    // The group is set here as well as in the child, so that it stands before anything may end it.
    if (const auto pid = static_cast<pid_t>(process->processId()); pid > 0)
        ::setpgid(pid, pid);
}

void RoutePlanner::planOsrm(QPointF incident)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    const QPointF& station = *m_settings.station;
    const QString profile = m_settings.profile.isEmpty() ? QStringLiteral("driving") : m_settings.profile;
    QUrl url(m_settings.osrm
        + QStringLiteral("/route/v1/%1/%2,%3;%4,%5")
              .arg(profile, number(station.x()), number(station.y()), number(incident.x()), number(incident.y())));
    url.setQuery(QStringLiteral("overview=full&geometries=geojson&steps=true"));
    // Bounded as the map's requests are: the answer's size, redirects on its own host only; the
    // time is the planner's limit.
    m_get = new BoundedGet(m_network, QNetworkRequest(url), { answerCap, 0, 0 }, this);
    connect(m_get, &BoundedGet::finished, this, [this](const BoundedGet::Result& result) {
        m_limit->stop();
        // The host only: the address may carry what the station would rather not see in a log.
        BoundedGet* get = std::exchange(m_get, nullptr);
        get->deleteLater();
        const QString host = get->host();
        if (!result.ok())
            return fail(QStringLiteral("the route server %1 failed: %2").arg(host, result.reason()));
        answered(
            RouteText::fromOsrm(result.body), QStringLiteral("the route server %1 answered without a route").arg(host));
    });
}

void RoutePlanner::answered(const std::optional<Route>& route, const QString& unreadable)
{
    if (!route)
        return fail(unreadable);
    if (const QString why = implausible(*route, *m_settings.station, m_incident); !why.isEmpty())
        return fail(why);
    emit routeFound(*route);
}

void RoutePlanner::fail(const QString& why)
{
    qCWarning(lcRoute).noquote() << "No route:" << why;
    m_lastFailure = why;
    emit routeFailed();
}
