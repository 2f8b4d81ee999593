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
// past the time limit, answers too much or garbage, no data, a position outside the data: one
// warning in the journal and routeFailed(); the alarm goes on without a route.
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

    // Limits; shorter in tests.
    std::chrono::milliseconds timeLimit = std::chrono::seconds(10);
    qint64 answerCap = 16 * 1024 * 1024;
    // routino's router; tests put another program here.
    QString routinoRouter = QStringLiteral("routino-router");

signals:
    void routeFound(const Route& route);
    void routeFailed();

private:
    void planRoutino(QPointF incident);
    void planOsrm(QPointF incident);
    void fail(const QString& why);

    RouteSettings m_settings;
    QPointer<QProcess> m_process;
    BoundedGet* m_get = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QTimer* m_limit = nullptr;
};
