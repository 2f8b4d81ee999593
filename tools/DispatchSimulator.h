#pragma once

#include "tools/ScenarioScript.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <map>

class QTcpServer;
class QTcpSocket;
class QTimer;

// Plays the dispatch computer for monitors on the local network: accepts them, reports what they
// send (above all their registration), plays the scenario to each monitor once it has registered,
// and sends single messages to all of them. The connections stay open until the monitor closes.
class DispatchSimulator : public QObject {
    Q_OBJECT

public:
    explicit DispatchSimulator(QObject* parent = nullptr);
    ~DispatchSimulator() override;

    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port);
    [[nodiscard]] QString errorString() const;
    [[nodiscard]] quint16 port() const;

    void setScenario(QList<ScenarioScript::Step> steps);

    // Sends one message, framed and in Windows-1252, to every connected monitor.
    void sendToAll(const QString& message);

    [[nodiscard]] int monitorCount() const { return static_cast<int>(m_monitors.size()); }

signals:
    // One line for the operator: connections, registrations, what was received and sent.
    void report(const QString& line);
    void registrationReceived(const QStringList& fields);
    void scenarioFinished();

private:
    struct Monitor {
        QString peer;
        QByteArray received;
        qsizetype nextStep = -1; // -1 until the monitor has registered
        QTimer* wait = nullptr;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void onFrame(QTcpSocket* socket, const QByteArray& payload);
    void playNext(QTcpSocket* socket);
    // \D and \T of the scenario become the moment of sending.
    void send(QTcpSocket* socket, const QString& message);

    QTcpServer* m_server;
    QList<ScenarioScript::Step> m_scenario;
    std::map<QTcpSocket*, Monitor> m_monitors;
};
