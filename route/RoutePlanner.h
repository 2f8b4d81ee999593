#pragma once

#include "route/Route.h"
#include "route/RouteSettings.h"

#include <QObject>
#include <QPointer>

#include <chrono>

class BoundedGet;
class QNetworkAccessManager;
class QProcess;
class QTimer;

// Finds the way from the station to an incident, never on the alarm's path: routino-router runs as
// a program of its own (no shell, its arguments as a list), an OSRM server is asked over HTTP; both
// answer through the event loop. A newer request drops the older one. A router that fails, hangs
// past the time limit, answers too much or garbage or a way that cannot be one, no data, a position
// outside the data: one warning in the journal and routeFailed(); the alarm goes on without a route.
// routino-router runs in a process group of its own: a router that is a script ends with all that
// it started.
class RoutePlanner : public QObject {
    Q_OBJECT

public:
    explicit RoutePlanner(RouteSettings settings, QObject* parent = nullptr);
    ~RoutePlanner() override;

    [[nodiscard]] const RouteSettings& settings() const { return m_settings; }

    // Asks for the way to the incident (x longitude, y latitude); nothing when the route is off.
    void plan(QPointF incident);
    // Drops a request under way: the alarm it was for has gone.
    void cancel();

    // No station's engines drive further or longer than this to an incident: a longer way is a
    // router's fault. An incident this close to the station may have a way of no length.
    static constexpr double kLongestMeters = 500'000;
    static constexpr double kLongestSeconds = 6 * 3600;
    static constexpr double kAtStationMeters = 100;
    // How long an ended router may take to go after SIGTERM before SIGKILL follows.
    static constexpr std::chrono::milliseconds kGracePeriod = std::chrono::seconds(2);

    // Limits; shorter in tests.
    std::chrono::milliseconds timeLimit = std::chrono::seconds(10);
    qint64 answerCap = 16 * 1024 * 1024;
    // routino's router; tests put another program here.
    QString routinoRouter = QStringLiteral("routino-router");

    // Why the last request failed, as the journal has it; empty before a failure.
    [[nodiscard]] const QString& lastFailure() const { return m_lastFailure; }

signals:
    void routeFound(const Route& route);
    void routeFailed();

private:
    void planRoutino(QPointF incident);
    void planOsrm(QPointF incident);
    // The router's answer, read: routeFound() when it is a way from the station to the incident.
    void answered(const std::optional<Route>& route, const QString& unreadable);
    void fail(const QString& why);

    RouteSettings m_settings;
    QPointF m_incident;
    QPointer<QProcess> m_process;
    BoundedGet* m_get = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_limit = nullptr;
    QString m_lastFailure;
};
